#include "regex/regex_span.h"

#include <algorithm>
#include <string>

namespace {

constexpr int32_t kUnknown = -1;
constexpr int32_t kOverflow = -2;
// What the scanning loop needs of a state, in one byte.
constexpr uint8_t kStateAcceptsHere = 1;
constexpr uint8_t kStateDead = 2;  // waits for no byte
// Accepts at the end of the text and still waits for bytes: whether every
// byte leads back to it is not yet known.
constexpr uint8_t kStateUnchecked = 4;
// Every byte a line can hold leads back to it, and it accepts at the end of
// the text: a match that gets here runs to the end of the line (a final
// ".*$"), so the bytes before the end need no look.
constexpr uint8_t kStateRunsToEnd = 8;

// The byte steps reachable from `seeds` without consuming a byte, and
// whether the match step is among them. Adds the steps visited to the
// building work.
RegexState Closure(RegexSpanFinder& f, const std::vector<int>& seeds, bool atStart, bool atEnd) {
  const RegexProgram& p = *f.program;
  RegexState state;
  state.atTextStart = atStart;
  if (f.scratchSeen.size() != p.steps.size() || ++f.closureMark == 0) {
    f.scratchSeen.assign(p.steps.size(), 0);
    f.closureMark = 1;
  }
  const uint32_t mark = f.closureMark;
  f.scratchStack.assign(seeds.rbegin(), seeds.rend());
  while (!f.scratchStack.empty()) {
    int at = f.scratchStack.back();
    f.scratchStack.pop_back();
    if (f.scratchSeen[static_cast<size_t>(at)] == mark) continue;
    f.scratchSeen[static_cast<size_t>(at)] = mark;
    ++f.buildWork;
    const RegexStep& step = p.steps[static_cast<size_t>(at)];
    switch (step.kind) {
      case RegexStepKind::kByte:
        state.waiting.push_back(at);
        break;
      case RegexStepKind::kSplit:
        f.scratchStack.push_back(step.other);
        f.scratchStack.push_back(step.next);
        break;
      case RegexStepKind::kOpen:
      case RegexStepKind::kClose:
        f.scratchStack.push_back(step.next);
        break;
      case RegexStepKind::kAssertStart:
        if (atStart) f.scratchStack.push_back(step.next);
        break;
      case RegexStepKind::kAssertEnd:
        if (atEnd) {
          f.scratchStack.push_back(step.next);
        } else {
          state.endTests.push_back(step.next);
        }
        break;
      case RegexStepKind::kMatch:
        state.acceptsHere = true;
        break;
    }
  }
  std::sort(state.waiting.begin(), state.waiting.end());
  return state;
}

std::string StateKey(const RegexState& state) {
  std::string key(reinterpret_cast<const char*>(state.waiting.data()),
                  state.waiting.size() * sizeof(int));
  key += static_cast<char>(state.atTextStart + 2 * state.acceptsHere + 4 * state.acceptsAtEnd);
  return key;
}

// The state for `seeds`, added to the cache when new; kOverflow when the
// cache is full.
int32_t StateFor(RegexSpanFinder& f, const std::vector<int>& seeds, bool atStart) {
  RegexState state = Closure(f, seeds, atStart, false);
  state.acceptsAtEnd = state.acceptsHere;
  if (!state.acceptsAtEnd && !state.endTests.empty()) {
    state.acceptsAtEnd = Closure(f, state.endTests, atStart, true).acceptsHere;
  }
  state.endTests.clear();
  std::string key = StateKey(state);
  auto found = f.stateIndex.find(key);
  if (found != f.stateIndex.end()) return found->second;
  // A state's memory: its steps, held in the state and in its key, and its
  // row of transitions.
  size_t bytes = 2 * key.size() + static_cast<size_t>(f.program->classCount) * sizeof(int32_t) +
                 sizeof(RegexState) + 64;
  if (f.states.size() >= kRegexMaxStates || f.cacheBytes + bytes > kRegexMaxCacheBytes) {
    return kOverflow;
  }
  f.cacheBytes += bytes;
  int32_t index = static_cast<int32_t>(f.states.size());
  uint8_t flags = state.acceptsHere ? kStateAcceptsHere : 0;
  if (state.waiting.empty()) {
    flags |= kStateDead;
  } else if (state.acceptsAtEnd) {
    flags |= kStateUnchecked;
  }
  f.stateFlags.push_back(flags);
  f.states.push_back(std::move(state));
  f.transitions.resize(f.states.size() * static_cast<size_t>(f.program->classCount), kUnknown);
  f.stateIndex.emplace(std::move(key), index);
  return index;
}

void ResetStates(RegexSpanFinder& f) {
  f.states.clear();
  f.stateFlags.clear();
  f.transitions.clear();
  f.stateIndex.clear();
  f.cacheBytes = 0;
  f.buildWork = 0;
  f.scannedBytes = 0;
  std::vector<int> start{f.program->start};
  f.startAtTextStart = StateFor(f, start, true);
  f.startElsewhere = StateFor(f, start, false);
}

// A known transition is kept as the start of the row of the state it leads
// to, times two, plus one when that state has flags to look at: the
// scanning loops then go from byte to byte without a multiplication, and
// look up a state's flags only where it has any. (A flag that goes away
// later, as kStateUnchecked does, only costs a look.)
int32_t EncodedTransition(const RegexSpanFinder& f, int32_t to) {
  int32_t row = to * f.program->classCount;
  return row * 2 + (f.stateFlags[static_cast<size_t>(to)] != 0 ? 1 : 0);
}

int32_t ComputeTransition(RegexSpanFinder& f, int32_t from, unsigned char byte) {
  const RegexProgram& p = *f.program;
  std::vector<int> seeds;
  for (int step : f.states[static_cast<size_t>(from)].waiting) {
    const RegexStep& s = p.steps[static_cast<size_t>(step)];
    if (p.byteSets[s.byteSet].test(byte)) seeds.push_back(s.next);
  }
  int32_t to = StateFor(f, seeds, false);
  if (to != kOverflow) {
    f.transitions[static_cast<size_t>(from) * static_cast<size_t>(p.classCount) +
                  p.byteClass[byte]] = EncodedTransition(f, to);
  }
  return to;
}

// The state a known transition leads to.
int32_t StateOfTransition(const RegexSpanFinder& f, int32_t encoded) {
  return (encoded >> 1) / f.program->classCount;
}

bool Accepts(const RegexState& state, size_t at, size_t length) {
  return at == length ? state.acceptsAtEnd : state.acceptsHere;
}

// Finds out whether every byte but the zero byte (which ends a line) leads
// from `state` back to it, and returns its flags then. A transition that
// does not fit in the cache leaves the answer no.
uint8_t CheckRunsToEnd(RegexSpanFinder& f, int32_t state) {
  const RegexProgram& p = *f.program;
  const size_t classes = static_cast<size_t>(p.classCount);
  std::vector<bool> classDone(classes, false);
  bool runs = true;
  for (int byte = 1; byte < 256 && runs; ++byte) {
    uint8_t byteClass = p.byteClass[byte];
    if (classDone[byteClass]) continue;
    classDone[byteClass] = true;
    int32_t to = f.transitions[static_cast<size_t>(state) * classes + byteClass];
    to = to < 0 ? ComputeTransition(f, state, static_cast<unsigned char>(byte))
                : StateOfTransition(f, to);
    runs = to == state;
  }
  uint8_t& flags = f.stateFlags[static_cast<size_t>(state)];
  flags = static_cast<uint8_t>((flags & ~kStateUnchecked) | (runs ? kStateRunsToEnd : 0));
  return flags;
}

// The longest match that begins at `start`, as its end; -1 for none,
// kOverflow when the cache filled up. Adds the bytes looked at to `work`.
int64_t LongestFrom(RegexSpanFinder& f, const unsigned char* text, size_t length, size_t start,
                    size_t& work) {
  const size_t classes = static_cast<size_t>(f.program->classCount);
  const uint8_t* byteClass = f.program->byteClass;
  int32_t state = start == 0 ? f.startAtTextStart : f.startElsewhere;
  int64_t lastEnd = Accepts(f.states[static_cast<size_t>(state)], start, length)
                        ? static_cast<int64_t>(start)
                        : -1;
  size_t at = start;
  uint8_t flags = f.stateFlags[static_cast<size_t>(state)];
  if (flags & kStateUnchecked) flags = CheckRunsToEnd(f, state);
  if (flags & kStateRunsToEnd) at = length;
  if (!(flags & kStateDead)) {
    size_t row = static_cast<size_t>(state) * classes;
    while (at < length) {
      int32_t next = f.transitions[row + byteClass[text[at]]];
      if (next < 0) {
        int32_t to = ComputeTransition(f, static_cast<int32_t>(row / classes), text[at]);
        if (to == kOverflow) return kOverflow;
        next = EncodedTransition(f, to);
      }
      ++at;
      row = static_cast<size_t>(next >> 1);
      if (!(next & 1)) continue;
      state = static_cast<int32_t>(row / classes);
      flags = f.stateFlags[static_cast<size_t>(state)];
      if (flags & kStateAcceptsHere) lastEnd = static_cast<int64_t>(at);
      if (flags & kStateDead) break;
      if (flags & kStateUnchecked) flags = CheckRunsToEnd(f, state);
      if (flags & kStateRunsToEnd) at = length;
    }
    state = static_cast<int32_t>(row / classes);
  }
  // At the end of the text a "$" holds too; acceptsAtEnd covers acceptsHere.
  if (at == length && at > start && f.states[static_cast<size_t>(state)].acceptsAtEnd) {
    lastEnd = static_cast<int64_t>(at);
  }
  work += at - start + 1;
  return lastEnd;
}

// The leftmost position where a match begins, found with the automaton of
// the reversed expression (unanchored at its start) in one scan of the text
// from its end: -1 for none, kOverflow when the cache filled up.
int64_t LeftmostStart(RegexSpanFinder& r, const unsigned char* text, size_t length) {
  const size_t classes = static_cast<size_t>(r.program->classCount);
  const uint8_t* byteClass = r.program->byteClass;
  int32_t state = r.startAtTextStart;  // the reversed text starts at the end of the line
  size_t row = static_cast<size_t>(state) * classes;
  bool flagged = r.stateFlags[static_cast<size_t>(state)] != 0;
  int64_t leftmost = -1;
  for (size_t at = length;; --at) {
    // At the line's start, the end of the reversed text, a reversed "$" holds.
    if (at == 0) {
      if (r.states[row / classes].acceptsAtEnd) leftmost = 0;
      break;
    }
    if (flagged && (r.stateFlags[row / classes] & kStateAcceptsHere)) {
      leftmost = static_cast<int64_t>(at);
    }
    int32_t next = r.transitions[row + byteClass[text[at - 1]]];
    if (next < 0) {
      int32_t to = ComputeTransition(r, static_cast<int32_t>(row / classes), text[at - 1]);
      if (to == kOverflow) return kOverflow;
      next = EncodedTransition(r, to);
    }
    row = static_cast<size_t>(next >> 1);
    flagged = (next & 1) != 0;
  }
  r.scannedBytes += length + 1;
  return leftmost;
}

// Whether a finder whose cache overflowed may be emptied for the next line:
// only once the states it built have served enough bytes.
bool MayRebuild(const RegexSpanFinder& f) {
  return f.scannedBytes >= kRegexBytesPerBuildStep * f.buildWork;
}

// After a line of `length` bytes the finder could not settle (it goes to
// the C library, whose work counts too): empties a full cache when it has
// earned it, and keeps it otherwise.
RegexOutcome Overflowed(RegexSpanFinder& f, size_t length) {
  f.scannedBytes += length + 1;
  if (MayRebuild(f)) ResetStates(f);
  return RegexOutcome::kUndecided;
}

}  // namespace

