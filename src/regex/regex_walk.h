// Recovering subexpression positions by walking along the match once the
// span is known, reading each byte once wherever the next byte decides the
// way, and going back only to the few places where it does not (an
// optional mode mark that a nick may also begin with). It gives what the
// search of regex_parts.h gives, the first way in the program's order of
// preference, without marking every step at every position.
//
// The walk's tables hold, for every place a way can stand before reading a
// byte (a "row") and every byte class, the byte steps that take the byte in
// order of preference, each with the groups opened and closed on the way to
// it and the row after it; and, for the end of the match, the groups passed
// on the first way to the match step. A loop over one byte set ("[0-9]+",
// "[^>]*") is crossed in one scan, and a loop that takes every byte up to
// the end of the match (a final ".*") is jumped over.
#pragma once

#include <regex.h>

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "regex/regex_program.h"

// A program whose tables would take more cells than this, or more work to
// build, is left to the search.
constexpr size_t kRegexMaxWalkCells = size_t{1} << 16;

struct RegexWalkCell {
  int32_t nextRow = -1;  // -1: no way takes the byte (or, at the end, none ends here)
  // The next way in order of preference that takes the same byte: an
  // index into RegexWalkTables::alternatives, or -1.
  int32_t alternative = -1;
  uint32_t firstAction = 0;
  uint32_t actionCount = 0;  // kOpen and kClose steps passed, in RegexWalkTables::actions
};

struct RegexWalkTables {
  size_t classCount = 0;
  int32_t startRow[2] = {-1, -1};          // the program's start: [the match begins the text]
  std::vector<RegexWalkCell> cells;         // rows x byte classes
  std::vector<RegexWalkCell> endCells;      // rows x 2: [the match ends the text]
  std::vector<RegexWalkCell> alternatives;  // ways after the first
  std::vector<int> actions;                 // step numbers
  // Per row: -1, or the index in `stays` of the bytes that lead straight
  // back to the row by one way only, with nothing recorded.
  std::vector<int32_t> stayIndex;
  std::vector<std::bitset<256>> stays;
  // Per row: its loop takes every byte but the zero byte, so it runs to
  // the end of the match.
  std::vector<uint8_t> runsToEnd;
};

// Where the walk may go back to: a byte at `at` that a later way may take.
struct RegexWalkChoice {
  uint32_t at = 0;
  int32_t alternative = 0;
  uint32_t recorded = 0;  // the number of recorded steps then
};

// Buffers reused from line to line; one per thread.
struct RegexWalkScratch {
  std::vector<RegexWalkChoice> choices;
  std::vector<std::pair<int, uint32_t>> recorded;  // kOpen and kClose steps passed, and where
};

// Builds the walk's tables; false when the program has anchors inside it or
// its tables would pass the bound.
bool BuildRegexWalk(const RegexProgram& program, RegexWalkTables& tables);

// Fills positions[0, kRegexPositions) for the match text[start, end) of a
// text of `length` bytes, which the program matches there. False when the
// walk went back too often (a span it cannot settle in time linear in its
// length) or found no way; the search then decides.
bool WalkRegexParts(const RegexWalkTables& tables, const RegexProgram& program,
                    RegexWalkScratch& scratch, const char* text, size_t length, size_t start,
                    size_t end, regmatch_t* positions);
