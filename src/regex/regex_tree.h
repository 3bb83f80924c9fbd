// Reading a POSIX extended regular expression into a tree. Only the
// constructs whose matching this matcher reproduces exactly are read;
// anything else makes the whole expression refused, and the caller then
// matches with the C library instead.
#pragma once

#include <bitset>
#include <cstdint>
#include <string_view>
#include <vector>

enum class RegexNodeKind : uint8_t {
  kBytes,        // one byte out of a set: a literal, ".", or a bracket expression
  kConcat,       // the children one after another
  kAlternation,  // one of the children, the leftmost preferred
  kRepeat,       // the child from minCount to maxCount times (-1: no limit)
  kGroup,        // a parenthesised subexpression, numbered from 1
  kLineStart,    // "^": only at the start of the text
  kLineEnd,      // "$": only at the end of the text
};

struct RegexNode {
  RegexNodeKind kind = RegexNodeKind::kBytes;
  std::bitset<256> bytes;  // kBytes
  int group = 0;           // kGroup
  int minCount = 0;        // kRepeat
  int maxCount = 0;        // kRepeat; -1 for no upper limit
  std::vector<int> children;
};

struct RegexTree {
  std::vector<RegexNode> nodes;
  int root = -1;
  int groupCount = 0;
};

// Limits beyond which an expression is refused: deep nesting and huge
// counted repetitions are no part of any log layout.
constexpr int kRegexMaxDepth = 64;
constexpr int kRegexMaxCount = 255;

// Reads `pattern` into `tree`. Returns false when the expression uses a
// construct this matcher does not take: back-references, collating elements
// and equivalence classes, GNU escapes, empty branches or groups, intervals
// other than "{m}", "{m,}" and "{m,n}", ranges with bytes above 127,
// repetitions ("?" included) of pieces that can match the empty text or
// hold an anchor, and anything malformed.
bool ParseRegex(std::string_view pattern, RegexTree& tree);

// Whether the subtree at `node` can match the empty text.
bool RegexNodeNullable(const RegexTree& tree, int node);
