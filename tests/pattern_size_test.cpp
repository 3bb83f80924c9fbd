#include "logformat/pattern_size.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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

TEST(PatternSize, OptionalPiecesAreCountedWithTheirCopies) {
  EXPECT_EQ(Optional("abc{3}"), 0u);
  EXPECT_EQ(Optional("a*b?c"), 2u);
  // "x+" is "xx*": its "*" counts when x can match the empty text.
  EXPECT_EQ(Optional("a+"), 0u);
  EXPECT_EQ(Optional("a++++"), 0u);
  EXPECT_EQ(Optional("a?+"), 3u);  // "a?(a?)*"
  EXPECT_EQ(Optional("(ab?|c*)+"), 5u);
  EXPECT_EQ(Optional("(ab?|c)+"), 2u);
  EXPECT_EQ(Optional("(a{0}b)+"), 0u);
  EXPECT_EQ(Optional("(a{0,1}b?)+"), 5u);
  EXPECT_EQ(Optional("a{2,7}"), 5u);  // two copies and five optional ones
  EXPECT_EQ(Optional("a{3,}"), 1u);   // "aaaa*"
  EXPECT_EQ(Optional("(a?b*){4}"), 8u);
  EXPECT_EQ(Optional("(x?|y)+"), 3u);
  EXPECT_EQ(Optional("[?*]\\?"), 0u);  // a bracket and an escaped "?"
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
  // Few pieces, but too many optional ones.
  EXPECT_TRUE(tooLarge("a?++++++++++++"));
  EXPECT_TRUE(tooLarge("a????++++++++"));
  EXPECT_FALSE(tooLarge("(a?){500}"));
  EXPECT_TRUE(tooLarge("(a?){501}"));
  EXPECT_TRUE(tooLarge("(.*){0,300}"));
  // Products beyond 64 bits saturate.
  std::string huge = "a?";
  for (int i = 0; i < 12; ++i) huge += "{32767}";
  EXPECT_TRUE(tooLarge(huge));
  EXPECT_GT(Extended(huge), uint64_t{1} << 60);
  EXPECT_GT(Optional(huge), uint64_t{1} << 60);
  // A long plain pattern is large only through its length.
  EXPECT_FALSE(tooLarge(std::string(2000, 'x')));
  EXPECT_FALSE(tooLarge("x.{1,400}"));
}

TEST(PatternSize, EveryBundledFormatIsFarBelowTheLimit) {
  int expressions = 0;
  for (const auto& file :
       std::filesystem::directory_iterator(std::string(TALLYWICK_SOURCE_DIR) + "/formats")) {
    std::ifstream in(file.path());
    std::string line;
    while (std::getline(in, line)) {
      size_t equals = line.find('=');
      if (line.empty() || line[0] == ';' || equals == std::string::npos) continue;
      std::string expression = line.substr(equals + 1, line.find(',', equals) - equals - 1);
      std::string pattern = ExpandFormatMacros(expression);
      EXPECT_LT(Extended(pattern), 1000u) << file.path() << ": " << line;
      EXPECT_LT(Optional(pattern), 50u) << file.path() << ": " << line;
      ++expressions;
    }
  }
  EXPECT_GT(expressions, 50);
}
