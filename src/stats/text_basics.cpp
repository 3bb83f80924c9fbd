#include "stats/text_basics.h"

#include <algorithm>
#include <climits>

int64_t ReadNumberAt(std::string_view text, size_t position) {
  while (position < text.size() && IsCSpace(static_cast<unsigned char>(text[position]))) {
    ++position;
  }
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  int64_t value = 0;
  while (position < text.size() && IsCDigit(static_cast<unsigned char>(text[position]))) {
    value = std::min<int64_t>(value * 10 + (text[position] - '0'), INT32_MAX + 1ll);
    ++position;
  }
  return negative ? -value : std::min<int64_t>(value, INT32_MAX);
}
