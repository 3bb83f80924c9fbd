#include "logformat/pattern_size.h"

#include <vector>

namespace {

constexpr uint64_t kSaturated = uint64_t{1} << 62;

uint64_t Add(uint64_t a, uint64_t b) {
  return a + b > kSaturated ? kSaturated : a + b;
}

uint64_t Multiply(uint64_t a, uint64_t b) {
  if (a == 0 || b == 0) return 0;
  return a > kSaturated / b ? kSaturated : a * b;
}

// A piece of the expression: its size, and whether it can match the
// empty text.
struct Piece {
  PatternSize size;
  bool nullable = false;
};

// One level of parentheses: the size so far, and its last atom, which a
// following repetition applies to.
struct Level {
  PatternSize total;
  Piece lastAtom;
  bool haveAtom = false;
  bool prefixNullable = true;  // the current branch before its last atom
  bool earlierBranchNullable = false;

  bool BranchNullable() const { return prefixNullable && (!haveAtom || lastAtom.nullable); }
};

// A repetition: `copies` copies of the piece, `optional` optional pieces of
// its own (besides the copies of the piece's optional pieces), and whether
// it can stand for no copy at all.
struct Repetition {
  uint64_t copies = 1;
  uint64_t optional = 0;
  bool allowsNone = false;
  bool repeatsRest = false;  // ends with "x*": optional only when x is nullable
};

// The end of the bracket expression that starts at `at` ("["), or the end
// of the text when it is not closed.
size_t SkipBracket(std::string_view p, size_t at) {
  size_t i = at + 1;
  if (i < p.size() && p[i] == '^') ++i;
  if (i < p.size() && p[i] == ']') ++i;  // a leading "]" is a member
  while (i < p.size() && p[i] != ']') {
    if (p[i] == '[' && i + 1 < p.size() &&
        (p[i + 1] == ':' || p[i + 1] == '=' || p[i + 1] == '.')) {
      char kind = p[i + 1];
      size_t close = i + 2;
      while (close + 1 < p.size() && !(p[close] == kind && p[close + 1] == ']')) ++close;
      i = close + 2;
    } else {
      ++i;
    }
  }
  return i < p.size() ? i + 1 : p.size();
}

// Reads the interval that starts at `at`, just after "{" (or "\\{"): "m",
// "m,", "m,n" or ",n", then the closing "}" (or "\\}"). Returns false when
// there is no well-formed interval there.
bool ReadInterval(std::string_view p, size_t at, PatternSyntax syntax, Repetition& repetition,
                  size_t& end) {
  auto number = [&](size_t& i, uint64_t& value) {
    size_t start = i;
    value = 0;
    while (i < p.size() && p[i] >= '0' && p[i] <= '9') {
      if (value < 1000000) value = value * 10 + static_cast<uint64_t>(p[i] - '0');
      ++i;
    }
    return i > start;
  };
  size_t i = at;
  uint64_t low = 0, high = 0;
  bool haveLow = number(i, low);
  bool comma = i < p.size() && p[i] == ',';
  bool haveHigh = false;
  if (comma) {
    ++i;
    haveHigh = number(i, high);
  }
  if (!haveLow && !haveHigh) return false;
  if (syntax == PatternSyntax::kBasic) {
    if (i + 1 >= p.size() || p[i] != '\\' || p[i + 1] != '}') return false;
    end = i + 2;
  } else {
    if (i >= p.size() || p[i] != '}') return false;
    end = i + 1;
  }
  if (!comma) {
    repetition = {low, 0, low == 0, false};  // exactly m copies
  } else if (!haveHigh) {
    repetition = {low + 1, 1, low == 0, false};  // m copies and a repeated one
  } else {
    uint64_t most = high > low ? high : low;
    repetition = {most, most - low, low == 0, false};  // m copies and the optional rest
  }
  if (repetition.copies == 0) repetition.copies = 1;
  return true;
}

}  // namespace

