// Recovering subexpression positions once the match span is known: the
// first way through the program, in its order of preference, that begins
// at the span's start and ends exactly at its end, and the positions the C
// library records along such a way.
#pragma once

#include <regex.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "regex/regex_program.h"
#include "regex/regex_walk.h"

// The search marks every (step, position) it has tried (and, for programs
// with inner anchors, whether an anchor was passed), so it stays linear in
// the span; spans whose marks would take more than this many bits (4 MiB)
// are left to the C library. Together with the path's bound below, this
// bounds the memory of the search whatever the program and the line.
constexpr uint64_t kRegexMaxVisitedBits = uint64_t{32} << 20;
// The way being tried is kept as a path of frames; one longer than this
// (4 MiB of frames) leaves the line to the C library too.
constexpr size_t kRegexMaxPathFrames = size_t{1} << 18;

struct RegexPathFrame {
  int step = 0;
  uint32_t at = 0;    // position in the span
  uint8_t stage = 0;  // how many of the step's ways have been tried
  bool anchored = false;  // an anchor was passed since the last byte
  uint32_t run = 0;       // a byte loop: how many ways out are left to try
};

// Buffers reused from line to line and from expression to expression; one
// per thread, shared by every expression that thread matches.
struct RegexPartsScratch {
  std::vector<uint64_t> visited;
  std::vector<RegexPathFrame> path;
  RegexWalkScratch walk;
};

// Fills positions[0, kRegexPositions) for the match text[start, end) of a
// text of `length` bytes. Returns false when the span is too long for the
// bound above.
bool RecoverRegexParts(const RegexProgram& program, RegexPartsScratch& scratch, const char* text,
                       size_t length, size_t start, size_t end, regmatch_t* positions);
