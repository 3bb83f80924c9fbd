#include "regex/regex_program.h"

#include <algorithm>
#include <map>
#include <utility>

namespace {

// A piece of program under construction: where it begins and the links
// that still have to be pointed at whatever follows it.
struct Fragment {
  int start = -1;
  std::vector<std::pair<int, bool>> exits;  // step, and whether its `other` link is open
};

struct ProgramBuilding {
  const RegexTree* tree = nullptr;
  RegexProgram* program = nullptr;
  bool tooLarge = false;
  std::map<std::string, uint16_t> setIndex;  // byte set (as text of bits) to its index
};

int AddStep(ProgramBuilding& b, RegexStep step) {
  if (b.program->steps.size() >= static_cast<size_t>(kRegexMaxSteps)) {
    b.tooLarge = true;
    return 0;
  }
  b.program->steps.push_back(step);
  return static_cast<int>(b.program->steps.size() - 1);
}

void Link(ProgramBuilding& b, const Fragment& from, int to) {
  if (b.tooLarge) return;
  for (const auto& [step, other] : from.exits) {
    RegexStep& s = b.program->steps[static_cast<size_t>(step)];
    (other ? s.other : s.next) = to;
  }
}

Fragment Single(ProgramBuilding& b, RegexStep step) {
  Fragment f;
  f.start = AddStep(b, step);
  f.exits.push_back({f.start, false});
  return f;
}

uint16_t ByteSetIndex(ProgramBuilding& b, const std::bitset<256>& bytes) {
  std::string key = bytes.to_string();
  auto found = b.setIndex.find(key);
  if (found != b.setIndex.end()) return found->second;
  uint16_t index = static_cast<uint16_t>(b.program->byteSets.size());
  b.program->byteSets.push_back(bytes);
  b.setIndex.emplace(std::move(key), index);
  return index;
}

Fragment Compile(ProgramBuilding& b, int node, int optionalGroup);

Fragment Sequence(ProgramBuilding& b, const Fragment& first, const Fragment& second) {
  Link(b, first, second.start);
  Fragment f;
  f.start = first.start;
  f.exits = second.exits;
  return f;
}

// "x?" style choice: take the fragment, or else skip it.
Fragment Optional(ProgramBuilding& b, const Fragment& body) {
  RegexStep split;
  split.kind = RegexStepKind::kSplit;
  split.next = body.start;
  Fragment f;
  f.start = AddStep(b, split);
  f.exits = body.exits;
  f.exits.push_back({f.start, true});
  return f;
}

// Copies beyond the minimum count are the optional ones; the C library
// marks a group repeated there (see kClose's optionalGroup).
Fragment CompileRepeat(ProgramBuilding& b, const RegexNode& n) {
  int child = n.children[0];
  const RegexNode& c = b.tree->nodes[static_cast<size_t>(child)];
  int mark = c.kind == RegexNodeKind::kGroup ? c.group : 0;
  Fragment mandatory;
  for (int i = 0; i < n.minCount && !b.tooLarge; ++i) {
    Fragment copy = Compile(b, child, 0);
    mandatory = mandatory.start < 0 ? copy : Sequence(b, mandatory, copy);
  }
  Fragment rest;
  if (n.maxCount < 0) {
    Fragment body = Compile(b, child, mark);
    rest = Optional(b, body);
    Link(b, body, rest.start);
    rest.exits = {{rest.start, true}};
  } else {
    // Left-nested choices, as the C library builds them: "x{0,3}" is
    // "((x?x)?x)?", so the number of further copies is chosen, most first,
    // before any copy's own choices are made.
    for (int i = n.maxCount - n.minCount; i > 0 && !b.tooLarge; --i) {
      Fragment copy = Compile(b, child, mark);
      rest = Optional(b, rest.start < 0 ? copy : Sequence(b, rest, copy));
    }
  }
  if (mandatory.start < 0) return rest;
  if (rest.start < 0) return mandatory;
  return Sequence(b, mandatory, rest);
}

Fragment CompileGroup(ProgramBuilding& b, const RegexNode& n, int optionalGroup) {
  int body = n.children[0];
  const RegexNode& inner = b.tree->nodes[static_cast<size_t>(body)];
  // "((x))": the C library merges the inner subexpression into the outer.
  if (inner.kind == RegexNodeKind::kGroup) {
    if (inner.group < kRegexPositions) {
      b.program->sameAs[inner.group] = n.group;
      b.program->mergedGroups = true;
    }
    body = inner.children[0];
  }
  if (n.group >= kRegexPositions) return Compile(b, body, optionalGroup);
  RegexStep open;
  open.kind = RegexStepKind::kOpen;
  open.group = n.group;
  RegexStep close;
  close.kind = RegexStepKind::kClose;
  close.group = n.group;
  close.optionalGroup = n.group == optionalGroup;
  Fragment f = Single(b, open);
  f = Sequence(b, f, Compile(b, body, optionalGroup));
  return Sequence(b, f, Single(b, close));
}

Fragment Compile(ProgramBuilding& b, int node, int optionalGroup) {
  const RegexNode& n = b.tree->nodes[static_cast<size_t>(node)];
  RegexStep step;
  switch (n.kind) {
    case RegexNodeKind::kBytes:
      step.kind = RegexStepKind::kByte;
      step.byteSet = ByteSetIndex(b, n.bytes);
      return Single(b, step);
    case RegexNodeKind::kLineStart:
    case RegexNodeKind::kLineEnd:
      step.kind = n.kind == RegexNodeKind::kLineStart ? RegexStepKind::kAssertStart
                                                       : RegexStepKind::kAssertEnd;
      return Single(b, step);
    case RegexNodeKind::kConcat: {
      Fragment f = Compile(b, n.children[0], optionalGroup);
      for (size_t i = 1; i < n.children.size() && !b.tooLarge; ++i) {
        f = Sequence(b, f, Compile(b, n.children[i], optionalGroup));
      }
      return f;
    }
    case RegexNodeKind::kAlternation: {
      // Each branch is preferred to the ones after it.
      Fragment last = Compile(b, n.children.back(), optionalGroup);
      for (size_t i = n.children.size() - 1; i-- > 0 && !b.tooLarge;) {
        Fragment branch = Compile(b, n.children[i], optionalGroup);
        Fragment f = Optional(b, branch);
        b.program->steps[static_cast<size_t>(f.start)].other = last.start;
        f.exits.pop_back();
        f.exits.insert(f.exits.end(), last.exits.begin(), last.exits.end());
        last = f;
      }
      return last;
    }
    case RegexNodeKind::kRepeat:
      return CompileRepeat(b, n);
    case RegexNodeKind::kGroup:
      return CompileGroup(b, n, optionalGroup);
  }
  return Fragment();
}

// Splits the 256 bytes into classes that every byte set treats alike.
void ComputeByteClasses(RegexProgram& program) {
  int classes = 1;
  for (auto& c : program.byteClass) c = 0;
  for (const std::bitset<256>& set : program.byteSets) {
    std::map<std::pair<int, bool>, int> renamed;
    for (int byte = 0; byte < 256; ++byte) {
      auto key = std::make_pair(static_cast<int>(program.byteClass[byte]), set.test(static_cast<size_t>(byte)));
      auto found = renamed.emplace(key, static_cast<int>(renamed.size())).first;
      program.byteClass[byte] = static_cast<uint8_t>(found->second);
    }
    classes = static_cast<int>(renamed.size());
  }
  program.classCount = classes;
}


// Whether the tree has an anchor other than a "^" that begins the whole
// expression or a "$" that ends it.
bool HasInnerAnchors(const RegexTree& tree) {
  int anchors = 0;
  for (const RegexNode& node : tree.nodes) {
    anchors += node.kind == RegexNodeKind::kLineStart || node.kind == RegexNodeKind::kLineEnd;
  }
  const RegexNode& root = tree.nodes[static_cast<size_t>(tree.root)];
  if (root.kind != RegexNodeKind::kConcat) return anchors > 0;
  auto kindOf = [&tree](int node) { return tree.nodes[static_cast<size_t>(node)].kind; };
  anchors -= kindOf(root.children.front()) == RegexNodeKind::kLineStart;
  anchors -= kindOf(root.children.back()) == RegexNodeKind::kLineEnd;
  return anchors > 0;
}

// Whether the tree has a "$" other than one that ends the whole expression.
bool HasInnerEndAnchor(const RegexTree& tree) {
  int ends = 0;
  for (const RegexNode& node : tree.nodes) ends += node.kind == RegexNodeKind::kLineEnd;
  const RegexNode& root = tree.nodes[static_cast<size_t>(tree.root)];
  int last = root.kind == RegexNodeKind::kConcat ? root.children.back() : tree.root;
  ends -= tree.nodes[static_cast<size_t>(last)].kind == RegexNodeKind::kLineEnd;
  return ends > 0;
}

}  // namespace

