#include "regex/regex_parts.h"

#include <algorithm>
#include <cstring>

#include "regex/regex_positions.h"

namespace {

struct PathSearch {
  const RegexProgram* program;
  RegexPartsScratch* scratch;
  const unsigned char* span;  // text + start
  uint32_t spanLength;
  bool atTextStart;  // the span begins at the start of the text
  bool atTextEnd;    // the span ends at the end of the text
  size_t stepCount;
  size_t marksPerStep;  // 2 when inner anchors make the anchored flag count, else 1
  // Which ways may end: any, or only those whose last stretch after the
  // last byte does (or does not) pass an anchor.
  enum { kAnyWay, kPlainEnd, kAnchoredEnd } accept;
  bool pathTooLong = false;
};

// Puts (step, at) on the path unless it was tried before: without a
// back-reference, whether the end can be reached from there depends on
// nothing else, so a second try would fail like the first.
bool MarkTried(PathSearch& s, int step, uint32_t at, bool anchored) {
  size_t bit = (static_cast<size_t>(at) * s.stepCount + static_cast<size_t>(step)) * s.marksPerStep +
               (anchored && s.marksPerStep == 2);
  uint64_t& word = s.scratch->visited[bit / 64];
  uint64_t mask = uint64_t{1} << (bit % 64);
  if (word & mask) return false;
  word |= mask;
  return true;
}

bool Enter(PathSearch& s, int step, uint32_t at, bool anchored) {
  if (s.scratch->path.size() >= kRegexMaxPathFrames) {
    s.pathTooLong = true;
    return false;
  }
  if (!MarkTried(s, step, at, anchored)) return false;
  s.scratch->path.push_back({step, at, 0, anchored, 0});
  return true;
}

// A loop over one byte set ("x*", the loop of "x+") in one frame: it takes
// as many bytes as it can, marking each position the loop passes as tried,
// then leaves from the longest run to the shortest. This is the order in
// which stepping through the loop one byte at a time would try them.
void AdvanceByteLoop(PathSearch& s, size_t frame, const RegexStep& step) {
  std::vector<RegexPathFrame>& path = s.scratch->path;
  const uint32_t at = path[frame].at;
  if (path[frame].stage == 0) {
    path[frame].stage = 1;
    const std::bitset<256>& bytes =
        s.program->byteSets[s.program->steps[static_cast<size_t>(step.next)].byteSet];
    int self = path[frame].step;
    uint32_t end = at;
    while (end < s.spanLength && bytes[s.span[end]] && MarkTried(s, self, end + 1, false)) ++end;
    path[frame].run = end - at + 1;
  }
  while (path[frame].run > 0) {
    uint32_t taken = --path[frame].run;
    if (Enter(s, step.other, at + taken, taken == 0 && path[frame].anchored)) return;
  }
  path.pop_back();
}

int WaysOn(const RegexStep& step) {
  if (step.kind == RegexStepKind::kSplit) return 2;
  return step.kind == RegexStepKind::kMatch ? 0 : 1;
}

// Enters the `way`-th way on from `step` at `at`, when it holds.
bool EnterWay(PathSearch& s, const RegexStep& step, uint32_t at, bool anchored, int way) {
  switch (step.kind) {
    case RegexStepKind::kByte:
      return at < s.spanLength && s.program->byteSets[step.byteSet][s.span[at]] &&
             Enter(s, step.next, at + 1, false);
    case RegexStepKind::kSplit:
      return Enter(s, way == 0 ? step.next : step.other, at, anchored);
    case RegexStepKind::kOpen:
    case RegexStepKind::kClose:
      return Enter(s, step.next, at, anchored);
    case RegexStepKind::kAssertStart:
      return at == 0 && s.atTextStart && Enter(s, step.next, at, true);
    case RegexStepKind::kAssertEnd:
      return at == s.spanLength && s.atTextEnd && Enter(s, step.next, at, true);
    case RegexStepKind::kMatch:
      return false;
  }
  return false;
}

// Tries the next untried way on from the path's last frame; when none is
// left, the frame is taken off.
void Advance(PathSearch& s) {
  std::vector<RegexPathFrame>& path = s.scratch->path;
  size_t last = path.size() - 1;
  const RegexStep& step = s.program->steps[static_cast<size_t>(path[last].step)];
  if (step.byteLoop) {
    AdvanceByteLoop(s, last, step);
    return;
  }
  uint32_t at = path[last].at;
  bool anchored = path[last].anchored;
  while (path[last].stage < WaysOn(step)) {
    int way = path[last].stage++;
    if (EnterWay(s, step, at, anchored, way)) return;
  }
  path.pop_back();
}

// Walks the found way and records its positions.
void RecordPositions(const RegexProgram& program, const std::vector<RegexPathFrame>& path,
                     size_t start, size_t end, regmatch_t* positions) {
  RegexPositionsRecord record;
  BeginRegexPositions(record, program, end - start);
  for (const RegexPathFrame& frame : path) {
    PassRegexStep(record, program.steps[static_cast<size_t>(frame.step)], frame.at);
  }
  FinishRegexPositions(record, program, start, positions);
}

// Searches for the first way through the span that s.accept takes.
bool SearchPath(PathSearch& s, uint64_t bits) {
  RegexPartsScratch& scratch = *s.scratch;
  scratch.visited.assign(static_cast<size_t>((bits + 63) / 64), 0);
  scratch.path.clear();
  Enter(s, s.program->start, 0, false);
  while (!scratch.path.empty()) {
    const RegexPathFrame& last = scratch.path.back();
    if (s.program->steps[static_cast<size_t>(last.step)].kind == RegexStepKind::kMatch &&
        last.at == s.spanLength &&
        (s.accept == PathSearch::kAnyWay || last.anchored == (s.accept == PathSearch::kAnchoredEnd))) {
      return true;
    }
    Advance(s);
    if (s.pathTooLong) return false;
  }
  return false;
}

// A long span's path may grow large: its room is taken at the bound at
// once, where growing step by step would hold the old and the new copy at
// each doubling. Only the frames used take memory.
void ReserveForSpan(RegexPartsScratch& scratch, uint32_t spanLength) {
  constexpr uint32_t kLongSpan = 4096;
  if (spanLength >= kLongSpan && scratch.path.capacity() < kRegexMaxPathFrames) {
    scratch.path.reserve(kRegexMaxPathFrames);
  }
}

}  // namespace

