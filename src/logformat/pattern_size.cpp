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

// One level of parentheses: the size so far and the size of its last atom,
// which a following repetition applies to.
struct Level {
  uint64_t total = 0;
  uint64_t lastAtom = 0;
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
bool ReadInterval(std::string_view p, size_t at, PatternSyntax syntax, uint64_t& copies,
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
  uint64_t most = !comma ? low : haveHigh ? high : low + 1;
  copies = most > low ? most : low;
  if (copies == 0) copies = 1;
  return true;
}

}  // namespace

uint64_t EstimatePatternSize(std::string_view p, PatternSyntax syntax) {
  const bool extended = syntax == PatternSyntax::kExtended;
  std::vector<Level> levels(1);
  auto atom = [&levels](uint64_t size) {
    Level& level = levels.back();
    level.total = Add(level.total, size);
    level.lastAtom = size;
  };
  auto repeat = [&levels, &atom](uint64_t copies) {
    Level& level = levels.back();
    if (level.lastAtom == 0) {
      atom(1);  // nothing to repeat: the operator stands for itself
      return;
    }
    uint64_t repeated = Multiply(level.lastAtom, copies);
    level.total = Add(level.total - level.lastAtom, repeated);
    level.lastAtom = repeated;
  };
  auto open = [&levels]() { levels.emplace_back(); };
  auto close = [&levels, &atom]() {
    if (levels.size() == 1) {
      atom(1);  // an unmatched closing parenthesis
      return;
    }
    uint64_t group = Add(levels.back().total, 1);
    levels.pop_back();
    atom(group);
  };
  auto alternative = [&levels]() { levels.back().lastAtom = 0; };

  size_t i = 0;
  while (i < p.size()) {
    char c = p[i];
    if (c == '[') {
      i = SkipBracket(p, i);
      atom(1);
      continue;
    }
    if (c == '\\' && i + 1 < p.size()) {
      char next = p[i + 1];
      i += 2;
      if (extended) {
        atom(1);  // an escaped character or a backreference
      } else if (next == '(') {
        open();
      } else if (next == ')') {
        close();
      } else if (next == '|') {
        alternative();
      } else if (next == '+') {
        repeat(2);
      } else if (next == '?') {
        repeat(1);
      } else if (next == '{') {
        uint64_t copies = 1;
        size_t end = i;
        if (ReadInterval(p, i, syntax, copies, end)) {
          repeat(copies);
          i = end;
        } else {
          atom(1);
        }
      } else {
        atom(1);
      }
      continue;
    }
    ++i;
    if (c == '*') {
      repeat(1);
    } else if (extended && c == '+') {
      repeat(2);
    } else if (extended && c == '?') {
      repeat(1);
    } else if (extended && c == '{') {
      uint64_t copies = 1;
      size_t end = i;
      if (ReadInterval(p, i, syntax, copies, end)) {
        repeat(copies);
        i = end;
      } else {
        atom(1);
      }
    } else if (extended && c == '(') {
      open();
    } else if (extended && c == ')') {
      close();
    } else if (extended && c == '|') {
      alternative();
    } else {
      atom(1);
    }
  }
  while (levels.size() > 1) close();  // unclosed groups: the compiler refuses them anyway
  return levels.back().total;
}
