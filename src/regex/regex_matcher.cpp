#include "regex/regex_matcher.h"

#include <cstring>

#include "regex/regex_tree.h"

std::unique_ptr<RegexMatcher> CompileRegexMatcher(std::string_view pattern, int positions) {
  RegexTree tree;
  if (!ParseRegex(pattern, tree)) return nullptr;
  auto matcher = std::make_unique<RegexMatcher>();
  if (!BuildRegexProgram(tree, matcher->program)) return nullptr;
  matcher->positions = positions <= 1 ? 1 : kRegexPositions;
  if (matcher->program.innerEndAnchor && matcher->positions > 1) return nullptr;
  InitRegexSpanFinder(matcher->program, matcher->finder);
  if (matcher->positions > 1) {
    matcher->walks = BuildRegexWalk(matcher->program, matcher->walk);
  }
  if (!matcher->finder.anchoredAtStart) {
    auto reversed = std::make_unique<RegexProgram>();
    if (BuildReversedRegexProgram(tree, *reversed)) {
      matcher->reverseFinder = std::make_unique<RegexSpanFinder>();
      InitRegexSpanFinder(*reversed, *matcher->reverseFinder);
      matcher->reversed = std::move(reversed);
    }
  }
  return matcher;
}

RegexOutcome RunRegexMatcher(RegexMatcher& matcher, const char* text, size_t length,
                             regmatch_t* positions) {
  return RunRegexMatcher(matcher, matcher.scratch, text, length, positions);
}

RegexOutcome RunRegexMatcher(RegexMatcher& matcher, RegexPartsScratch& scratch, const char* text,
                             size_t length, regmatch_t* positions) {
  // An anchor inside the expression also holds next to a newline in the
  // C library, by rules this matcher does not follow.
  if (matcher.program.innerAnchors && memchr(text, '\n', length) != nullptr) {
    return RegexOutcome::kUndecided;
  }
  size_t start = 0, end = 0;
  if (matcher.walks && matcher.finder.anchoredAtStart) {
    RegexWalkOutcome walked = WalkAnchoredMatch(matcher.walk, matcher.program, scratch.walk, text,
                                                length, end, positions);
    if (walked == RegexWalkOutcome::kMatch) return RegexOutcome::kMatch;
    if (walked == RegexWalkOutcome::kNoMatch) return RegexOutcome::kNoMatch;
  }
  RegexOutcome outcome =
      FindRegexSpan(matcher.finder, matcher.reverseFinder.get(), text, length, start, end);
  if (outcome != RegexOutcome::kMatch) return outcome;
  if (matcher.positions == 1) {
    for (int i = 0; i < kRegexPositions; ++i) positions[i].rm_so = positions[i].rm_eo = -1;
    positions[0].rm_so = static_cast<regoff_t>(start);
    positions[0].rm_eo = static_cast<regoff_t>(end);
    return RegexOutcome::kMatch;
  }
  if (matcher.walks && WalkRegexParts(matcher.walk, matcher.program, scratch.walk, text, length,
                                      start, end, positions)) {
    return RegexOutcome::kMatch;
  }
  if (!RecoverRegexParts(matcher.program, scratch, text, length, start, end, positions)) {
    return RegexOutcome::kUndecided;
  }
  return RegexOutcome::kMatch;
}
