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

// States kept at most, and the memory they may take; a line that needs
// more is left undecided.
constexpr size_t kRegexMaxStates = 2048;
constexpr size_t kRegexMaxCacheBytes = size_t{4} << 20;
// A full cache is emptied for the next line only once it has served this
// many bytes of lines for every step visited in building its states: lines
// that need ever new states (more than the cache holds) would otherwise
// pay for building them again and again, line after line. Until then, a
// line that needs a state the full cache lacks is left undecided.
constexpr uint64_t kRegexBytesPerBuildStep = 4;

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
  std::vector<uint32_t> scratchSeen;  // per step: the closure that last reached it
  uint32_t closureMark = 0;
  std::vector<int> scratchStack;
  // Bounds of the cache: its memory, and the work of building its states
  // against the bytes scanned with it since it was last emptied.
  size_t cacheBytes = 0;
  uint64_t buildWork = 0;
  uint64_t scannedBytes = 0;
  // The work an unanchored search may spend trying starts, beyond a few
  // bytes per byte of the line, before the reversed automaton takes over;
  // 0 hands every unanchored search over at once (for checking that scan).
  size_t searchBudget = 4096;
};

enum class RegexOutcome { kNoMatch, kMatch, kUndecided };

void InitRegexSpanFinder(const RegexProgram& program, RegexSpanFinder& finder);

// Finds the match span in text[0, length). An unanchored expression is
// tried from each start while that stays cheap; past a budget linear in the
// line, `reverse` (the automaton of the reversed expression, unanchored at
// its start: see BuildReversedRegexProgram) finds the leftmost start in one
// backward scan, and one forward scan from there the longest end, so the
// search takes time linear in the line. kUndecided when a state cache
// overflowed, or, without `reverse`, the search grew too long; the caller
// then asks the C library.
RegexOutcome FindRegexSpan(RegexSpanFinder& finder, RegexSpanFinder* reverse, const char* text,
                           size_t length, size_t& matchStart, size_t& matchEnd);
