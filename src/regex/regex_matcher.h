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
#include <string_view>

#include "regex/regex_parts.h"
#include "regex/regex_program.h"
#include "regex/regex_span.h"

// Everything one compiled expression needs. Matching changes the
// automaton's cache and the scratch buffers, so each thread needs its own.
// The span finder points at the program beside it, so a matcher is never
// copied or moved: it lives where CompileRegexMatcher made it.
struct RegexMatcher {
  RegexProgram program;
  RegexSpanFinder finder;
  RegexPartsScratch scratch;

  RegexMatcher() = default;
  RegexMatcher(const RegexMatcher&) = delete;
  RegexMatcher& operator=(const RegexMatcher&) = delete;
};

// Compiles `pattern` (extended syntax); nullptr when it is refused.
std::unique_ptr<RegexMatcher> CompileRegexMatcher(std::string_view pattern);

// Matches text[0, length), where `length` is the place of the text's first
// zero byte. On kMatch, positions[0, kRegexPositions) hold the match and
// subexpressions 1 to 11 as regexec reports them.
RegexOutcome RunRegexMatcher(RegexMatcher& matcher, const char* text, size_t length,
                             regmatch_t* positions);
