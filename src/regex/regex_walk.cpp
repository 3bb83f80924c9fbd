#include "regex/regex_walk.h"

#include "regex/regex_positions.h"

namespace {

// Steps visited while building, at most: a program whose closures take
// more is left to the search.
constexpr uint64_t kMaxBuildVisits = uint64_t{1} << 22;

struct ClosureFrame {
  int step = 0;
  uint8_t stage = 0;  // how many of the step's ways have been tried
};

struct WalkBuilding {
  const RegexProgram* program = nullptr;
  RegexWalkTables* tables = nullptr;
  std::vector<RegexWalkWay> cells;   // rows x byte classes, before packing
  std::vector<int> rowEntry;         // per row: the step it stands before
  std::vector<int32_t> rowOfStep;    // per step: its row away from the text's start
  std::vector<int> classByte;        // per class: a byte of it other than zero, or -1
  std::vector<uint32_t> seen;        // per step: the closure that last reached it
  uint32_t mark = 0;
  std::vector<ClosureFrame> stack;
  uint64_t visits = 0;
  bool failed = false;
};

int32_t AddRow(WalkBuilding& b, int entry) {
  RegexWalkTables& t = *b.tables;
  if (b.cells.size() + t.classCount > kRegexMaxWalkCells) {
    b.failed = true;
    return -1;
  }
  int32_t row = static_cast<int32_t>(b.rowEntry.size());
  b.rowEntry.push_back(entry);
  b.cells.resize(b.cells.size() + t.classCount);
  t.endCells.resize(t.endCells.size() + 2);
  return row;
}

// The row of the place before `step`, away from the start of the text;
// added (to be filled later) when new.
int32_t RowOf(WalkBuilding& b, int step) {
  int32_t& row = b.rowOfStep[static_cast<size_t>(step)];
  if (row < 0) row = AddRow(b, step);
  return row;
}

bool Enter(WalkBuilding& b, int step) {
  if (b.seen[static_cast<size_t>(step)] == b.mark) return false;
  b.seen[static_cast<size_t>(step)] = b.mark;
  ++b.visits;
  b.stack.push_back({step, 0});
  return true;
}

// The step the `way`-th way on from `step` leads to without reading a
// byte; -1 when there is no such way. Byte and match steps end a way.
int WayOn(const RegexStep& step, int way, bool atStart, bool atEnd) {
  if (way != 0 && !(way == 1 && step.kind == RegexStepKind::kSplit)) return -1;
  switch (step.kind) {
    case RegexStepKind::kSplit:
      return way == 0 ? step.next : step.other;
    case RegexStepKind::kOpen:
    case RegexStepKind::kClose:
      return step.next;
    case RegexStepKind::kAssertStart:
      return atStart ? step.next : -1;
    case RegexStepKind::kAssertEnd:
      return atEnd ? step.next : -1;
    case RegexStepKind::kByte:
    case RegexStepKind::kMatch:
      return -1;
  }
  return -1;
}

// Goes from `entry` along every way that reads no byte, in the program's
// order of preference, reaching each step once (as the search does: a step
// reached a second time at the same place would fail as it did the first
// time or succeed as it did), and calls reached(step) at every byte or
// match step with b.stack holding the way there; stops when it returns
// false.
template <typename Reached>
void FollowClosure(WalkBuilding& b, int entry, bool atStart, bool atEnd, Reached reached) {
  const std::vector<RegexStep>& steps = b.program->steps;
  if (++b.mark == 0) {
    b.seen.assign(steps.size(), 0);
    b.mark = 1;
  }
  b.stack.clear();
  Enter(b, entry);
  while (!b.stack.empty() && !b.failed) {
    ClosureFrame& frame = b.stack.back();
    const RegexStep& step = steps[static_cast<size_t>(frame.step)];
    int way = frame.stage++;
    bool ends = step.kind == RegexStepKind::kByte || step.kind == RegexStepKind::kMatch;
    if (ends && way == 0) {
      if (!reached(frame.step)) return;
      continue;
    }
    int to = WayOn(step, way, atStart, atEnd);
    if (to >= 0) {
      Enter(b, to);
    } else if (way >= 1) {
      b.stack.pop_back();
    }
  }
}

// Appends the kOpen and kClose steps of the way on b.stack to the actions,
// as `cell`'s.
void RecordActions(WalkBuilding& b, RegexWalkWay& cell) {
  RegexWalkTables& t = *b.tables;
  cell.firstAction = static_cast<uint32_t>(t.actions.size());
  for (const ClosureFrame& frame : b.stack) {
    RegexStepKind kind = b.program->steps[static_cast<size_t>(frame.step)].kind;
    if (kind == RegexStepKind::kOpen || kind == RegexStepKind::kClose) {
      t.actions.push_back(frame.step);
    }
  }
  cell.actionCount = static_cast<uint32_t>(t.actions.size()) - cell.firstAction;
}

// Adds byte step `target`, reached by the way on b.stack, to the cells of
// `row` for the bytes it takes: after any way found before it.
void FillByteCells(WalkBuilding& b, int32_t row, int target) {
  const RegexProgram& p = *b.program;
  RegexWalkTables& t = *b.tables;
  const RegexStep& step = p.steps[static_cast<size_t>(target)];
  const std::bitset<256>& bytes = p.byteSets[step.byteSet];
  RegexWalkWay way;
  way.nextRow = -2;
  for (size_t c = 0; c < t.classCount; ++c) {
    int byte = b.classByte[c];
    if (byte < 0 || !bytes.test(static_cast<size_t>(byte))) continue;
    if (way.nextRow == -2) {
      RecordActions(b, way);
      way.nextRow = RowOf(b, step.next);
      if (b.failed) return;
    }
    RegexWalkWay* last = &b.cells[static_cast<size_t>(row) * t.classCount + c];
    if (last->nextRow < 0) {
      *last = way;
      continue;
    }
    while (last->alternative >= 0) last = &t.alternatives[static_cast<size_t>(last->alternative)];
    last->alternative = static_cast<int32_t>(t.alternatives.size());
    t.alternatives.push_back(way);  // `last` may move: not used after this
  }
}

void FillRow(WalkBuilding& b, int32_t row, bool atStart) {
  const RegexProgram& p = *b.program;
  RegexWalkTables& t = *b.tables;
  int entry = b.rowEntry[static_cast<size_t>(row)];
  FollowClosure(b, entry, atStart, false, [&](int step) {
    if (p.steps[static_cast<size_t>(step)].kind != RegexStepKind::kMatch) {
      FillByteCells(b, row, step);
    }
    return !b.failed;
  });
  for (int atEnd = 0; atEnd < 2 && !b.failed; ++atEnd) {
    FollowClosure(b, entry, atStart, atEnd != 0, [&](int step) {
      if (p.steps[static_cast<size_t>(step)].kind != RegexStepKind::kMatch) return true;
      RegexWalkWay& cell = t.endCells[static_cast<size_t>(row) * 2 + static_cast<size_t>(atEnd)];
      RecordActions(b, cell);
      cell.nextRow = row;
      return false;
    });
  }
  if (b.visits > kMaxBuildVisits) b.failed = true;
}

// The rows' loops and ends, and the cells packed as the walk reads them.
void PackTables(RegexWalkTables& t, const RegexProgram& p, const std::vector<RegexWalkWay>& cells) {
  size_t rows = t.endCells.size() / 2;
  t.rows.assign(rows, RegexWalkRow());
  t.cells.assign(cells.size(), RegexWalkCell());
  for (size_t i = 0; i < cells.size(); ++i) {
    const RegexWalkWay& way = cells[i];
    t.cells[i].nextRow = way.nextRow;
    if (way.nextRow >= 0 && (way.actionCount > 0 || way.alternative >= 0)) {
      t.details.push_back(way);
      t.cells[i].detail = static_cast<uint32_t>(t.details.size());
    }
  }
  for (size_t row = 0; row < rows; ++row) {
    RegexWalkRow& info = t.rows[row];
    for (int atEnd = 0; atEnd < 2; ++atEnd) info.ends[atEnd] = t.endCells[row * 2 + static_cast<size_t>(atEnd)].nextRow >= 0;
    uint8_t bytes[256] = {};
    int count = 0;
    for (int byte = 1; byte < 256; ++byte) {
      const RegexWalkCell& cell = t.cells[row * t.classCount + p.byteClass[byte]];
      bytes[byte] = cell.nextRow == static_cast<int32_t>(row) && cell.detail == 0;
      count += bytes[byte];
    }
    if (count == 0) continue;
    info.stayIndex = static_cast<int32_t>(t.stays.size());
    t.stays.insert(t.stays.end(), bytes, bytes + 256);
    info.runsToEnd = count == 255;
  }
  for (RegexWalkCell& cell : t.cells) {
    if (cell.nextRow < 0) continue;
    const RegexWalkRow& next = t.rows[static_cast<size_t>(cell.nextRow)];
    if (next.stayIndex >= 0 || next.ends[0] || next.ends[1]) cell.detail |= kRegexWalkLook;
  }
}

}  // namespace

