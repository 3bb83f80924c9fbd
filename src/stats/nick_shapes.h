// The shapes of the nick records' names: their lengths and first
// characters, without regard to case. A word whose shape no name has names
// no record, which rules out most first words of messages as addressees
// before any keyed hash of them is made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "stats/tables.h"

// Lengths from kShapeLengths - 1 on share one shape per first character.
constexpr size_t kShapeLengths = 32;
constexpr size_t kShapeWords = 256 * kShapeLengths / 64;

struct NickShapes {
  uint64_t bits[kShapeWords] = {};
  size_t measured = 0;                   // the records whose names are in `bits`
  uint64_t layout = ~uint64_t{0};        // the table layout they were taken from
};

// Takes in the names of the records added since the last call; after a
// sort or a removal, every name afresh.
void FollowNickTable(NickShapes& shapes, const NickTable& nicks);

// False when no record taken in has a name of the word's shape, so that no
// record's name equals the word without regard to case.
bool MayNameARecord(const NickShapes& shapes, std::string_view word);
