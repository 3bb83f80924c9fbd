#include "regex/regex_tree.h"

#include <cstring>

namespace {

// The position in the expression being read; `refused` is set by the first
// construct that is not taken, and everything after it is skipped.
struct RegexReading {
  std::string_view text;
  size_t at = 0;
  bool refused = false;
  RegexTree* tree = nullptr;
};

bool AtEnd(const RegexReading& r) { return r.at >= r.text.size(); }
char Peek(const RegexReading& r) { return AtEnd(r) ? '\0' : r.text[r.at]; }

int Refuse(RegexReading& r) {
  r.refused = true;
  return -1;
}

int AddNode(RegexReading& r, RegexNode node) {
  r.tree->nodes.push_back(std::move(node));
  return static_cast<int>(r.tree->nodes.size() - 1);
}

int AddBytes(RegexReading& r, const std::bitset<256>& bytes) {
  RegexNode node;
  node.kind = RegexNodeKind::kBytes;
  node.bytes = bytes;
  return AddNode(r, std::move(node));
}

// The byte sets of the character classes in the "C" locale.
bool ClassBytes(std::string_view name, std::bitset<256>& into) {
  static const char* const kNames[] = {"alpha", "upper", "lower", "digit", "xdigit", "alnum",
                                       "space", "blank", "punct", "print", "graph", "cntrl"};
  int which = -1;
  for (int i = 0; i < 12; ++i) {
    if (name == kNames[i]) which = i;
  }
  if (which < 0) return false;
  for (int c = 0; c < 128; ++c) {
    bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z';
    bool digit = c >= '0' && c <= '9';
    bool graph = c > 32 && c < 127;
    bool in[12] = {upper || lower,
                   upper,
                   lower,
                   digit,
                   digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'),
                   upper || lower || digit,
                   c == ' ' || (c >= '\t' && c <= '\r'),
                   c == ' ' || c == '\t',
                   graph && !(upper || lower || digit),
                   graph || c == ' ',
                   graph,
                   c < 32 || c == 127};
    if (in[which]) into.set(static_cast<size_t>(c));
  }
  return true;
}

// Reads "[:name:]" at the reading position (just after "[:") into `into`.
bool ReadClass(RegexReading& r, std::bitset<256>& into) {
  size_t close = r.text.find(":]", r.at);
  if (close == std::string_view::npos) return false;
  if (!ClassBytes(r.text.substr(r.at, close - r.at), into)) return false;
  r.at = close + 2;
  return true;
}

// One plain member of a bracket expression: a byte that starts no class,
// collating element or equivalence class.
bool ReadBracketByte(RegexReading& r, unsigned char& byte) {
  if (AtEnd(r)) return false;
  if (Peek(r) == '[' && r.at + 1 < r.text.size() && strchr(".=:", r.text[r.at + 1]) != nullptr) {
    return false;
  }
  byte = static_cast<unsigned char>(r.text[r.at++]);
  return true;
}

// Reads a bracket expression; the reading position is just after "[".
int ReadBracket(RegexReading& r) {
  std::bitset<256> bytes;
  bool negated = Peek(r) == '^';
  if (negated) ++r.at;
  bool first = true;
  for (;;) {
    if (AtEnd(r)) return Refuse(r);
    char c = Peek(r);
    if (c == ']' && !first) {
      ++r.at;
      break;
    }
    if (c == '[' && r.at + 1 < r.text.size() && r.text[r.at + 1] == ':') {
      r.at += 2;
      if (!ReadClass(r, bytes)) return Refuse(r);
      first = false;
      continue;
    }
    bool lastDash = c == '-' && r.at + 1 < r.text.size() && r.text[r.at + 1] == ']';
    if (c == '-' && !first && !lastDash) return Refuse(r);  // a dash that could start a range
    unsigned char low;
    if (!ReadBracketByte(r, low)) return Refuse(r);
    first = false;
    bool range = Peek(r) == '-' && r.at + 1 < r.text.size() && r.text[r.at + 1] != ']';
    if (!range) {
      bytes.set(low);
      continue;
    }
    ++r.at;
    unsigned char high;
    if (Peek(r) == '-' || !ReadBracketByte(r, high)) return Refuse(r);
    if (low == '-' || low > 127 || high > 127 || high < low) return Refuse(r);
    for (int b = low; b <= high; ++b) bytes.set(static_cast<size_t>(b));
  }
  if (negated) bytes.flip();
  bytes.reset(0);  // the text ends at a zero byte, which therefore never matches
  if (bytes.none()) return Refuse(r);
  return AddBytes(r, bytes);
}

int ReadAlternation(RegexReading& r, int depth);

int ReadGroup(RegexReading& r, int depth) {
  RegexNode group;
  group.kind = RegexNodeKind::kGroup;
  group.group = ++r.tree->groupCount;
  int body = ReadAlternation(r, depth + 1);
  if (r.refused) return -1;
  if (Peek(r) != ')') return Refuse(r);
  ++r.at;
  group.children.push_back(body);
  return AddNode(r, std::move(group));
}

int ReadEscape(RegexReading& r) {
  if (AtEnd(r)) return Refuse(r);
  char c = r.text[r.at++];
  if (strchr(".[]()|*+?{}\\^$", c) == nullptr) return Refuse(r);
  std::bitset<256> bytes;
  bytes.set(static_cast<unsigned char>(c));
  return AddBytes(r, bytes);
}

int ReadAtom(RegexReading& r, int depth) {
  char c = r.text[r.at++];
  switch (c) {
    case '(':
      return ReadGroup(r, depth);
    case '[':
      return ReadBracket(r);
    case '\\':
      return ReadEscape(r);
    case '^':
    case '$': {
      RegexNode anchor;
      anchor.kind = c == '^' ? RegexNodeKind::kLineStart : RegexNodeKind::kLineEnd;
      return AddNode(r, std::move(anchor));
    }
    case '.': {
      std::bitset<256> bytes;
      bytes.set();
      bytes.reset(0);
      return AddBytes(r, bytes);
    }
    case '*':
    case '+':
    case '?':
    case '{':
    case '}':
    case ']':
      return Refuse(r);
    default: {
      std::bitset<256> bytes;
      bytes.set(static_cast<unsigned char>(c));
      return AddBytes(r, bytes);
    }
  }
}

// Reads a decimal count of at most kRegexMaxCount; -1 when there is none.
int ReadCount(RegexReading& r) {
  int value = -1;
  while (!AtEnd(r) && Peek(r) >= '0' && Peek(r) <= '9') {
    value = (value < 0 ? 0 : value) * 10 + (Peek(r) - '0');
    if (value > kRegexMaxCount) return -2;
    ++r.at;
  }
  return value;
}

// Reads "{m}", "{m,}" or "{m,n}"; the reading position is just after "{".
bool ReadInterval(RegexReading& r, int& minCount, int& maxCount) {
  minCount = ReadCount(r);
  if (minCount < 0) return false;
  maxCount = minCount;
  if (Peek(r) == ',') {
    ++r.at;
    maxCount = ReadCount(r);
    if (maxCount == -2 || (maxCount >= 0 && maxCount < minCount)) return false;
  }
  if (Peek(r) != '}') return false;
  ++r.at;
  return maxCount != 0;
}

// Applies the repetition operators that follow an atom.
int ReadRepetitions(RegexReading& r, int atom) {
  while (!AtEnd(r) && strchr("*+?{", Peek(r)) != nullptr) {
    RegexNode repeat;
    repeat.kind = RegexNodeKind::kRepeat;
    char op = r.text[r.at++];
    repeat.minCount = op == '+' ? 1 : 0;
    repeat.maxCount = op == '?' ? 1 : -1;
    if (op == '{' && !ReadInterval(r, repeat.minCount, repeat.maxCount)) return Refuse(r);
    RegexNodeKind kind = r.tree->nodes[static_cast<size_t>(atom)].kind;
    if (kind == RegexNodeKind::kLineStart || kind == RegexNodeKind::kLineEnd) return Refuse(r);
    // A repeated or optional piece that can match the empty text is where
    // the C library's choices of parts follow rules of their own.
    if (RegexNodeNullable(*r.tree, atom)) return Refuse(r);
    repeat.children.push_back(atom);
    atom = AddNode(r, std::move(repeat));
  }
  return atom;
}

int ReadBranch(RegexReading& r, int depth) {
  RegexNode concat;
  concat.kind = RegexNodeKind::kConcat;
  while (!AtEnd(r) && Peek(r) != '|' && Peek(r) != ')') {
    int atom = ReadAtom(r, depth);
    if (r.refused) return -1;
    atom = ReadRepetitions(r, atom);
    if (r.refused) return -1;
    concat.children.push_back(atom);
  }
  if (concat.children.empty()) return Refuse(r);
  if (concat.children.size() == 1) return concat.children[0];
  return AddNode(r, std::move(concat));
}

int ReadAlternation(RegexReading& r, int depth) {
  if (depth > kRegexMaxDepth) return Refuse(r);
  RegexNode alternation;
  alternation.kind = RegexNodeKind::kAlternation;
  for (;;) {
    int branch = ReadBranch(r, depth);
    if (r.refused) return -1;
    alternation.children.push_back(branch);
    if (Peek(r) != '|') break;
    ++r.at;
  }
  if (alternation.children.size() == 1) return alternation.children[0];
  return AddNode(r, std::move(alternation));
}

bool HoldsAnchor(const RegexTree& tree, int node) {
  const RegexNode& n = tree.nodes[static_cast<size_t>(node)];
  if (n.kind == RegexNodeKind::kLineStart || n.kind == RegexNodeKind::kLineEnd) return true;
  for (int child : n.children) {
    if (HoldsAnchor(tree, child)) return true;
  }
  return false;
}

// Whether an anchor stands inside a repeated or optional piece, where the
// C library's choices of parts follow rules of their own.
bool AnchorRepeated(const RegexTree& tree) {
  for (const RegexNode& node : tree.nodes) {
    if (node.kind == RegexNodeKind::kRepeat && HoldsAnchor(tree, node.children[0])) return true;
  }
  return false;
}

}  // namespace

