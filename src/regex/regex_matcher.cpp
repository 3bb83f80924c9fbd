#include "regex/regex_matcher.h"

#include <cstring>

#include "regex/regex_tree.h"

namespace {

// Ways after the first, in all the walk's tables, that an expression may
// have and still be matched by the walk alone.
constexpr size_t kWalkFirstAlternatives = 16;

// Words shorter than this are not looked for first: the matcher itself
// rejects most lines without them as fast.
constexpr size_t kShortestRequiredWord = 4;

// The longest run of single bytes among the pieces the whole expression is
// a sequence of, leaving out a run that begins it (after a "^"): a line
// that lacks it there would fail within those first bytes anyway.
std::string RequiredWord(const RegexTree& tree) {
  const RegexNode& root = tree.nodes[static_cast<size_t>(tree.root)];
  if (root.kind != RegexNodeKind::kConcat) return "";
  std::string longest, run;
  bool leading = true;  // the run begins the expression
  for (int child : root.children) {
    const RegexNode& node = tree.nodes[static_cast<size_t>(child)];
    if (node.kind == RegexNodeKind::kLineStart && leading && run.empty()) continue;
    if (node.kind == RegexNodeKind::kBytes && node.bytes.count() == 1) {
      for (int byte = 1; byte < 256; ++byte) {
        if (node.bytes.test(static_cast<size_t>(byte))) run += static_cast<char>(byte);
      }
      continue;
    }
    if (!leading && run.size() > longest.size()) longest = run;
    run.clear();
    leading = false;
  }
  if (!leading && run.size() > longest.size()) longest = run;
  return longest.size() >= kShortestRequiredWord ? longest : "";
}

// The byte of `word` to look for first: one that is neither a letter nor
// a blank (rarer in a line), else its first.
size_t WordAnchor(const std::string& word) {
  for (size_t i = 0; i < word.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(word[i]);
    if (c != ' ' && !(static_cast<unsigned char>((c | 0x20) - 'a') < 26)) return i;
  }
  return 0;
}

// Whether text[0, length) holds `word`, found by its byte at `anchor`.
bool HoldsWord(const char* text, size_t length, const std::string& word, size_t anchor) {
  if (word.size() > length) return false;
  const char* first = text + anchor;  // the anchor's first possible place
  const char* last = text + length - (word.size() - anchor);  // and its last
  const char wanted = word[anchor];
  for (const char* at = first; at <= last;) {
    const void* hit = memchr(at, wanted, static_cast<size_t>(last - at) + 1);
    if (hit == nullptr) return false;
    const char* found = static_cast<const char*>(hit);
    if (memcmp(found - anchor, word.data(), word.size()) == 0) return true;
    at = found + 1;
  }
  return false;
}

}  // namespace

std::unique_ptr<RegexMatcher> CompileRegexMatcher(std::string_view pattern, int positions) {
  RegexTree tree;
  if (!ParseRegex(pattern, tree)) return nullptr;
  auto matcher = std::make_unique<RegexMatcher>();
  if (!BuildRegexProgram(tree, matcher->program)) return nullptr;
  matcher->positions = positions <= 1 ? 1 : kRegexPositions;
  matcher->requiredWord = RequiredWord(tree);
  matcher->requiredWordAnchor = WordAnchor(matcher->requiredWord);
  if (matcher->program.innerEndAnchor && matcher->positions > 1) return nullptr;
  InitRegexSpanFinder(matcher->program, matcher->finder);
  if (matcher->positions > 1) {
    matcher->walks = BuildRegexWalk(matcher->program, matcher->walk);
    matcher->walksFirst = matcher->walks && matcher->finder.anchoredAtStart &&
                          matcher->walk.alternatives.size() <= kWalkFirstAlternatives;
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
  if (!matcher.requiredWord.empty() &&
      !HoldsWord(text, length, matcher.requiredWord, matcher.requiredWordAnchor)) {
    return RegexOutcome::kNoMatch;
  }
  size_t start = 0, end = 0;
  if (matcher.walksFirst) {
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