bool BuildRegexWalk(const RegexProgram& program, RegexWalkTables& tables) {
  tables = RegexWalkTables();
  if (program.innerAnchors) return false;
  WalkBuilding b;
  b.program = &program;
  b.tables = &tables;
  tables.classCount = static_cast<size_t>(program.classCount);
  b.classByte.assign(tables.classCount, -1);
  for (int byte = 255; byte >= 1; --byte) b.classByte[program.byteClass[byte]] = byte;
  b.rowOfStep.assign(program.steps.size(), -1);
  b.seen.assign(program.steps.size(), 0);
  // The start's row at the start of the text, where a "^" holds, and away
  // from it, where the start is a place like any other.
  tables.startRow[1] = AddRow(b, program.start);
  tables.startRow[0] = RowOf(b, program.start);
  for (size_t row = 0; row < b.rowEntry.size() && !b.failed; ++row) {
    FillRow(b, static_cast<int32_t>(row), row == static_cast<size_t>(tables.startRow[1]));
  }
  if (b.failed) {
    tables = RegexWalkTables();
    return false;
  }
  PackTables(tables, program, b.cells);
  return true;
}

namespace {

// Takes the way of `cell` at `at`: its kOpen and kClose steps are recorded,
// and a later way for the same byte is kept to go back to.
void TakeWay(const RegexWalkWay& cell, uint32_t at,
             RegexWalkScratch& scratch) {
  if (cell.alternative >= 0) {
    scratch.choices.push_back({at, cell.alternative, static_cast<uint32_t>(scratch.recorded.size())});
  }
  if (cell.actionCount > 0) scratch.recorded.push_back({cell.firstAction, cell.actionCount, at});
}

// Crosses the loop of `row`, if it has one, from `at`: returns where the
// bytes it takes end, adding them to `work`.
uint32_t CrossLoop(const RegexWalkTables& t, int32_t row, const unsigned char* span,
                   uint32_t spanLength, uint32_t at, uint64_t& work) {
  const RegexWalkRow& info = t.rows[static_cast<size_t>(row)];
  if (info.stayIndex < 0) return at;
  uint32_t from = at;
  if (info.runsToEnd) {
    at = spanLength;
  } else {
    const uint8_t* bytes = &t.stays[static_cast<size_t>(info.stayIndex)];
    while (at < spanLength && bytes[span[at]]) ++at;
  }
  work += at - from;
  return at;
}

// The first way from `row` for the byte at `at`: null when none takes it.
// A way that records nothing and has no alternative is written to `plain`.
// Sets `look` when the row it leads to has a loop or an end.
const RegexWalkWay* FirstWay(const RegexWalkTables& t, const RegexProgram& program, int32_t row,
                             unsigned char byte, RegexWalkWay& plain, bool& look) {
  const RegexWalkCell& cell = t.cells[static_cast<size_t>(row) * t.classCount + program.byteClass[byte]];
  if (cell.nextRow < 0) return nullptr;
  look = (cell.detail & kRegexWalkLook) != 0;
  uint32_t detail = cell.detail & ~kRegexWalkLook;
  if (detail != 0) return &t.details[detail - 1];
  plain.nextRow = cell.nextRow;
  return &plain;
}

// Goes back to the last byte a later way may take: sets `at` there and
// returns that way.
const RegexWalkWay* GoBack(const RegexWalkTables& t, RegexWalkScratch& scratch, uint32_t& at) {
  RegexWalkChoice choice = scratch.choices.back();
  scratch.choices.pop_back();
  at = choice.at;
  scratch.recorded.resize(choice.recorded);
  return &t.alternatives[static_cast<size_t>(choice.alternative)];
}

// Whether the walk's buffers have passed their bound.
bool Overgrown(const RegexWalkScratch& scratch) {
  return scratch.recorded.size() > kRegexMaxWalkEntries ||
         scratch.choices.size() > kRegexMaxWalkEntries;
}

// Going back may cover the same bytes again; past this much work the
// search, which marks what it tried, is the faster way.
uint64_t WalkBudget(uint32_t spanLength) { return 8 * uint64_t{spanLength} + 1024; }

void WriteRecordedPositions(const RegexWalkTables& t, const RegexProgram& program,
                            const RegexWalkScratch& scratch, size_t start, uint32_t spanLength,
                            regmatch_t* positions) {
  RegexPositionsRecord record;
  BeginRegexPositions(record, program, spanLength);
  for (const RegexWalkScratch::Recorded& way : scratch.recorded) {
    for (uint32_t i = 0; i < way.actionCount; ++i) {
      int step = t.actions[way.firstAction + i];
      PassRegexStep(record, program.steps[static_cast<size_t>(step)], way.at);
    }
  }
  FinishRegexPositions(record, program, start, positions);
}

}  // namespace

