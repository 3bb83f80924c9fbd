#include "logformat/pattern_size.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "logformat/format_file.h"

namespace {

uint64_t Extended(const std::string& pattern) {
  return EstimatePatternSize(pattern, PatternSyntax::kExtended).pieces;
}
uint64_t Optional(const std::string& pattern) {
  return EstimatePatternSize(pattern, PatternSyntax::kExtended).optionalPieces;
}
uint64_t Basic(const std::string& pattern) {
  return EstimatePatternSize(pattern, PatternSyntax::kBasic).pieces;
}

}  // namespace

TEST(PatternSize, RepetitionsCountEveryCopyTheyMake) {
  EXPECT_EQ(Extended("abc"), 3u);
  EXPECT_EQ(Extended("a*b?c"), 3u);
  EXPECT_EQ(Extended("a+"), 2u);
  EXPECT_EQ(Extended("a++"), 4u);
  EXPECT_EQ(Extended("a{5}"), 5u);
  EXPECT_EQ(Extended("a{2,7}"), 7u);
  EXPECT_EQ(Extended("a{3,}"), 4u);
  EXPECT_EQ(Extended("a{,4}"), 4u);
  EXPECT_EQ(Extended("(ab){3}"), 9u);  // the group and its two atoms, three times
  EXPECT_EQ(Extended("(a|bc)+x"), 9u);
  EXPECT_EQ(Extended("((a{10}){10}){10}"), 1110u);
}

TEST(PatternSize, PiecesThatCanMatchNothingAreCountedWithTheirCopies) {
  struct Case {
    const char* pattern;
    uint64_t optional;
    uint64_t emptyRepeats;
  };
  for (const Case& c : std::vector<Case>{
           {"abc{3}", 0, 0},
           {"a*b?c", 2, 0},
           {"a{2,7}", 5, 0},      // two copies and five optional ones
           {"a{3,}", 1, 0},       // "aaaa*"
           {"a+", 0, 0},          // "aa*": the "*" of a piece that cannot be empty
           {"a++++", 0, 0},       //
           {"a?+", 4, 1},         // "a?(a?)*": both copies, and the repetition of one
           {"(ab?|c)+", 2, 0},    // the group cannot be empty
           {"(ab?|c*)+", 8, 1},   // it can: the group counts, and so do its copies
           {"(a|)", 1, 0},        // an empty branch makes the group optional
           {"(a{0}b)+", 0, 0},    //
           {"(a?b*){4}", 16, 1},  //
           {"(.*)?", 3, 1},       //
           {"^a?++++", 46, 15},   // repetitions of repetitions of an empty piece
           {"^((a?)*){9}", 45, 10},
       }) {
    PatternSize size = EstimatePatternSize(c.pattern, PatternSyntax::kExtended);
    EXPECT_EQ(size.optionalPieces, c.optional) << c.pattern;
    EXPECT_EQ(size.emptyRepeats, c.emptyRepeats) << c.pattern;
  }
}

TEST(PatternSize, OnlyRealOperatorsRepeat) {
  // Bracket expressions are one atom, whatever they hold.
  EXPECT_EQ(Extended("[a-z{}+*]"), 1u);
  EXPECT_EQ(Extended("[]+]+"), 2u);
  EXPECT_EQ(Extended("[^]x]{3}"), 3u);
  EXPECT_EQ(Extended("[[:alpha:][.].]]{10}"), 10u);
  // Escaped operators and malformed intervals stand for themselves.
  EXPECT_EQ(Extended("a\\{5}"), 4u);
  EXPECT_EQ(Extended("a\\++"), 3u);
  EXPECT_EQ(Extended("a{x}"), 4u);
  EXPECT_EQ(Extended("+a"), 2u);
  // In basic syntax "+", "?", "{" and "(" are ordinary; their escaped forms
  // are the operators.
  EXPECT_EQ(Basic("a+{2}"), 5u);
  EXPECT_EQ(Basic("a\\+"), 2u);
  EXPECT_EQ(Basic("a\\{5\\}"), 5u);
  EXPECT_EQ(Basic("\\(ab\\)\\{3\\}"), 9u);
  EXPECT_EQ(Basic("a\\{5}"), 4u);  // no closing "\}": not an interval
}

