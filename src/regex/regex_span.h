// Finding where a program matches: the leftmost start at which it matches
// at all, and from there the longest end. Works with a deterministic
// automaton built lazily from the program, one state per set of byte steps
// that can be waiting for the next byte; the states live in a cache of
// fixed size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "regex/regex_program.h"

// States kept at most; a line that needs more is left undecided.
constexpr size_t kRegexMaxStates = 2048;

struct RegexState {
  std::vector<int> waiting;   // byte steps, sorted
  std::vector<int> endTests;  // "$" steps reached: their way on holds at the end of the text
  bool atTextStart = false;   // built at the start of the text ("^" holds)
  bool acceptsHere = false;   // the match can end here, before the end of the text
  bool acceptsAtEnd = false;  // the match can end here when this is the end of the text
};

// The automaton of one program; mutable, so one per thread.
struct RegexSpanFinder {
  const RegexProgram* program = nullptr;
  std::vector<RegexState> states;
  std::vector<int32_t> transitions;  // states x byte classes; kUnknown until computed
  std::vector<uint8_t> stateFlags;   // per state: kStateAcceptsHere, kStateDead
  std::unordered_map<std::string, int32_t> stateIndex;
  int32_t startAtTextStart = -1;
  int32_t startElsewhere = -1;
  bool anchoredAtStart = false;  // nothing can match after the first position
  std::vector<uint8_t> scratchSeen;
  std::vector<int> scratchStack;
};

enum class RegexOutcome { kNoMatch, kMatch, kUndecided };

void InitRegexSpanFinder(const RegexProgram& program, RegexSpanFinder& finder);

// Finds the match span in text[0, length). kUndecided when the state cache
// overflowed or an unanchored search grew too long to stay linear; the
// caller then asks the C library.
RegexOutcome FindRegexSpan(RegexSpanFinder& finder, const char* text, size_t length,
                           size_t& matchStart, size_t& matchEnd);
