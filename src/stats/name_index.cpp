#include "stats/name_index.h"

#include <ctime>

#include <sys/random.h>

namespace {

uint64_t RotateLeft(uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

struct SipState {
  uint64_t v0, v1, v2, v3;
};

void SipRound(SipState& s) {
  s.v0 += s.v1;
  s.v1 = RotateLeft(s.v1, 13) ^ s.v0;
  s.v0 = RotateLeft(s.v0, 32);
  s.v2 += s.v3;
  s.v3 = RotateLeft(s.v3, 16) ^ s.v2;
  s.v0 += s.v3;
  s.v3 = RotateLeft(s.v3, 21) ^ s.v0;
  s.v2 += s.v1;
  s.v1 = RotateLeft(s.v1, 17) ^ s.v2;
  s.v2 = RotateLeft(s.v2, 32);
}

void SipAbsorb(SipState& s, uint64_t word) {
  s.v3 ^= word;
  SipRound(s);
  s.v0 ^= word;
}

uint64_t MixBits(uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

}  // namespace

uint64_t FoldedNameHash(const NameIndex& index, std::string_view name) {
  SipState s = {index.key[0] ^ 0x736f6d6570736575ull, index.key[1] ^ 0x646f72616e646f6dull,
                index.key[0] ^ 0x6c7967656e657261ull, index.key[1] ^ 0x7465646279746573ull};
  uint64_t word = 0;
  size_t i = 0;
  for (; i < name.size(); ++i) {
    word |= uint64_t{FoldCase(static_cast<unsigned char>(name[i]))} << (8 * (i & 7));
    if ((i & 7) == 7) {
      SipAbsorb(s, word);
      word = 0;
    }
  }
  SipAbsorb(s, word | (uint64_t{name.size() & 0xff} << 56));
  s.v2 ^= 0xff;
  SipRound(s);
  SipRound(s);
  SipRound(s);
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

void DrawIndexKey(NameIndex& index) {
  uint64_t key[2] = {0, 0};
  if (getrandom(key, sizeof key, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof key)) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t seed = static_cast<uint64_t>(now.tv_sec) * 1000000000ull +
                    static_cast<uint64_t>(now.tv_nsec);
    key[0] = MixBits(seed ^ reinterpret_cast<uintptr_t>(&index));
    key[1] = MixBits(key[0] ^ static_cast<uint64_t>(time(nullptr)));
  }
  index.key[0] = key[0];
  index.key[1] = key[1];
  index.keyed = true;
}