RegexWalkOutcome WalkAnchoredMatch(const RegexWalkTables& t, const RegexProgram& program,
                                   RegexWalkScratch& scratch, const char* text, size_t length,
                                   size_t& end, regmatch_t* positions) {
  const unsigned char* span = reinterpret_cast<const unsigned char*>(text);
  const uint32_t spanLength = static_cast<uint32_t>(length);
  const uint64_t budget = WalkBudget(spanLength);
  uint64_t work = 0;
  scratch.choices.clear();
  scratch.recorded.clear();
  // The longest match found so far short of the text's end, on the first
  // way that reached it: where it ends, its way to the match step, and the
  // steps recorded up to there (the first `shortRecorded` of those
  // recorded, or, when the walk may yet go back past them, a copy).
  const RegexWalkWay* shortEnd = nullptr;
  uint32_t shortEndAt = 0;
  size_t shortRecorded = 0;
  bool shortCopied = false;
  RegexWalkWay plain;
  int32_t row = t.startRow[1];
  uint32_t at = 0;
  bool look = true;  // the row may have a loop or an end
  for (;;) {
    if (look) at = CrossLoop(t, row, span, spanLength, at, work);
    const size_t atEnd = at == spanLength ? 1 : 0;
    if (look && t.rows[static_cast<size_t>(row)].ends[atEnd]) {
      const RegexWalkWay& endHere = t.endCells[static_cast<size_t>(row) * 2 + atEnd];
      if (atEnd) {
        TakeWay(endHere, at, scratch);
        end = length;
        WriteRecordedPositions(t, program, scratch, 0, spanLength, positions);
        return RegexWalkOutcome::kMatch;
      }
      if (shortEnd == nullptr || at > shortEndAt) {
        shortEnd = &endHere;
        shortEndAt = at;
        shortRecorded = scratch.recorded.size();
        shortCopied = !scratch.choices.empty();
        if (shortCopied) {
          scratch.shortest.assign(scratch.recorded.begin(), scratch.recorded.end());
          work += shortRecorded;
        }
      }
    }
    const RegexWalkWay* way = atEnd ? nullptr : FirstWay(t, program, row, span[at], plain, look);
    // No way on from here: back to the last byte a later way may take.
    while (way == nullptr && !scratch.choices.empty()) {
      if (++work > budget) return RegexWalkOutcome::kUnsettled;
      way = GoBack(t, scratch, at);
      look = true;
    }
    if (way == nullptr) break;
    if (way != &plain) {
      TakeWay(*way, at, scratch);
      if (Overgrown(scratch)) return RegexWalkOutcome::kUnsettled;
    }
    row = way->nextRow;
    ++at;
    if (++work > budget) return RegexWalkOutcome::kUnsettled;
  }
  // Every way was followed until it died before the text's end: the
  // longest match ends where some way last could end.
  if (shortEnd == nullptr) return RegexWalkOutcome::kNoMatch;
  if (shortCopied) {
    scratch.recorded.assign(scratch.shortest.begin(), scratch.shortest.end());
  } else {
    scratch.recorded.resize(shortRecorded);
  }
  TakeWay(*shortEnd, shortEndAt, scratch);
  end = shortEndAt;
  WriteRecordedPositions(t, program, scratch, 0, shortEndAt, positions);
  return RegexWalkOutcome::kMatch;
}

