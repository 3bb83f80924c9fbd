// A bound on what compiling a POSIX regular expression costs. The C
// library's compiler copies a repeated piece once for every repetition it
// stands for, so stacked or nested repetitions ("a+++++++++++++++++++++",
// "((a{100}){100}){100}") multiply into millions of copies: a line of thirty
// characters can take gigabytes and minutes. Pieces that can match the
// empty text cost far more than others: the compiler works out which pieces
// each one can skip to, which grows faster than the square of their number
// ("(a|){5000}" takes gigabytes), and a repetition of such a piece doubles
// that work after an anchor ("^((a?)*){20}" takes seconds, each further
// copy twice as long). Expressions are measured before they are compiled
// and refused above sizes no real log layout comes near.
#pragma once

#include <cstdint>
#include <string_view>

enum class PatternSyntax { kBasic, kExtended };

// Patterns above any of these are refused.
constexpr uint64_t kMaxPatternPieces = 50000;
constexpr uint64_t kMaxOptionalPieces = 500;
constexpr uint64_t kMaxEmptyRepeats = 10;

// Counts that saturate instead of overflowing; every copy that a repetition
// makes counts: "x+" is two copies of x, "x{m,n}" max(m, n), "x{m,}" m + 1.
struct PatternSize {
  uint64_t pieces = 0;          // every piece of the compiled expression
  uint64_t optionalPieces = 0;  // the pieces among them that can match the empty text
  uint64_t emptyRepeats = 0;    // repetitions of a piece that can match the empty text
};

// Measures `pattern` as the compiler would build it, without compiling it.
// Never fails: malformed pieces are counted as plain characters.
PatternSize EstimatePatternSize(std::string_view pattern, PatternSyntax syntax);

// True when compiling `pattern` could cost more than any real layout needs.
inline bool PatternTooLarge(std::string_view pattern, PatternSyntax syntax) {
  PatternSize size = EstimatePatternSize(pattern, syntax);
  return size.pieces > kMaxPatternPieces || size.optionalPieces > kMaxOptionalPieces ||
         size.emptyRepeats > kMaxEmptyRepeats;
}