bool RegexNodeNullable(const RegexTree& tree, int node) {
  const RegexNode& n = tree.nodes[static_cast<size_t>(node)];
  switch (n.kind) {
    case RegexNodeKind::kBytes:
      return false;
    case RegexNodeKind::kLineStart:
    case RegexNodeKind::kLineEnd:
      return true;
    case RegexNodeKind::kConcat:
      for (int child : n.children) {
        if (!RegexNodeNullable(tree, child)) return false;
      }
      return true;
    case RegexNodeKind::kAlternation:
      for (int child : n.children) {
        if (RegexNodeNullable(tree, child)) return true;
      }
      return false;
    case RegexNodeKind::kRepeat:
      return n.minCount == 0 || RegexNodeNullable(tree, n.children[0]);
    case RegexNodeKind::kGroup:
      return RegexNodeNullable(tree, n.children[0]);
  }
  return true;
}

bool ParseRegex(std::string_view pattern, RegexTree& tree) {
  tree = RegexTree();
  RegexReading reading;
  reading.text = pattern;
  reading.tree = &tree;
  if (pattern.empty()) return false;
  tree.root = ReadAlternation(reading, 0);
  // A ")" without its "(" is an ordinary character to the C library.
  return !reading.refused && AtEnd(reading) && !AnchorRepeated(tree);
}
