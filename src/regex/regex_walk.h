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

#include <cstddef>
#include <cstdint>
#include <vector>

#include "regex/regex_program.h"

// A program whose tables would take more cells than this, or more work to
// build, is left to the search.
constexpr size_t kRegexMaxWalkCells = size_t{1} << 16;

// A way on from a row that takes a byte (or, at the end, reaches the match
// step).
struct RegexWalkWay {
  int32_t nextRow = -1;  // -1: no way takes the byte (or, at the end, none ends here)
  // The next way in order of preference that takes the same byte: an
  // index into RegexWalkTables::alternatives, or -1.
  int32_t alternative = -1;
  uint32_t firstAction = 0;
  uint32_t actionCount = 0;  // kOpen and kClose steps passed, in RegexWalkTables::actions
};

// The first way for a row and a byte class, in eight bytes: most ways
// record nothing and have no alternative, and the walk reads only these.
struct RegexWalkCell {
  int32_t nextRow = -1;
  // 1 + the index of the whole way in RegexWalkTables::details, or 0; with
  // kRegexWalkLook added when the next row has a loop or an end to look at.
  uint32_t detail = 0;
};
constexpr uint32_t kRegexWalkLook = uint32_t{1} << 31;

struct RegexWalkRow {
  // -1, or where in `stays` the bytes begin that lead straight back to the
  // row by one way only, with nothing recorded (a loop over one byte set).
  int32_t stayIndex = -1;
  uint8_t runsToEnd = 0;  // the loop takes every byte but the zero byte
  uint8_t ends[2] = {0, 0};  // a way reaches the match step here: [at the text's end]
};

struct RegexWalkTables {
  size_t classCount = 0;
  int32_t startRow[2] = {-1, -1};          // the program's start: [the match begins the text]
  std::vector<RegexWalkRow> rows;
  std::vector<RegexWalkCell> cells;         // rows x byte classes
  std::vector<RegexWalkWay> details;        // first ways that record steps or have alternatives
  std::vector<RegexWalkWay> endCells;       // rows x 2: [the match ends the text]
  std::vector<RegexWalkWay> alternatives;   // ways after the first
  std::vector<int> actions;                 // step numbers
  std::vector<uint8_t> stays;               // 256 per loop: 1 for a byte the loop takes
};

// The walk's buffers hold at most this many entries each (3 MiB): a line
// that needs more is left to the search, whose memory is bounded too.
constexpr size_t kRegexMaxWalkEntries = size_t{1} << 18;

// Where the walk may go back to: a byte at `at` that a later way may take.
struct RegexWalkChoice {
  uint32_t at = 0;
  int32_t alternative = 0;
  uint32_t recorded = 0;  // the number of recorded steps then
};

// Buffers reused from line to line; one per thread.
struct RegexWalkScratch {
  std::vector<RegexWalkChoice> choices;
  // The ways taken that pass kOpen and kClose steps: their steps in
  // RegexWalkTables::actions, and where.
  struct Recorded {
    uint32_t firstAction;
    uint32_t actionCount;
    uint32_t at;
  };
  std::vector<Recorded> recorded;
  std::vector<Recorded> shortest;  // those of the longest match found short of the end
};

// Builds the walk's tables; false when the program has anchors inside it or
// its tables would pass the bound.
bool BuildRegexWalk(const RegexProgram& program, RegexWalkTables& tables);

enum class RegexWalkOutcome { kMatch, kNoMatch, kUnsettled };

// For a program that can match only at the start of the text: walks from
// there toward the text's end, finding the match and its parts without the
// automaton. The first way (in order of preference) that reaches the end
// of the text is the longest match; when none does, every way has been
// followed until it died, and the longest match ends where some way last
// could end, on the first way that could, or there is none. kUnsettled
// when that takes too much going back: the automaton then finds the span.
// On kMatch, the match is text[0, end).
RegexWalkOutcome WalkAnchoredMatch(const RegexWalkTables& tables, const RegexProgram& program,
                                   RegexWalkScratch& scratch, const char* text, size_t length,
                                   size_t& end, regmatch_t* positions);

// Fills positions[0, kRegexPositions) for the match text[start, end) of a
// text of `length` bytes, which the program matches there. False when the
// walk went back too often (a span it cannot settle in time linear in its
// length) or found no way; the search then decides.
bool WalkRegexParts(const RegexWalkTables& tables, const RegexProgram& program,
                    RegexWalkScratch& scratch, const char* text, size_t length, size_t start,
                    size_t end, regmatch_t* positions);
