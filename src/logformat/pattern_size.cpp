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

// Reads the decimal bound at `i` and moves past it; large bounds are held
// at a ceiling, far above any the size limits let through. Returns false
// when there are no digits.
bool ReadBound(std::string_view p, size_t& i, uint64_t& value) {
  size_t start = i;
  value = 0;
  while (i < p.size() && p[i] >= '0' && p[i] <= '9') {
    if (value < 1000000) value = value * 10 + static_cast<uint64_t>(p[i] - '0');
    ++i;
  }
  return i > start;
}

// Reads the interval that starts at `at`, just after "{" (or "\{"): "m",
// "m,", "m,n" or ",n", then the closing "}" (or "\}"). Returns false when
// there is no well-formed interval there.
bool ReadInterval(std::string_view p, size_t at, PatternSyntax syntax, Repetition& repetition,
                  size_t& end) {
  size_t i = at;
  uint64_t low = 0, high = 0;
  bool haveLow = ReadBound(p, i, low);
  bool comma = i < p.size() && p[i] == ',';
  bool haveHigh = false;
  if (comma) {
    ++i;
    haveHigh = ReadBound(p, i, high);
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

// What one token of the expression does to the size being built.
enum class Step { kSingle, kOpen, kClose, kAlternative, kOptional, kOneOrMore, kInterval };

// The token after a backslash. In extended syntax every escape stands for
// one character or a backreference; in basic syntax the escaped forms are
// the operators.
Step EscapedStep(char next, bool extended) {
  if (extended) return Step::kSingle;
  switch (next) {
    case '(': return Step::kOpen;
    case ')': return Step::kClose;
    case '|': return Step::kAlternative;
    case '+': return Step::kOneOrMore;
    case '?': return Step::kOptional;
    case '{': return Step::kInterval;
    default: return Step::kSingle;
  }
}

// An unescaped character: "*" repeats in both syntaxes, the other operators
// only in extended syntax.
Step PlainStep(char c, bool extended) {
  if (c == '*') return Step::kOptional;
  if (!extended) return Step::kSingle;
  switch (c) {
    case '+': return Step::kOneOrMore;
    case '?': return Step::kOptional;
    case '{': return Step::kInterval;
    case '(': return Step::kOpen;
    case ')': return Step::kClose;
    case '|': return Step::kAlternative;
    default: return Step::kSingle;
  }
}

// The expression read so far: one level per open group, the outermost first.
struct SizeScan {
  std::string_view pattern;
  PatternSyntax syntax;
  std::vector<Level> levels = std::vector<Level>(1);
};

// Ends the current atom of the innermost level and makes `piece` the next.
void AddAtom(SizeScan& scan, const Piece& piece) {
  Level& level = scan.levels.back();
  if (level.haveAtom) {
    level.total = Sum(level.total, level.lastAtom.size);
    level.prefixNullable = level.prefixNullable && level.lastAtom.nullable;
  }
  level.lastAtom = piece;
  level.haveAtom = true;
}

// One character, a bracket expression or an operator that stands for itself.
void AddSingle(SizeScan& scan) { AddAtom(scan, Piece{{1, 0, 0}, false}); }

void ApplyRepetition(SizeScan& scan, const Repetition& repetition) {
  Level& level = scan.levels.back();
  if (!level.haveAtom) {
    AddSingle(scan);  // nothing to repeat: the operator stands for itself
    return;
  }
  level.lastAtom = Repeat(level.lastAtom, repetition);
}

// The interval after "{" at `at`; returns the position after what it took.
// A malformed interval leaves the "{" a character of its own.
size_t ApplyInterval(SizeScan& scan, size_t at) {
  Repetition repetition;
  size_t end = at;
  if (!ReadInterval(scan.pattern, at, scan.syntax, repetition, end)) {
    AddSingle(scan);
    return at;
  }
  ApplyRepetition(scan, repetition);
  return end;
}

void CloseGroup(SizeScan& scan) {
  if (scan.levels.size() == 1) {
    AddSingle(scan);  // an unmatched closing parenthesis
    return;
  }
  const Level& inner = scan.levels.back();
  Piece group;
  group.size = inner.Size();
  group.size.pieces = Add(group.size.pieces, 1);
  group.nullable = inner.earlierBranchNullable || inner.BranchNullable();
  // A group that can match the empty text through an empty branch is an
  // optional piece of its own.
  if (group.nullable) group.size.optionalPieces = Add(group.size.optionalPieces, 1);
  scan.levels.pop_back();
  AddAtom(scan, group);
}

void StartAlternative(SizeScan& scan) {
  Level& level = scan.levels.back();
  level.earlierBranchNullable = level.earlierBranchNullable || level.BranchNullable();
  level.total = level.Size();
  level.haveAtom = false;
  level.prefixNullable = true;
}

// Takes one step; `next` is the position after its token, and moves past
// an interval's bounds.
void TakeStep(SizeScan& scan, Step step, size_t& next) {
  constexpr Repetition kOptional = {1, 1, true};  // "x?" and "x*"
  // "x+" is "xx*"; that "*" costs like an optional piece only when x can
  // match the empty text, and then every copy counts.
  constexpr Repetition kOneOrMore = {2, 0, false};
  switch (step) {
    case Step::kSingle: AddSingle(scan); break;
    case Step::kOpen: scan.levels.emplace_back(); break;
    case Step::kClose: CloseGroup(scan); break;
    case Step::kAlternative: StartAlternative(scan); break;
    case Step::kOptional: ApplyRepetition(scan, kOptional); break;
    case Step::kOneOrMore: ApplyRepetition(scan, kOneOrMore); break;
    case Step::kInterval: next = ApplyInterval(scan, next); break;
  }
}

}  // namespace

PatternSize EstimatePatternSize(std::string_view p, PatternSyntax syntax) {
  const bool extended = syntax == PatternSyntax::kExtended;
  SizeScan scan{p, syntax};
  size_t i = 0;
  while (i < p.size()) {
    Step step;
    if (p[i] == '[') {
      i = SkipBracket(p, i);
      step = Step::kSingle;
    } else if (p[i] == '\\' && i + 1 < p.size()) {
      step = EscapedStep(p[i + 1], extended);
      i += 2;
    } else {
      step = PlainStep(p[i], extended);
      ++i;
    }
    TakeStep(scan, step, i);
  }
  while (scan.levels.size() > 1) CloseGroup(scan);  // unclosed groups: the compiler refuses them
  return scan.levels.back().Size();
}