bool WalkRegexParts(const RegexWalkTables& t, const RegexProgram& program,
                    RegexWalkScratch& scratch, const char* text, size_t length, size_t start,
                    size_t end, regmatch_t* positions) {
  const unsigned char* span = reinterpret_cast<const unsigned char*>(text) + start;
  const uint32_t spanLength = static_cast<uint32_t>(end - start);
  const size_t endColumn = end == length ? 1 : 0;
  const uint64_t budget = WalkBudget(spanLength);
  uint64_t work = 0;
  scratch.choices.clear();
  scratch.recorded.clear();
  RegexWalkWay plain;
  int32_t row = t.startRow[start == 0 ? 1 : 0];
  uint32_t at = 0;
  bool look = true;  // the row may have a loop or an end
  for (;;) {
    if (look) at = CrossLoop(t, row, span, spanLength, at, work);
    const RegexWalkWay* way = nullptr;
    if (at < spanLength) {
      way = FirstWay(t, program, row, span[at], plain, look);
    } else if (look && t.rows[static_cast<size_t>(row)].ends[endColumn]) {
      way = &t.endCells[static_cast<size_t>(row) * 2 + endColumn];
    }
    // No way on from here: back to the last byte a later way may take.
    while (way == nullptr) {
      if (scratch.choices.empty() || ++work > budget) return false;
      way = GoBack(t, scratch, at);
      look = true;
    }
    if (way != &plain) {
      TakeWay(*way, at, scratch);
      if (Overgrown(scratch)) return false;
    }
    if (at == spanLength) break;
    row = way->nextRow;
    ++at;
    if (++work > budget) return false;
  }
  WriteRecordedPositions(t, program, scratch, start, spanLength, positions);
  return true;
}
