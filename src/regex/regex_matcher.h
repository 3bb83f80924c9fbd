// A matcher for POSIX extended regular expressions that gives, for every
// expression it takes, exactly what the C library's regexec gives with 12
// positions and no flags: the leftmost, then longest match, and the
// subexpression positions of the first way to match that span in the
// expression's order of preference. Lines are bytes in the "C" locale and
// end at their first zero byte. Expressions it cannot vouch for are refused
// when compiled; a line it cannot settle within its bounds of time and
// memory is reported undecided. In both cases the caller asks regexec.
#pragma once

#include <regex.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "regex/regex_parts.h"
#include "regex/regex_program.h"
#include "regex/regex_span.h"
#include "regex/regex_walk.h"

// Everything one compiled expression needs. Matching changes the
// automaton's cache and the scratch buffers, so each thread needs its own.
// The span finder points at the program beside it, so a matcher is never
// copied or moved: it lives where CompileRegexMatcher made it.
struct RegexMatcher {
  RegexProgram program;
  RegexSpanFinder finder;
  // For expressions that may match after the line's first position: the
  // reversed expression, which finds where the leftmost match begins in
  // one backward scan. Null when it is not needed or could not be built.
  std::unique_ptr<RegexProgram> reversed;
  std::unique_ptr<RegexSpanFinder> reverseFinder;
  RegexPartsScratch scratch;  // for callers that share none
  // The tables that recover the parts in a walk along the match instead of
  // a search; not built for a program with anchors inside it.
  RegexWalkTables walk;
  bool walks = false;
  // An expression that can match only at the start of the line, with few
  // places where a byte has two ways, is matched by the walk alone; the
  // automaton rejects a line faster where many alternatives begin alike.
  bool walksFirst = false;
  // Bytes every match holds, in a row, and not at the start of the line:
  // a line without them cannot match, which a scan for them tells faster
  // than matching when an expression has several such words further on
  // (" has joined ", " is now known as "). Empty when none is long enough.
  std::string requiredWord;
  size_t requiredWordAnchor = 0;  // the byte of it looked for first
  // How many of the positions (the whole match first) the caller reads:
  // 1 when it wants only the span, kRegexPositions when it wants every part.
  int positions = kRegexPositions;

  RegexMatcher() = default;
  RegexMatcher(const RegexMatcher&) = delete;
  RegexMatcher& operator=(const RegexMatcher&) = delete;
};

// Compiles `pattern` (extended syntax) for a caller that reads the first
// `positions` positions (1 to kRegexPositions); nullptr when it is refused.
// An expression with a "$" that does not end it is taken only for the span
// (`positions` 1): the parts the C library reports for it follow rules this
// matcher does not reproduce.
std::unique_ptr<RegexMatcher> CompileRegexMatcher(std::string_view pattern,
                                                  int positions = kRegexPositions);

// Matches text[0, length), where `length` is the place of the text's first
// zero byte. On kMatch, positions[0, kRegexPositions) hold the match and
// subexpressions 1 to 11 as regexec reports them; for a matcher compiled
// for the span alone, positions 1 on hold -1.
RegexOutcome RunRegexMatcher(RegexMatcher& matcher, const char* text, size_t length,
                             regmatch_t* positions);
// The same with buffers for the parts that the caller shares among the
// expressions one thread matches, so that their memory is bounded per
// thread rather than per expression.
RegexOutcome RunRegexMatcher(RegexMatcher& matcher, RegexPartsScratch& scratch, const char* text,
                             size_t length, regmatch_t* positions);