bool BuildRegexProgram(const RegexTree& tree, RegexProgram& program) {
  program = RegexProgram();
  for (int i = 0; i < kRegexPositions; ++i) program.sameAs[i] = i;
  ProgramBuilding b;
  b.tree = &tree;
  b.program = &program;
  Fragment body = Compile(b, tree.root, 0);
  RegexStep match;
  match.kind = RegexStepKind::kMatch;
  int end = AddStep(b, match);
  Link(b, body, end);
  if (b.tooLarge || program.byteSets.size() > 255) return false;
  program.start = body.start;
  program.innerAnchors = HasInnerAnchors(tree);
  program.innerEndAnchor = HasInnerEndAnchor(tree);
  for (size_t i = 0; i < program.steps.size(); ++i) {
    RegexStep& step = program.steps[i];
    program.optionalGroups |= step.optionalGroup;
    if (step.kind != RegexStepKind::kSplit) continue;
    const RegexStep& body = program.steps[static_cast<size_t>(step.next)];
    step.byteLoop = body.kind == RegexStepKind::kByte && body.next == static_cast<int>(i);
  }
  ComputeByteClasses(program);
  return true;
}

bool BuildReversedRegexProgram(const RegexTree& tree, RegexProgram& program) {
  RegexTree reversed = tree;
  for (RegexNode& node : reversed.nodes) {
    if (node.kind == RegexNodeKind::kConcat) {
      std::reverse(node.children.begin(), node.children.end());
    } else if (node.kind == RegexNodeKind::kLineStart) {
      node.kind = RegexNodeKind::kLineEnd;
    } else if (node.kind == RegexNodeKind::kLineEnd) {
      node.kind = RegexNodeKind::kLineStart;
    }
  }
  // ".*" first, so that a match may end anywhere after the scan's start.
  RegexNode any;
  any.kind = RegexNodeKind::kBytes;
  any.bytes.set();
  any.bytes.reset(0);
  reversed.nodes.push_back(any);
  RegexNode loop;
  loop.kind = RegexNodeKind::kRepeat;
  loop.minCount = 0;
  loop.maxCount = -1;
  loop.children.push_back(static_cast<int>(reversed.nodes.size() - 1));
  reversed.nodes.push_back(loop);
  RegexNode concat;
  concat.kind = RegexNodeKind::kConcat;
  concat.children = {static_cast<int>(reversed.nodes.size() - 1), reversed.root};
  reversed.nodes.push_back(concat);
  reversed.root = static_cast<int>(reversed.nodes.size() - 1);
  return BuildRegexProgram(reversed, program);
}
