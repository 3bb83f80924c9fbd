// A bound on what compiling a POSIX regular expression costs. The C
// library's compiler copies a repeated piece once for every repetition it
// stands for, so stacked or nested repetitions ("a+++++++++++++++++++++",
// "((a{100}){100}){100}") multiply into millions of copies: a line of thirty
// characters can take gigabytes and minutes. Expressions are measured
// before they are compiled and refused above a size no real log layout
// comes near.
#pragma once

#include <cstdint>
#include <string_view>

enum class PatternSyntax { kBasic, kExtended };

// Patterns whose estimated size is above this are refused.
constexpr uint64_t kMaxPatternSize = 50000;

// The number of pieces the compiled expression holds, counting every copy
// that a repetition makes: "x+" is two copies of x, "x{m,n}" max(m, n),
// "x{m,}" m + 1. Saturates instead of overflowing.
uint64_t EstimatePatternSize(std::string_view pattern, PatternSyntax syntax);

inline bool PatternTooLarge(std::string_view pattern, PatternSyntax syntax) {
  return EstimatePatternSize(pattern, syntax) > kMaxPatternSize;
}