PatternSize EstimatePatternSize(std::string_view p, PatternSyntax syntax) {
  const bool extended = syntax == PatternSyntax::kExtended;
  std::vector<Level> levels(1);
  auto atom = [&levels](Piece piece) {
    Level& level = levels.back();
    if (level.haveAtom) level.prefixNullable = level.prefixNullable && level.lastAtom.nullable;
    level.total.pieces = Add(level.total.pieces, piece.size.pieces);
    level.total.optionalPieces = Add(level.total.optionalPieces, piece.size.optionalPieces);
    level.lastAtom = piece;
    level.haveAtom = true;
  };
  auto single = [&atom]() { atom({{1, 0}, false}); };
  auto repeat = [&levels, &single](Repetition repetition) {
    Level& level = levels.back();
    if (!level.haveAtom) {
      single();  // nothing to repeat: the operator stands for itself
      return;
    }
    Piece before = level.lastAtom;
    Piece after;
    uint64_t own = repetition.optional;
    // "x+" ends with "x*", which costs like an optional piece only when x
    // can match the empty text: then the copies chain into each other.
    if (repetition.repeatsRest && before.nullable) own = 1;
    after.size.pieces = Multiply(before.size.pieces, repetition.copies);
    after.size.optionalPieces = Add(Multiply(before.size.optionalPieces, repetition.copies), own);
    after.nullable = before.nullable || repetition.allowsNone;
    level.total.pieces = Add(level.total.pieces - before.size.pieces, after.size.pieces);
    level.total.optionalPieces =
        Add(level.total.optionalPieces - before.size.optionalPieces, after.size.optionalPieces);
    level.lastAtom = after;
  };
  auto interval = [&](size_t& i) {
    Repetition repetition;
    size_t end = i;
    if (ReadInterval(p, i, syntax, repetition, end)) {
      repeat(repetition);
      i = end;
    } else {
      single();
    }
  };
  auto open = [&levels]() { levels.emplace_back(); };
  auto close = [&levels, &atom, &single]() {
    if (levels.size() == 1) {
      single();  // an unmatched closing parenthesis
      return;
    }
    const Level& inner = levels.back();
    Piece group;
    group.size = inner.total;
    group.size.pieces = Add(group.size.pieces, 1);
    group.nullable = inner.earlierBranchNullable || inner.BranchNullable();
    levels.pop_back();
    atom(group);
  };
  auto alternative = [&levels]() {
    Level& level = levels.back();
    level.earlierBranchNullable = level.earlierBranchNullable || level.BranchNullable();
    level.haveAtom = false;
    level.prefixNullable = true;
  };
  const Repetition kOptional = {1, 1, true, false};   // "?" and "*"
  const Repetition kOneOrMore = {2, 0, false, true};  // "x+" is "xx*"

  size_t i = 0;
  while (i < p.size()) {
    char c = p[i];
    if (c == '[') {
      i = SkipBracket(p, i);
      single();
      continue;
    }
    if (c == '\\' && i + 1 < p.size()) {
      char next = p[i + 1];
      i += 2;
      if (extended) {
        single();  // an escaped character or a backreference
      } else if (next == '(') {
        open();
      } else if (next == ')') {
        close();
      } else if (next == '|') {
        alternative();
      } else if (next == '+') {
        repeat(kOneOrMore);
      } else if (next == '?') {
        repeat(kOptional);
      } else if (next == '{') {
        interval(i);
      } else {
        single();
      }
      continue;
    }
    ++i;
    if (c == '*') {
      repeat(kOptional);
    } else if (extended && c == '+') {
      repeat(kOneOrMore);
    } else if (extended && c == '?') {
      repeat(kOptional);
    } else if (extended && c == '{') {
      interval(i);
    } else if (extended && c == '(') {
      open();
    } else if (extended && c == ')') {
      close();
    } else if (extended && c == '|') {
      alternative();
    } else {
      single();
    }
  }
  while (levels.size() > 1) close();  // unclosed groups: the compiler refuses them anyway
  return levels.back().total;
}