void InitRegexSpanFinder(const RegexProgram& program, RegexSpanFinder& finder) {
  finder = RegexSpanFinder();
  finder.program = &program;
  ResetStates(finder);
  const RegexState& elsewhere = finder.states[static_cast<size_t>(finder.startElsewhere)];
  finder.anchoredAtStart =
      elsewhere.waiting.empty() && !elsewhere.acceptsHere && !elsewhere.acceptsAtEnd;
}

RegexOutcome FindRegexSpan(RegexSpanFinder& finder, RegexSpanFinder* reverse, const char* text,
                           size_t length, size_t& matchStart, size_t& matchEnd) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  // Trying every start costs time that grows with the square of the line
  // in the worst case; past this much work the reversed automaton takes
  // over, or without it the line is left undecided.
  const size_t budget = reverse == nullptr ? 32 * length + 4096
                                            : (finder.searchBudget == 0 ? 0 : 4 * length + finder.searchBudget);
  size_t work = 0;
  for (size_t start = 0; start <= length; ++start) {
    if (start > 0 && finder.anchoredAtStart) break;
    int64_t end = LongestFrom(finder, bytes, length, start, work);
    if (end == kOverflow) return Overflowed(finder, length);
    if (end >= 0) {
      finder.scannedBytes += work;
      matchStart = start;
      matchEnd = static_cast<size_t>(end);
      return RegexOutcome::kMatch;
    }
    if (work > budget) {
      finder.scannedBytes += work;
      if (reverse == nullptr) return RegexOutcome::kUndecided;
      int64_t leftmost = LeftmostStart(*reverse, bytes, length);
      if (leftmost == kOverflow) return Overflowed(*reverse, length);
      if (leftmost < 0) return RegexOutcome::kNoMatch;
      work = 0;
      end = LongestFrom(finder, bytes, length, static_cast<size_t>(leftmost), work);
      if (end == kOverflow) return Overflowed(finder, length);
      finder.scannedBytes += work;
      if (end < 0) return RegexOutcome::kUndecided;  // cannot happen: the scans agree
      matchStart = static_cast<size_t>(leftmost);
      matchEnd = static_cast<size_t>(end);
      return RegexOutcome::kMatch;
    }
  }
  finder.scannedBytes += work;
  return RegexOutcome::kNoMatch;
}