bool RecoverRegexParts(const RegexProgram& program, RegexPartsScratch& scratch, const char* text,
                       size_t length, size_t start, size_t end, regmatch_t* positions) {
  PathSearch s;
  s.program = &program;
  s.scratch = &scratch;
  s.span = reinterpret_cast<const unsigned char*>(text) + start;
  s.spanLength = static_cast<uint32_t>(end - start);
  s.atTextStart = start == 0;
  s.atTextEnd = end == length;
  s.stepCount = program.steps.size();
  // Without inner anchors, whether one was passed never decides whether a
  // way is taken, so one mark per step and position does.
  s.marksPerStep = program.innerAnchors ? 2 : 1;
  uint64_t bits = (static_cast<uint64_t>(end - start) + 1) * s.stepCount * s.marksPerStep;
  if (bits > kRegexMaxVisitedBits) return false;
  ReserveForSpan(scratch, s.spanLength);
  if (!program.innerAnchors) {
    s.accept = PathSearch::kAnyWay;
    bool found = SearchPath(s, bits);
    if (found) RecordPositions(program, scratch.path, start, end, positions);
    return found;
  }
  // The C library tells an end reached through an anchor from a plain one,
  // with rules of its own for which it prefers; a span that both kinds of
  // way reach is left to it.
  s.accept = PathSearch::kPlainEnd;
  bool plain = SearchPath(s, bits);
  if (plain) RecordPositions(program, scratch.path, start, end, positions);
  s.accept = PathSearch::kAnchoredEnd;
  bool anchored = SearchPath(s, bits);
  bool decided = plain != anchored && !s.pathTooLong;
  if (decided && anchored) RecordPositions(program, scratch.path, start, end, positions);
  return decided;
}
