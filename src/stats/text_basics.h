// The ground floor every part of the program stands on: the "C"-locale
// character classes, name folding and comparison, and the decimal reader.
// Bytes 0x80 and above are never letters, digits, blanks or punctuation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// White space: blank, tab, newline, vertical tab, form feed, carriage return.
inline bool IsCSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsCDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool IsCUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
inline bool IsCAlnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || IsCUpper(c) || IsCDigit(c);
}
// Printable, not blank and not a letter or digit.
inline bool IsCPunct(unsigned char c) { return c > ' ' && c < 127 && !IsCAlnum(c); }

// "A" to "Z" fold onto "a" to "z"; every other byte stays.
inline unsigned char FoldCase(unsigned char c) {
  return IsCUpper(c) ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Compares names byte by byte after folding, by unsigned value; a name that
// is a prefix of the other comes first. Negative, zero or positive.
inline int CompareNamesIgnoringCase(std::string_view a, std::string_view b) {
  size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    int ca = FoldCase(static_cast<unsigned char>(a[i]));
    int cb = FoldCase(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca - cb;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

inline bool NamesEqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareNamesIgnoringCase(a, b) == 0;
}

// The characters of a UTF-8 text: its bytes but the continuation bytes
// (0x80 to 0xBF).
inline size_t Utf8CharacterCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// The decimal number at `position` of `text`, read as atoi reads it:
// blanks skipped, an optional sign, then digits. A position past the end
// reads as no digits (0); values beyond the 32-bit range saturate.
int64_t ReadNumberAt(std::string_view text, size_t position);
