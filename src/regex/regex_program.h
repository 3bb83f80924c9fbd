// A regular expression tree compiled into a program of steps: an automaton
// whose choices are ordered the way the C library prefers them, so that the
// first way through it that ends where the match ends is the way whose
// subexpression positions the C library reports.
#pragma once

#include <bitset>
#include <cstdint>
#include <vector>

#include "regex/regex_tree.h"

// Positions reported: the whole match and subexpressions 1 to 11.
constexpr int kRegexPositions = 12;
// Programs above this many steps are refused.
constexpr int kRegexMaxSteps = 4000;

enum class RegexStepKind : uint8_t {
  kByte,         // consume one byte of byteSet, then go to next
  kSplit,        // go to next, or else to other
  kOpen,         // subexpression `group` begins here
  kClose,        // subexpression `group` ends here
  kAssertStart,  // only at the start of the text
  kAssertEnd,    // only at the end of the text
  kMatch,        // the match ends here
};

struct RegexStep {
  RegexStepKind kind = RegexStepKind::kMatch;
  bool optionalGroup = false;  // kClose of a group repeated with "?", "*" or beyond "{m,"
  bool byteLoop = false;       // kSplit whose `next` is a kByte step leading back here
  uint16_t byteSet = 0;        // kByte: index into RegexProgram::byteSets
  int group = 0;               // kOpen, kClose
  int next = -1;
  int other = -1;  // kSplit: the less preferred way
};

struct RegexProgram {
  std::vector<RegexStep> steps;
  int start = 0;
  std::vector<std::bitset<256>> byteSets;
  // Bytes that no byte set tells apart share a class.
  uint8_t byteClass[256] = {};
  int classCount = 0;
  // A subexpression whose parentheses enclose exactly another one reports
  // the outer one's positions: sameAs[inner] = outer, else sameAs[n] = n.
  int sameAs[kRegexPositions] = {};
  bool mergedGroups = false;  // some sameAs[n] != n
  // "^" or "$" somewhere else than first and last in the expression: a
  // match may then end both through an anchor and without one.
  bool innerAnchors = false;
  // A "$" somewhere else than last in the expression. Which way the C
  // library then takes through the expression, and so which parts it
  // reports, follows rules of its own; the span of the match does not.
  bool innerEndAnchor = false;
  // Some kClose step has optionalGroup set: only then does recording
  // positions need to remember what was recorded before.
  bool optionalGroups = false;
};

// Compiles `tree`; false when the program would exceed kRegexMaxSteps.
bool BuildRegexProgram(const RegexTree& tree, RegexProgram& program);

// Compiles the expression of `tree` read backwards ("^" and "$" trading
// places) and preceded by ".*": run over a text from its end, its
// automaton accepts at every position where a match of `tree` begins.
// Only for finding spans: its subexpressions mean nothing.
bool BuildReversedRegexProgram(const RegexTree& tree, RegexProgram& program);
