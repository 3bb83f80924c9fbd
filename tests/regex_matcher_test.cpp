#include "regex/regex_matcher.h"

#include <gtest/gtest.h>
#include <regex.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Expected positions as "so,eo so,eo ..." for the whole match and the
// groups that follow; groups not listed are -1,-1. "none" for no match.
struct MatchCase {
  const char* expression;
  const char* line;
  const char* expected;
};

std::string Describe(const regmatch_t* positions) {
  int last = kRegexPositions - 1;
  while (last > 0 && positions[last].rm_so == -1 && positions[last].rm_eo == -1) --last;
  std::string text;
  for (int i = 0; i <= last; ++i) {
    if (i > 0) text += ' ';
    text += std::to_string(positions[i].rm_so) + "," + std::to_string(positions[i].rm_eo);
  }
  return text;
}

std::string Ours(RegexMatcher& matcher, const char* line) {
  regmatch_t positions[kRegexPositions];
  RegexOutcome outcome = RunRegexMatcher(matcher, line, strlen(line), positions);
  if (outcome == RegexOutcome::kUndecided) return "undecided";
  return outcome == RegexOutcome::kMatch ? Describe(positions) : "none";
}

std::string Theirs(const char* expression, const char* line) {
  regex_t re;
  if (regcomp(&re, expression, REG_EXTENDED) != 0) return "does not compile";
  regmatch_t positions[kRegexPositions];
  bool matched = regexec(&re, line, kRegexPositions, positions, 0) == 0;
  regfree(&re);
  return matched ? Describe(positions) : "none";
}

}  // namespace

TEST(RegexMatcher, GivesTheCLibrarysPositions) {
  for (const MatchCase& c : std::vector<MatchCase>{
           // Leftmost, then longest; the parts of the first way in order of preference.
           {"<[ @+]?([^ @<>]+)>", "12:00 <+alice> hi", "6,14 8,13"},
           {"(a|ab)(c|bcd)(d*)", "abcd", "0,4 0,1 1,4 4,4"},
           {"(.*)(b+)", "abbb", "0,4 0,3 3,4"},
           {"x(a?)(a*)", "xaaa", "0,4 1,2 2,4"},
           {"(a+|b+)*", "abab", "0,4 3,4"},
           {"((a)|b)*", "ab", "0,2 1,2 0,1"},  // an inner group keeps an earlier repetition
           {"(((a)))", "a", "0,1 0,1 0,1 0,1"},
           {"x{0,3}", "xxxxx", "0,3"},
           // The number of optional copies is chosen before their own choices.
           {"(a|ab){0,2}(.*)", "abab", "0,4 2,3 3,4"},
           {"b*", "abc", "0,0"},
           {"(a$|a)", "a", "0,1 0,1"},
           {"^($|[0-9]+ )", "", "0,0 0,0"},
           {"^($|[0-9]+ )", "12 x", "0,3 0,3"},
           {"[[:digit:]]+[^[:alpha:]]", "ab12", "2,4"},
           {"[[:digit:]]+[^[:alpha:]]", "ab1", "none"},
           {"[]a]+", "x]a]", "1,4"},
           {"[^]]*", "ab]", "0,2"},
           {"\\[([^]]*)\\]", "[x] [yy]", "0,3 1,2"},
           {"a.c", "a\xff" "c", "0,3"},
           {"[\x80-\xff]", "a\xc3", "1,2"},  // left to regexec
           {"[^ @<>!:*]+", "\xe4\xbd\xa0 x", "0,3"},
           {"^([0-9]+):[0-9]+ <[@+ ]?([^ @<>!:*]+)> (.*)$", "10:01 < bob> hey", "0,16 0,2 8,11 13,16"},
           {"^([0-9]+):[0-9]+ <[@+ ]?([^ @<>!:*]+)> (.*)$", "10:01 <bob hey", "none"},
           {"(x)?^|b*", "a", "0,0"},
           {"^(\\[[0-9:]*\\] )?--- (.*)$", "--- Day", "0,7 -1,-1 4,7"},
           // A "$" that ends one branch: the C library takes a way of its
           // own through the expression, so only the span is ours to give.
           {"((a)c|ac$)$", "ac", "0,2 0,2"},
           {"(.(c)$|.*$)", "ac", "0,2 0,2"},
           {"x(a|b$)", "xb", "0,2 1,2"},
           {"(^a|b)c", "bc ac", "0,2 0,1"},
           {"(^a|b)c", "ac", "0,2 0,1"},
           {"c(^a|b)", "ab cb", "3,5 4,5"},
           // Anchored at the start: the walk from there settles the match
           // alone, following every way that dies before the end.
           {"^(a+)(b*)", "aabbc", "0,4 0,2 2,4"},
           {"^a(b|bc)", "abcd", "0,3 1,3"},
           {"^([0-9]+):[0-9]+ -!- ([^ ]+) has (joined|left) ", "10:00 -!- bob has left #x", "0,23 0,2 10,13 18,22"},
           {"^(ab|a)(c*)$", "abcc", "0,4 0,2 2,4"},
           {"^(a|b)+c?", "abab", "0,4 3,4"},
           {"^(x(y)?)+", "xyxxz", "0,4 3,4 1,2"},
           {"^a*(b)?", "aaac", "0,3"},
           {"^((a)|a)x?", "ab", "0,1 0,1 0,1"},
           {"^(a|ab)(c|bcd)?", "abcdx", "0,4 0,1 1,4"},
           // A word every match holds is looked for first.
           {"^([0-9]+) -!- ([^ ]+) has joined ", "10 -!- bob has left #x", "none"},
           {"x+ has joined ", "xx has joined  xx has joined ", "0,14"},
           {"^a+ x-y:z", "a -y x-y:z", "none"},
           {"^a+ x-y:z", "a x-y:", "none"},
           {"(b) x-y:z", "b x-y:z", "0,7 0,1"},
           {"^(x*)(xy)?(y*)", "xxyyz", "0,4 0,2 -1,-1 2,4"},
           {"^([a-z]+|[a-z]+:)(:)?", "ab:c", "0,3 0,2 2,3"},
       }) {
    std::string theirs = Theirs(c.expression, c.line);
    EXPECT_EQ(theirs, c.expected) << c.expression << " on " << c.line;
    std::unique_ptr<RegexMatcher> ours = CompileRegexMatcher(c.expression);
    if (ours != nullptr) {
      std::string result = Ours(*ours, c.line);
      if (result != "undecided") {
        EXPECT_EQ(result, theirs) << c.expression << " on " << c.line;
      }
      // The same with the automaton first, or the walk first, where both apply.
      if (ours->walks && ours->finder.anchoredAtStart) {
        ours->walksFirst = !ours->walksFirst;
        result = Ours(*ours, c.line);
        ours->walksFirst = !ours->walksFirst;
        if (result != "undecided") {
          EXPECT_EQ(result, theirs) << c.expression << " on " << c.line << ", other order";
        }
      }
      // The same with the backward scan for the leftmost start at once.
      if (ours->reverseFinder != nullptr) {
        ours->finder.searchBudget = 0;
        result = Ours(*ours, c.line);
        if (result != "undecided") {
          EXPECT_EQ(result, theirs) << c.expression << " on " << c.line << ", backward scan";
        }
      }
    }
    // Taken for the span alone, an expression gives the whole match.
    std::unique_ptr<RegexMatcher> span = CompileRegexMatcher(c.expression, 1);
    if (span == nullptr) continue;
    std::string result = Ours(*span, c.line);
    EXPECT_EQ(result, theirs.substr(0, theirs.find(' '))) << c.expression << " on " << c.line;
  }
}