TEST(PatternSize, StackedAndNestedRepetitionsAreTooLarge) {
  auto tooLarge = [](const std::string& pattern) {
    return PatternTooLarge(pattern, PatternSyntax::kExtended);
  };
  EXPECT_TRUE(tooLarge("a" + std::string(20, '+')));
  EXPECT_FALSE(tooLarge("a" + std::string(10, '+')));
  EXPECT_TRUE(tooLarge("((a{100}){100}){100}"));
  EXPECT_TRUE(PatternTooLarge("\\(\\(a\\{100\\}\\)\\{100\\}\\)\\{100\\}", PatternSyntax::kBasic));
  EXPECT_TRUE(PatternTooLarge("a\\+\\+\\+\\+\\+\\+\\+\\+\\+\\+\\+\\+\\+\\+\\+\\+\\+",
                              PatternSyntax::kBasic));
  // Few pieces, but too many that can match nothing, or repetitions of them.
  EXPECT_TRUE(tooLarge("(a|){2000}"));
  EXPECT_FALSE(tooLarge("(a?){160}"));
  EXPECT_TRUE(tooLarge("(a?){200}"));
  EXPECT_FALSE(tooLarge(".{0,400}"));
  EXPECT_TRUE(tooLarge(".{0,600}"));
  EXPECT_TRUE(tooLarge("a?++++++++++++"));
  EXPECT_TRUE(tooLarge("^([0-9]+)?++++++ank"));
  EXPECT_FALSE(tooLarge("^((a?)*){9}"));
  EXPECT_TRUE(tooLarge("^((a?)*){10}"));
  // Products beyond 64 bits saturate.
  std::string huge = "a?";
  for (int i = 0; i < 12; ++i) huge += "{32767}";
  EXPECT_TRUE(tooLarge(huge));
  EXPECT_GT(Extended(huge), uint64_t{1} << 60);
  EXPECT_GT(Optional(huge), uint64_t{1} << 60);
  EXPECT_GT(EstimatePatternSize(huge, PatternSyntax::kExtended).emptyRepeats, uint64_t{1} << 60);
  // A long plain pattern is large only through its length.
  EXPECT_FALSE(tooLarge(std::string(2000, 'x')));
  EXPECT_FALSE(tooLarge("x.{1,400}"));
  EXPECT_FALSE(tooLarge("a++++++++++"));
}

// The formats that read every language of their client hold long
// alternations of words, a few thousand pieces: still a tenth of the limit.
TEST(PatternSize, EveryBundledFormatIsFarBelowTheLimit) {
  int expressions = 0;
  for (const auto& file :
       std::filesystem::directory_iterator(std::string(TALLYWICK_SOURCE_DIR) + "/formats")) {
    if (file.path().extension() != ".txt") continue;  // the formats, not their generator
    std::ifstream in(file.path());
    std::string line;
    while (std::getline(in, line)) {
      size_t equals = line.find('=');
      if (line.empty() || line[0] == ';' || equals == std::string::npos) continue;
      // A longer line would be read in two pieces, its part list cut off.
      EXPECT_LT(line.size() + 1, 2048u) << file.path() << ": " << line.substr(0, equals);
      std::string expression = line.substr(equals + 1, line.find(',', equals) - equals - 1);
      std::string pattern = ExpandFormatMacros(expression);
      EXPECT_LT(Extended(pattern), 5000u) << file.path() << ": " << line;
      EXPECT_LT(Optional(pattern), 50u) << file.path() << ": " << line;
      EXPECT_LE(EstimatePatternSize(pattern, PatternSyntax::kExtended).emptyRepeats, 1u)
          << file.path() << ": " << line;
      ++expressions;
    }
  }
  EXPECT_GT(expressions, 50);
}
