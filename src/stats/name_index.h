// A hash index from case-folded names to positions in an array of named
// things (nick records, day records, the nicks a users file was asked
// about). Probed linearly and kept at most half full.
//
// Names come from whoever writes in a channel, so the hash is keyed with a
// secret drawn afresh for every index: names chosen to fall on one slot
// under one key are scattered under the next. Nothing the program writes
// depends on where a name lands in the index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "stats/text_basics.h"

struct NameIndex {
  std::vector<int32_t> slots;  // -1 for an empty slot
  int32_t used = 0;
  bool keyed = false;  // the key is drawn when the first slots are made
  uint64_t key[2] = {0, 0};
};

// SipHash-1-3 of the case-folded name under the index's key.
uint64_t FoldedNameHash(const NameIndex& index, std::string_view name);

// Draws the index's key from the system's random source; where that gives
// nothing, from the clock and the index's address. Never from rand(), whose
// draws belong to the page.
void DrawIndexKey(NameIndex& index);

// `nameOf(position)` gives the name of the thing at a position.

// The position whose name equals `name` without regard to case; -1 for none.
template <typename NameOf>
int32_t IndexFind(const NameIndex& index, std::string_view name, NameOf nameOf) {
  if (index.slots.empty()) return -1;
  size_t mask = index.slots.size() - 1;
  for (size_t slot = FoldedNameHash(index, name) & mask;; slot = (slot + 1) & mask) {
    int32_t position = index.slots[slot];
    if (position < 0) return -1;
    if (NamesEqualIgnoringCase(nameOf(position), name)) return position;
  }
}

template <typename NameOf>
void IndexPlace(NameIndex& index, int32_t position, NameOf nameOf) {
  size_t mask = index.slots.size() - 1;
  size_t slot = FoldedNameHash(index, nameOf(position)) & mask;
  while (index.slots[slot] >= 0) slot = (slot + 1) & mask;
  index.slots[slot] = position;
  ++index.used;
}

// Indexes the positions 0 to count - 1 afresh.
template <typename NameOf>
void IndexRebuild(NameIndex& index, int32_t count, NameOf nameOf) {
  size_t size = 16;
  while (size < static_cast<size_t>(count) * 2 + 2) size *= 2;
  if (!index.keyed) DrawIndexKey(index);
  index.slots.assign(size, -1);
  index.used = 0;
  for (int32_t position = 0; position < count; ++position) IndexPlace(index, position, nameOf);
}

// Indexes `position`, the one after every position indexed so far.
template <typename NameOf>
void IndexInsert(NameIndex& index, int32_t position, NameOf nameOf) {
  if (static_cast<size_t>(index.used + 1) * 2 > index.slots.size()) {
    IndexRebuild(index, position, nameOf);  // every position before this one
  }
  IndexPlace(index, position, nameOf);
}