TEST(RegexMatcher, RefusesWhatItCannotVouchFor) {
  for (const char* expression : {
           "(a)\\1",              // back-reference
           "[[.a.]]", "[[=a=]]",  // collating element, equivalence class
           "(a*)*", "(a?)+",      // repetitions of pieces that can match the empty text
           "(a?)?(ab)?b?",        // an optional piece that can match the empty text
           "(a$|b)+", "(^a)?b",   // anchors in repeated or optional pieces
           "\\w+", "a\\b",        // GNU escapes
           "a||b", "()", "",      // empty branches, groups and expressions
           "a{,3}", "a{2,1}", "a{1000}", "a{0}",  // other intervals
           "a**", "^*", "*a",     // repetitions of nothing, of anchors, of what can be empty
           "[z-a]", "[[:word:]]", "a]", "[\x80-\xff]",
       }) {
    EXPECT_EQ(CompileRegexMatcher(expression), nullptr) << expression;
  }
  // A "$" that does not end the expression: taken for the span, not the parts.
  for (const char* expression : {"((a)c|ac$)$", "(.(c)$|.*$)", "^($|x)", "(a$)"}) {
    EXPECT_EQ(CompileRegexMatcher(expression), nullptr) << expression;
    EXPECT_NE(CompileRegexMatcher(expression, 1), nullptr) << expression;
  }
  for (const char* expression : {"a", "^a$", "(a|b)+c{2,3}[^x]?", "[[:alpha:][:digit:]_-]+"}) {
    EXPECT_NE(CompileRegexMatcher(expression), nullptr) << expression;
  }
}

