#include "stats/nick_shapes.h"

#include <algorithm>

#include "stats/text_basics.h"

namespace {

size_t ShapeOf(std::string_view name) {
  size_t length = std::min(name.size(), kShapeLengths - 1);
  unsigned char first = name.empty() ? 0 : FoldCase(static_cast<unsigned char>(name[0]));
  return first * kShapeLengths + length;
}

}  // namespace

void FollowNickTable(NickShapes& shapes, const NickTable& nicks) {
  if (shapes.layout != nicks.layout || shapes.measured > nicks.records.size()) {
    std::fill(std::begin(shapes.bits), std::end(shapes.bits), 0);
    shapes.measured = 0;
    shapes.layout = nicks.layout;
  }
  for (; shapes.measured < nicks.records.size(); ++shapes.measured) {
    size_t shape = ShapeOf(nicks.records[shapes.measured].name);
    shapes.bits[shape / 64] |= uint64_t{1} << (shape % 64);
  }
}

bool MayNameARecord(const NickShapes& shapes, std::string_view word) {
  size_t shape = ShapeOf(word);
  return (shapes.bits[shape / 64] >> (shape % 64)) & 1;
}
