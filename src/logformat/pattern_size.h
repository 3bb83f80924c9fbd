// A bound on what compiling a POSIX regular expression costs. The C
// library's compiler copies a repeated piece once for every repetition it
// stands for, so stacked or nested repetitions ("a+++++++++++++++++++++",
// "((a{100}){100}){100}") multiply into millions of copies: a line of thirty
// characters can take gigabytes and minutes. Optional pieces ("x?", "x*")
// cost far more than others: the compiler works out which pieces each one
// can skip to, and among copies of optional pieces that work grows faster
// than their square ("a?++++++++++++", four thousand optional copies, takes
// seconds and a gigabyte). Expressions are measured before they are
// compiled and refused above sizes no real log layout comes near.
#pragma once

#include <cstdint>
#include <string_view>

enum class PatternSyntax { kBasic, kExtended };

// Patterns with more pieces, or more optional pieces, than these are refused.
constexpr uint64_t kMaxPatternPieces = 50000;
constexpr uint64_t kMaxOptionalPieces = 500;

struct PatternSize {
  // Every piece of the compiled expression, counting each copy that a
  // repetition makes: "x+" is two copies of x, "x{m,n}" max(m, n), "x{m,}"
  // m + 1. Saturates instead of overflowing.
  uint64_t pieces = 0;
  // The optional pieces among them, copies included: one for each "?" and
  // "*", one for the repetition "{m,}" ends with, n - m for the optional
  // copies of "{m,n}", and one for the repetition "x+" ends with when x can
  // match the empty text.
  uint64_t optionalPieces = 0;
};

PatternSize EstimatePatternSize(std::string_view pattern, PatternSyntax syntax);

inline bool PatternTooLarge(std::string_view pattern, PatternSyntax syntax) {
  PatternSize size = EstimatePatternSize(pattern, syntax);
  return size.pieces > kMaxPatternPieces || size.optionalPieces > kMaxOptionalPieces;
}
