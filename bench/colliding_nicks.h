// Nicks made to collide in an unkeyed hash index, and a measure of how well
// an index spreads names. The nicks: ordinary nine-character
// IRC nicks whose 64-bit FNV-1a hashes (the fixed, public hash the nick
// index once used) agree in their low `bits` bits, so that an index of up
// to 2^bits slots puts them all on one slot. Used by the nick table
// benchmark and by the test that the keyed index scatters them.
//
// Made by meeting in the middle: the low bits of an FNV-1a state depend only
// on the low bits before it, and each step is invertible, so for every
// four-character ending the state it needs is worked out backwards, and
// five-character beginnings are paired with the endings that fit them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace colliding_nicks {

constexpr uint64_t kFnvOffset = 1469598103934665603ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;
constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr uint64_t kLetters = 26;
constexpr uint64_t kSymbols = 36;

inline uint64_t FnvHash(const std::string& name) {
  uint64_t hash = kFnvOffset;
  for (unsigned char c : name) {
    hash ^= c;
    hash *= kFnvPrime;
  }
  return hash;
}

// The `length` symbols of number `n` written in the alphabet.
inline std::string Spell(uint64_t n, int length, uint64_t firstBase) {
  std::string text;
  text += kAlphabet[n % firstBase];
  n /= firstBase;
  for (int i = 1; i < length; ++i) {
    text += kAlphabet[n % kSymbols];
    n /= kSymbols;
  }
  return text;
}

inline std::vector<std::string> FnvCollidingNicks(size_t count, int bits) {
  const uint64_t mask = (uint64_t{1} << bits) - 1;
  const uint64_t target = 0x5a5a5a5aull & mask;
  uint64_t inverse = kFnvPrime;  // Newton's steps: the prime's inverse modulo 2^64
  for (int i = 0; i < 6; ++i) inverse *= 2 - kFnvPrime * inverse;

  // Every ending with the state it needs before it, sorted by that state.
  const uint64_t endings = kSymbols * kSymbols * kSymbols * kSymbols;
  std::vector<std::pair<uint64_t, uint32_t>> needed;
  needed.reserve(endings);
  for (uint64_t e = 0; e < endings; ++e) {
    std::string ending = Spell(e, 4, kSymbols);
    uint64_t state = target;
    for (size_t i = ending.size(); i-- > 0;) {
      state = (state * inverse) ^ static_cast<unsigned char>(ending[i]);
    }
    needed.emplace_back(state & mask, static_cast<uint32_t>(e));
  }
  std::sort(needed.begin(), needed.end());

  std::vector<std::string> nicks;
  nicks.reserve(count);
  for (uint64_t b = 0; nicks.size() < count && b < kLetters * kSymbols * kSymbols * kSymbols * kSymbols; ++b) {
    std::string beginning = Spell(b, 5, kLetters);  // a nick begins with a letter
    uint64_t state = kFnvOffset;
    for (unsigned char c : beginning) state = (state ^ c) * kFnvPrime;
    auto fits = std::lower_bound(needed.begin(), needed.end(),
                                 std::make_pair(state & mask, uint32_t{0}));
    for (; fits != needed.end() && fits->first == (state & mask) && nicks.size() < count; ++fits) {
      nicks.push_back(beginning + Spell(fits->second, 4, kSymbols));
    }
  }
  return nicks;
}

// The longest run of consecutive occupied slots (-1 marks an empty one) of
// an open-addressing index, wrapping round: what the slowest lookup may
// have to step over.
inline size_t LongestOccupiedRun(const std::vector<int32_t>& slots) {
  size_t size = slots.size();
  size_t start = 0;  // an empty slot, where runs can be counted from
  while (start < size && slots[start] >= 0) ++start;
  if (start == size) return size;
  size_t longest = 0, run = 0;
  for (size_t step = 1; step <= size; ++step) {
    run = slots[(start + step) % size] >= 0 ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

}  // namespace colliding_nicks