TEST(RegexMatcher, LeavesHugeSpansUndecidedAndSearchesLongLinesInOneScan) {
  // The parts of a span longer than the bound on tried positions are left
  // to the C library when they need the search (here, for the anchor
  // inside); the span alone is still found, and the walk along the match
  // takes any span.
  std::unique_ptr<RegexMatcher> parts = CompileRegexMatcher("(^a*)(b*)$");
  ASSERT_NE(parts, nullptr);
  EXPECT_FALSE(parts->walks);
  std::string huge(kRegexMaxVisitedBits / 8, 'a');
  std::string size = std::to_string(huge.size());
  EXPECT_EQ(Ours(*parts, huge.c_str()), "undecided");
  EXPECT_EQ(Ours(*parts, "aab"), "0,3 0,2 2,3");
  std::unique_ptr<RegexMatcher> span = CompileRegexMatcher("(^a*)(b*)$", 1);
  ASSERT_NE(span, nullptr);
  EXPECT_EQ(Ours(*span, huge.c_str()), "0," + size);
  std::unique_ptr<RegexMatcher> walk = CompileRegexMatcher("^(a*)(b*)$");
  ASSERT_NE(walk, nullptr);
  EXPECT_TRUE(walk->walks);
  EXPECT_EQ(Ours(*walk, huge.c_str()), "0," + size + " 0," + size + " " + size + "," + size);
  // A walk that would keep more places to go back to, or record more, than
  // its bound leaves the line too.
  std::unique_ptr<RegexMatcher> choices = CompileRegexMatcher("^(a*)(a*b*)$");
  ASSERT_NE(choices, nullptr);
  EXPECT_EQ(Ours(*choices, huge.c_str()), "undecided");
  std::unique_ptr<RegexMatcher> groups = CompileRegexMatcher("^((a)|b)*$");
  ASSERT_NE(groups, nullptr);
  EXPECT_TRUE(groups->walksFirst);
  EXPECT_EQ(Ours(*groups, huge.c_str()), "undecided");
  EXPECT_EQ(Ours(*groups, "ab"), "0,2 1,2 0,1");
  // A walk that goes back too often hands the line to the search.
  for (size_t count : {40, 400}) {
    std::string as(count, 'a');
    for (const char* expression : {"^(.*)a(.{10})$", "^(.*)a(.{100})$"}) {
      std::unique_ptr<RegexMatcher> back = CompileRegexMatcher(expression);
      ASSERT_NE(back, nullptr);
      EXPECT_TRUE(back->walks);
      EXPECT_EQ(Ours(*back, as.c_str()), Theirs(expression, as.c_str())) << expression;
    }
  }
  // An anchor inside the expression holds next to a newline in the text.
  std::unique_ptr<RegexMatcher> inner = CompileRegexMatcher("a\n^b");
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(Theirs("a\n^b", "a\nb"), "0,3");
  EXPECT_EQ(Ours(*inner, "a\nb"), "undecided");
  // Trying every start of a long line that nearly matches everywhere would
  // take time that grows with the square of the line; the reversed
  // expression finds the leftmost start in one scan instead.
  std::unique_ptr<RegexMatcher> search = CompileRegexMatcher("a*b");
  ASSERT_NE(search, nullptr);
  std::string nearly(100000, 'a');
  EXPECT_EQ(Ours(*search, nearly.c_str()), "none");
  EXPECT_EQ(Ours(*search, (nearly + "b").c_str()), "0,100001");
  EXPECT_EQ(Ours(*search, "xaab"), "1,4");
  for (const char* expression : {"x.*y", "(x|xy)+z?$", "a*b|c", "(^x|y)x*z", "y(x*)z?$"}) {
    std::unique_ptr<RegexMatcher> ours = CompileRegexMatcher(expression);
    ASSERT_NE(ours, nullptr) << expression;
    for (std::string line : {std::string(3000, 'x'), std::string(3000, 'x') + "y",
                             "y" + std::string(3000, 'x') + "z", std::string(3000, 'x') + "yx",
                             "c" + std::string(3000, 'x') + "y"}) {
      EXPECT_EQ(Ours(*ours, line.c_str()), Theirs(expression, line.c_str()))
          << expression << " on a line of " << line.size();
    }
  }
}

TEST(RegexMatcher, AStateCacheThatThrashesIsNotRebuiltForEveryLine) {
  // The twelfth byte from the end decides: 4096 states, twice what the
  // cache holds. Lines that visit them all fill the cache; the next ones
  // are left to the C library with the full cache kept, until enough bytes
  // have passed to pay for building it again.
  const char* expression = "^(a|b)*a(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)(a|b)c";
  std::unique_ptr<RegexMatcher> ours = CompileRegexMatcher(expression, 1);
  ASSERT_NE(ours, nullptr);
  std::string line;
  uint32_t bits = 12345;
  for (int i = 0; i < 6000; ++i) {
    bits ^= bits << 13;
    bits ^= bits >> 17;
    bits ^= bits << 5;
    line += bits & 1 ? 'a' : 'b';
  }
  line += 'c';
  EXPECT_EQ(Ours(*ours, line.c_str()), "undecided");
  size_t built = ours->finder.states.size();
  EXPECT_GE(built, kRegexMaxStates / 2);
  EXPECT_EQ(Ours(*ours, line.c_str()), "undecided");
  EXPECT_EQ(ours->finder.states.size(), built);  // kept, not built again
  // A line the kept states serve is still decided.
  std::string start = line.substr(0, 200);
  EXPECT_EQ(Ours(*ours, start.c_str()), "none");
  EXPECT_EQ(Theirs(expression, start.c_str()), "none");
}
