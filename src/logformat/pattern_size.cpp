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

PatternSize Sum(const PatternSize& a, const PatternSize& b) {
  return {Add(a.pieces, b.pieces), Add(a.optionalPieces, b.optionalPieces),
          Add(a.emptyRepeats, b.emptyRepeats)};
}

// A piece of the expression: its size, and whether it can match the empty
// text.
struct Piece {
  PatternSize size;
  bool nullable = false;
};

// One level of parentheses: the branches so far, the current branch before
// its last atom, and that atom, which a following repetition applies to.
struct Level {
  PatternSize total;  // everything before the current branch's last atom
  bool earlierBranchNullable = false;
  bool prefixNullable = true;  // the current branch before its last atom
  bool haveAtom = false;
  Piece lastAtom;

  bool BranchNullable() const { return prefixNullable && (!haveAtom || lastAtom.nullable); }
  PatternSize Size() const { return haveAtom ? Sum(total, lastAtom.size) : total; }
};

// A repetition: its copies of the piece, how many optional copies it adds
// ("x{2,5}" three, "x?" and "x*" one), and whether it can stand for no copy.
struct Repetition {
  uint64_t copies = 1;
  uint64_t optionalCopies = 0;
  bool allowsNone = false;
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

// Reads the interval that starts at `at`, just after "{" (or "\{"): "m",
// "m,", "m,n" or ",n", then the closing "}" (or "\}"). Returns false when
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
    repetition = {low, 0, low == 0};  // exactly m copies
  } else if (!haveHigh) {
    repetition = {low + 1, 1, low == 0};  // m copies, then a repeated one
  } else {
    uint64_t most = high > low ? high : low;
    repetition = {most, most - low, low == 0};  // m copies and the optional rest
  }
  if (repetition.copies == 0) repetition.copies = 1;
  return true;
}

// What a repetition makes of a piece.
Piece Repeat(const Piece& x, const Repetition& repetition) {
  Piece repeated;
  repeated.size.pieces = Multiply(x.size.pieces, repetition.copies);
  repeated.nullable = x.nullable || repetition.allowsNone;
  uint64_t optional = Multiply(x.size.optionalPieces, repetition.copies);
  if (x.nullable) {
    // Every copy can match the empty text.
    optional = Add(optional, repetition.copies);
  } else {
    optional = Add(optional, repetition.optionalCopies);
  }
  repeated.size.optionalPieces = optional;
  repeated.size.emptyRepeats =
      Add(Multiply(x.size.emptyRepeats, repetition.copies), x.nullable ? 1 : 0);
  return repeated;
}

}  // namespace

PatternSize EstimatePatternSize(std::string_view p, PatternSyntax syntax) {
  const bool extended = syntax == PatternSyntax::kExtended;
  std::vector<Level> levels(1);
  auto atom = [&levels](const Piece& piece) {
    Level& level = levels.back();
    if (level.haveAtom) {
      level.total = Sum(level.total, level.lastAtom.size);
      level.prefixNullable = level.prefixNullable && level.lastAtom.nullable;
    }
    level.lastAtom = piece;
    level.haveAtom = true;
  };
  auto single = [&atom]() { atom(Piece{{1, 0, 0}, false}); };
  auto repeat = [&levels, &single](const Repetition& repetition) {
    Level& level = levels.back();
    if (!level.haveAtom) {
      single();  // nothing to repeat: the operator stands for itself
      return;
    }
    level.lastAtom = Repeat(level.lastAtom, repetition);
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
    group.size = inner.Size();
    group.size.pieces = Add(group.size.pieces, 1);
    group.nullable = inner.earlierBranchNullable || inner.BranchNullable();
    // A group that can match the empty text through an empty branch is an
    // optional piece of its own.
    if (group.nullable) group.size.optionalPieces = Add(group.size.optionalPieces, 1);
    levels.pop_back();
    atom(group);
  };
  auto alternative = [&levels]() {
    Level& level = levels.back();
    level.earlierBranchNullable = level.earlierBranchNullable || level.BranchNullable();
    level.total = level.Size();
    level.haveAtom = false;
    level.prefixNullable = true;
  };
  const Repetition kOptional = {1, 1, true};    // "x?" and "x*"
  // "x+" is "xx*"; that "*" costs like an optional piece only when x can
  // match the empty text, and then every copy counts.
  const Repetition kOneOrMore = {2, 0, false};

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
  return levels.back().Size();
}
