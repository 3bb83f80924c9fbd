// Differential fuzzing of the program's own regular-expression matcher
// against the C library's regexec (REG_EXTENDED, 12 positions, no flags).
// The input drives a generator: an expression drawn from the grammar of
// format files (bracket expressions with classes, negation and the nick and
// user@host macros, groups, alternation, "?", "*", "+", intervals, anchors,
// ".", literal bytes from control bytes to 0x80-0xFF; "^" and "$" often at
// the ends of branches inside groups) and lines that match
// it or nearly do. With the first byte odd, the rest of the input is taken
// raw instead: an expression, a zero byte, and lines separated by newlines.
// Any difference in match, no match or a single position is a finding.

#include <regex.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "logformat/pattern_size.h"
#include "regex/regex_matcher.h"

namespace {

// Choices taken from the fuzz input; zeros once it runs out.
struct Choices {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  unsigned Next(unsigned limit) {
    if (limit <= 1) return 0;
    unsigned value = at < size ? data[at++] : 0;
    return value % limit;
  }
};

struct Gen {
  Choices* in;
  std::string pattern;
};

// A fragment of the expression together with how to draw text it matches.
struct Piece {
  enum Kind { kLiteral, kSet, kGroup, kAlt, kConcat, kRepeat, kStart, kEnd } kind;
  std::vector<uint8_t> members;  // kLiteral: the byte; kSet: the bytes it takes
  std::vector<Piece> children;
  int minCount = 0, maxCount = 0;
};

const char kLiteralPalette[] = "abcx <>@!:*[]()-.0123456789\t";
const char kSpecials[] = ".[]()|*+?{}\\^$";

uint8_t PaletteByte(Choices& c) {
  switch (c.Next(6)) {
    case 0: return static_cast<uint8_t>(0x80 + c.Next(128));
    case 1: return static_cast<uint8_t>(1 + c.Next(31));
    default: return static_cast<uint8_t>(kLiteralPalette[c.Next(sizeof kLiteralPalette - 1)]);
  }
}

void AddClass(std::vector<bool>& in, const char* name) {
  for (int b = 1; b < 128; ++b) {
    bool take = false;
    if (!strcmp(name, "alpha")) take = isalpha(b);
    if (!strcmp(name, "digit")) take = isdigit(b);
    if (!strcmp(name, "space")) take = isspace(b);
    if (!strcmp(name, "cntrl")) take = iscntrl(b);
    if (!strcmp(name, "upper")) take = isupper(b);
    if (!strcmp(name, "punct")) take = ispunct(b);
    if (!strcmp(name, "alnum")) take = isalnum(b);
    if (!strcmp(name, "xdigit")) take = isxdigit(b);
    if (take) in[static_cast<size_t>(b)] = true;
  }
}

// A bracket expression: its text, and the bytes it takes into `piece`.
void GenBracket(Gen& g, Piece& piece) {
  Choices& c = *g.in;
  std::vector<bool> in(256, false);
  // Plain, negated, or the expansion of the nick or user@host macro, which
  // is itself the body of a negated set.
  unsigned opening = c.Next(6);
  bool negated = opening >= 3;
  std::string text = negated ? "[^" : "[";
  if (opening >= 4) {
    const char* expansion = opening == 4 ? " @<>!:*" : " :!*";
    text += expansion;
    for (const char* ch = expansion; *ch != '\0'; ++ch) in[static_cast<uint8_t>(*ch)] = true;
  }
  int items = 1 + static_cast<int>(c.Next(4));
  static const char* const kClasses[] = {"alpha", "digit", "space", "cntrl",
                                         "upper", "punct", "alnum", "xdigit"};
  for (int i = 0; i < items; ++i) {
    switch (c.Next(6)) {
      case 0: {
        const char* name = kClasses[c.Next(8)];
        text += std::string("[:") + name + ":]";
        AddClass(in, name);
        break;
      }
      case 1:
      case 2: {
        uint8_t low = static_cast<uint8_t>("a0A!"[c.Next(4)]);
        uint8_t high = static_cast<uint8_t>(low + c.Next(20));
        text += static_cast<char>(low);
        text += '-';
        text += static_cast<char>(high);
        for (int b = low; b <= high; ++b) in[static_cast<size_t>(b)] = true;
        break;
      }
      default: {
        uint8_t b = PaletteByte(c);
        if (b == '[' || b == ']' || b == '-' || b == '^') b = 'q';
        text += static_cast<char>(b);
        in[b] = true;
      }
    }
  }
  if (c.Next(4) == 0) {  // "]" first, "-" last
    text.insert(negated ? 2 : 1, "]");
    in[']'] = true;
  }
  if (c.Next(4) == 0) {
    text += '-';
    in['-'] = true;
  }
  text += ']';
  g.pattern += text;
  piece.kind = Piece::kSet;
  for (int b = 1; b < 256; ++b) {
    if (in[static_cast<size_t>(b)] != negated) piece.members.push_back(static_cast<uint8_t>(b));
  }
  if (piece.members.empty()) piece.members.push_back('a');
}

Piece GenAlternation(Gen& g, int depth);

Piece GenAtom(Gen& g, int depth) {
  Choices& c = *g.in;
  Piece piece;
  unsigned what = c.Next(depth > 3 ? 6 : 9);
  if (what <= 2) {
    uint8_t b = PaletteByte(c);
    if (strchr(kSpecials, b) != nullptr) g.pattern += '\\';
    g.pattern += static_cast<char>(b);
    piece.kind = Piece::kLiteral;
    piece.members.push_back(b);
  } else if (what == 3) {
    g.pattern += '.';
    piece.kind = Piece::kSet;
    for (int b = 1; b < 256; ++b) piece.members.push_back(static_cast<uint8_t>(b));
  } else if (what == 4) {
    GenBracket(g, piece);
  } else if (what == 5) {
    bool start = c.Next(2) == 0;
    g.pattern += start ? '^' : '$';
    piece.kind = start ? Piece::kStart : Piece::kEnd;
  } else {
    g.pattern += '(';
    piece.kind = Piece::kGroup;
    piece.children.push_back(GenAlternation(g, depth + 1));
    g.pattern += ')';
  }
  return piece;
}

Piece GenRepeat(Gen& g, int depth) {
  Choices& c = *g.in;
  Piece atom = GenAtom(g, depth);
  unsigned op = c.Next(10);
  if (op >= 5 || atom.kind == Piece::kStart || atom.kind == Piece::kEnd) return atom;
  Piece repeat;
  repeat.kind = Piece::kRepeat;
  static const int kMin[] = {0, 1, 0}, kMax[] = {-1, -1, 1};
  if (op < 3) {
    g.pattern += "*+?"[op];
    repeat.minCount = kMin[op];
    repeat.maxCount = kMax[op];
  } else {
    repeat.minCount = static_cast<int>(c.Next(3));
    repeat.maxCount = op == 3 ? repeat.minCount + static_cast<int>(c.Next(3)) : -1;
    if (repeat.maxCount == 0) repeat.maxCount = 1;
    g.pattern += "{" + std::to_string(repeat.minCount);
    if (repeat.maxCount != repeat.minCount) {
      g.pattern += ",";
      if (repeat.maxCount >= 0) g.pattern += std::to_string(repeat.maxCount);
    }
    g.pattern += "}";
  }
  repeat.children.push_back(std::move(atom));
  return repeat;
}

Piece GenAlternation(Gen& g, int depth) {
  Choices& c = *g.in;
  Piece alt;
  alt.kind = Piece::kAlt;
  int branches = c.Next(4) == 0 ? 2 + static_cast<int>(c.Next(2)) : 1;
  for (int b = 0; b < branches; ++b) {
    if (b > 0) g.pattern += '|';
    Piece concat;
    concat.kind = Piece::kConcat;
    // Inside groups and between branches, anchors begin and end branches
    // often: where they stand decides which way the C library reports.
    bool inner = depth > 0 || branches > 1;
    if (inner && c.Next(3) == 0) {
      g.pattern += '^';
      concat.children.push_back(Piece{Piece::kStart, {}, {}, 0, 0});
    }
    int length = 1 + static_cast<int>(c.Next(depth == 0 ? 7 : 4));
    for (int i = 0; i < length; ++i) concat.children.push_back(GenRepeat(g, depth));
    if (inner && c.Next(3) == 0) {
      g.pattern += '$';
      concat.children.push_back(Piece{Piece::kEnd, {}, {}, 0, 0});
    }
    alt.children.push_back(std::move(concat));
  }
  return alt;
}

// Draws a text that the piece matches (anchors aside).
void Draw(const Piece& piece, Choices& c, std::string& out) {
  switch (piece.kind) {
    case Piece::kLiteral:
    case Piece::kSet:
      out += static_cast<char>(piece.members[c.Next(static_cast<unsigned>(piece.members.size()))]);
      break;
    case Piece::kGroup:
    case Piece::kConcat:
      for (const Piece& child : piece.children) Draw(child, c, out);
      break;
    case Piece::kAlt:
      Draw(piece.children[c.Next(static_cast<unsigned>(piece.children.size()))], c, out);
      break;
    case Piece::kRepeat: {
      int most = piece.maxCount < 0 ? piece.minCount + 3 : piece.maxCount;
      int count = piece.minCount + static_cast<int>(c.Next(static_cast<unsigned>(most - piece.minCount + 1)));
      for (int i = 0; i < count; ++i) Draw(piece.children[0], c, out);
      break;
    }
    case Piece::kStart:
    case Piece::kEnd:
      break;
  }
}

// A line near a match: drawn from the expression, then maybe changed.
std::string NearLine(const Piece& root, Choices& c) {
  std::string line;
  if (c.Next(3) == 0) Draw(root, c, line);  // something before the match
  Draw(root, c, line);
  int changes = static_cast<int>(c.Next(4)) - 1;
  for (int i = 0; i < changes && !line.empty(); ++i) {
    size_t at = c.Next(static_cast<unsigned>(line.size()));
    switch (c.Next(3)) {
      case 0: line.erase(at, 1); break;
      case 1: line.insert(at, 1, static_cast<char>(PaletteByte(c))); break;
      default: line[at] = static_cast<char>(PaletteByte(c));
    }
  }
  if (c.Next(3) == 0) line += static_cast<char>(PaletteByte(c));
  return line;
}

// Compares every position, or only the whole match's for a matcher
// compiled for the span alone.
void Compare(RegexMatcher& ours, const std::string& pattern, const std::string& line) {
  regmatch_t expected[kRegexPositions], got[kRegexPositions];
  const char* text = line.c_str();
  size_t length = strlen(text);
  // A fresh compilation for every line: the C library's cache of states
  // carries what an anchor inside the expression saw next to a newline of
  // one line over to the next lines, so its answers would depend on the
  // lines matched before.
  regex_t re;
  if (regcomp(&re, pattern.c_str(), REG_EXTENDED) != 0) {
    fprintf(stderr, "expression \"%s\"\n", pattern.c_str());
    fuzz_support::Finding("the matcher takes an expression that regcomp refuses");
  }
  bool theirs = regexec(&re, text, kRegexPositions, expected, 0) == 0;
  regfree(&re);
  RegexOutcome outcome = RunRegexMatcher(ours, text, length, got);
  if (outcome == RegexOutcome::kUndecided) return;
  bool same = theirs == (outcome == RegexOutcome::kMatch);
  for (int i = 0; same && theirs && i < ours.positions; ++i) {
    same = expected[i].rm_so == got[i].rm_so && expected[i].rm_eo == got[i].rm_eo;
  }
  if (same) return;
  fprintf(stderr, "expression \"%s\" line \"%s\"\nexpression bytes", pattern.c_str(), text);
  for (unsigned char byte : pattern) fprintf(stderr, " %02x", byte);
  fprintf(stderr, "\nline bytes");
  for (unsigned char byte : line) fprintf(stderr, " %02x", byte);
  fprintf(stderr, "\n");
  fprintf(stderr, "regexec %s:", theirs ? "match" : "no match");
  for (int i = 0; theirs && i < kRegexPositions; ++i) {
    fprintf(stderr, " (%d,%d)", static_cast<int>(expected[i].rm_so), static_cast<int>(expected[i].rm_eo));
  }
  fprintf(stderr, "\nours %s:", outcome == RegexOutcome::kMatch ? "match" : "no match");
  for (int i = 0; outcome == RegexOutcome::kMatch && i < kRegexPositions; ++i) {
    fprintf(stderr, " (%d,%d)", static_cast<int>(got[i].rm_so), static_cast<int>(got[i].rm_eo));
  }
  fprintf(stderr, "\n");
  fuzz_support::Finding("the matcher differs from regexec");
}

void Check(const std::string& pattern, const std::vector<std::string>& lines) {
  if (PatternTooLarge(pattern, PatternSyntax::kExtended)) return;
  // An expression the matcher refuses for its parts may still be taken for
  // the span alone.
  std::unique_ptr<RegexMatcher> ours = CompileRegexMatcher(pattern);
  if (ours == nullptr) ours = CompileRegexMatcher(pattern, 1);
  if (ours == nullptr) return;
  for (const std::string& line : lines) Compare(*ours, pattern, line);
  // Once more with the backward scan for the leftmost start taking over at
  // once, as it does on long lines.
  if (ours->reverseFinder == nullptr) return;
  ours->finder.searchBudget = 0;
  for (const std::string& line : lines) Compare(*ours, pattern, line);
}

void RawInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t zero = input.find('\0');
  if (zero == std::string::npos) return;
  std::string pattern = input.substr(0, zero);
  std::vector<std::string> lines;
  size_t start = zero + 1;
  while (start <= input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    lines.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  Check(pattern, lines);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    RawInput(data + 1, size - 1);
    return 0;
  }
  Choices choices{data + 1, size - 1};
  Gen g{&choices, ""};
  Piece root = GenAlternation(g, 0);
  if (choices.Next(3) == 0) g.pattern.insert(0, "^");
  if (choices.Next(3) == 0) g.pattern += '$';
  std::vector<std::string> lines{""};
  for (int i = 0; i < 6; ++i) lines.push_back(NearLine(root, choices));
  Check(g.pattern, lines);
  return 0;
}
