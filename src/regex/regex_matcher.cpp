#include "regex/regex_matcher.h"

#include <cstring>

#include "regex/regex_tree.h"

std::unique_ptr<RegexMatcher> CompileRegexMatcher(std::string_view pattern) {
  RegexTree tree;
  if (!ParseRegex(pattern, tree)) return nullptr;
  auto matcher = std::make_unique<RegexMatcher>();
  if (!BuildRegexProgram(tree, matcher->program)) return nullptr;
  InitRegexSpanFinder(matcher->program, matcher->finder);
  return matcher;
}

RegexOutcome RunRegexMatcher(RegexMatcher& matcher, const char* text, size_t length,
                             regmatch_t* positions) {
  // An anchor inside the expression also holds next to a newline in the
  // C library, by rules this matcher does not follow.
  if (matcher.program.innerAnchors && memchr(text, '\n', length) != nullptr) {
    return RegexOutcome::kUndecided;
  }
  size_t start = 0, end = 0;
  RegexOutcome outcome = FindRegexSpan(matcher.finder, text, length, start, end);
  if (outcome != RegexOutcome::kMatch) return outcome;
  if (!RecoverRegexParts(matcher.program, matcher.scratch, text, length, start, end, positions)) {
    return RegexOutcome::kUndecided;
  }
  return RegexOutcome::kMatch;
}
