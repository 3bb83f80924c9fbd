#include "logformat/log_reader.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logformat/classification.h"
#include "logformat/date_shapes.h"
#include "logformat/line_batches.h"
#include "stats/nick_lookup.h"
#include "stats/samples.h"
#include "stats/tables.h"
#include "stats/text_basics.h"

namespace {

// What the reader follows from one line to the next within a file.
struct ReadingState {
  int hour = 0;
  int quarter = 0;
  size_t currentDay = 0;  // position in the DayTable
  MonologueRun run;
  RecentLines recent;  // the last accounted lines of this file, for kicks
  AccountingScratch scratch;
  // The date text that chose the current day: a line with the same text
  // stays on it without another lookup.
  bool haveLastDate = false;
  std::string lastDate;
  DateContext dates;    // the year for dates written without one
  std::string dayName;  // reused for the names of dates read into another shape
  std::string otherDayName;
  std::vector<std::string> twinNames;  // reused for the other names of a day
  // The logger's clock: whether a line of the file has given a time yet,
  // and the minute of its hour.
  bool haveTime = false;
  int minute = 0;
  // The last line moved to the page's clock: from which day and second of
  // the day, to which day and hour. Lines of one minute move alike.
  bool haveShift = false;
  size_t shiftedFromDay = 0;
  int shiftedFromSecond = 0;
  size_t shiftedToDay = 0;
  int shiftedToHour = 0;
};

size_t FindOrAddDay(DayTable& days, std::string_view date, size_t currentDay, int verbosity) {
  // Names are unique without regard to case, so the current day is the
  // answer whenever it matches; the diagnostics need the full scan.
  if (verbosity <= 1 && currentDay < days.records.size() &&
      NamesEqualIgnoringCase(days.records[currentDay].name, date)) {
    return currentDay;
  }
  DayRecord* day = FindDay(days, date, verbosity);
  if (day == nullptr) day = &AddDay(days, date);
  return static_cast<size_t>(day - days.records.data());
}

// The day of the calendar day a day name names, when it was met before
// under another of its names (looked up without diagnostics); null when it
// was not, or the name is in neither day-name shape.
DayRecord* FindTwinDay(DayTable& days, std::string_view name, ReadingState& state) {
  DayNameTwins(name, state.twinNames);
  for (const std::string& twin : state.twinNames) {
    if (DayRecord* day = FindDay(days, twin, 0)) return day;
  }
  return nullptr;
}

// Makes the day a date text names the current day; a month and day with no
// year known yet leave the current day as it is. A calendar day keeps the
// name it was met under first, in whichever shape.
void MoveToDayOf(std::string_view date, DayTable& days, int verbosity, ReadingState& state) {
  DayNaming naming = NameDayOfDate(date, state.dates, state.dayName);
  if (naming == DayNaming::kNoYear) return;
  if (naming == DayNaming::kAsWritten) {
    bool current = state.currentDay < days.records.size() &&
                   NamesEqualIgnoringCase(days.records[state.currentDay].name, date);
    if (!current && FindDay(days, date, 0) == nullptr) {
      if (DayRecord* day = FindTwinDay(days, date, state)) {
        state.currentDay = static_cast<size_t>(day - days.records.data());
        return;
      }
    }
    state.currentDay = FindOrAddDay(days, date, state.currentDay, verbosity);
    return;
  }
  OtherDayName(state.dayName, state.otherDayName);
  DayRecord* day = FindDay(days, state.otherDayName, verbosity);
  if (day == nullptr && FindDay(days, state.dayName, 0) == nullptr) {
    day = FindTwinDay(days, state.dayName, state);
  }
  if (day != nullptr) {
    state.currentDay = static_cast<size_t>(day - days.records.data());
    return;
  }
  state.currentDay = FindOrAddDay(days, state.dayName, state.currentDay, verbosity);
}

// The day a log file's name carries, when the format reads one from it:
// the file's lines before any date inside it belong there.
void StartOnDayOfFileName(const LineTypeEntry& fileName, std::string_view path, DayTable& days,
                          int verbosity, ReadingState& state) {
  if (!fileName.pattern.compiled || path.empty()) return;
  size_t slash = path.rfind('/');
  std::string base(slash == std::string_view::npos ? path : path.substr(slash + 1));
  regmatch_t positions[kMatchPositions];
  if (regexec(&fileName.pattern.re, base.c_str(), kMatchPositions, positions, 0) != 0) return;
  // The date part, or the whole match when no part list names one.
  const regmatch_t& date = positions[fileName.parts[kPartDate]];
  if (date.rm_so < 0) return;
  std::string_view text(base.data() + date.rm_so, static_cast<size_t>(date.rm_eo - date.rm_so));
  MoveToDayOf(text, days, verbosity, state);
}

void ReportParsedLine(const char* line, LineType type, const LineParts& parts) {
  auto shown = [](const std::optional<std::string_view>& part) {
    return part ? *part : std::string_view("(null)");
  };
  std::string_view nick = shown(parts.nick), other = shown(parts.otherNick),
                   message = shown(parts.message);
  fprintf(stderr, "Parsed line \"%s\" as %d, %.*s,%.*s,%.*s\n", line, static_cast<int>(type),
          static_cast<int>(nick.size()), nick.data(), static_cast<int>(other.size()),
          other.data(), static_cast<int>(message.size()), message.data());
}

// The day named `name`, found (in either day-name shape) or added.
size_t DayNamed(DayTable& days, const std::string& name, std::string& other, int verbosity) {
  if (DayRecord* day = FindDay(days, name, verbosity)) {
    return static_cast<size_t>(day - days.records.data());
  }
  OtherDayName(name, other);
  if (DayRecord* day = other.empty() ? nullptr : FindDay(days, other, verbosity)) {
    return static_cast<size_t>(day - days.records.data());
  }
  return static_cast<size_t>(&AddDay(days, name) - days.records.data());
}

// Moves a line from the logger's clock to the page's: its hour, its
// quarter and, when its day is a calendar day, its day. A line of a day
// that names no calendar day moves by the hour only.
void ShiftToPageClock(const ZoneShift& zones, DayTable& days, int verbosity, ReadingState& state,
                      LineFacts& facts) {
  int second = state.hour * 3600 + state.minute * 60;
  if (!state.haveShift || state.shiftedFromDay != state.currentDay ||
      state.shiftedFromSecond != second) {
    const std::string& name = days.records[state.currentDay].name;
    size_t toDay = state.currentDay;
    int toSecond = 0;
    int64_t dayNumber = 0;
    if (DayNumberOfDayName(name, dayNumber)) {
      ShiftedTime shifted = ShiftToPage(zones, dayNumber, second);
      toSecond = shifted.secondOfDay;
      if (shifted.dayNumber != dayNumber) {
        NameDayLike(name, shifted.dayNumber, state.dayName);
        toDay = DayNamed(days, state.dayName, state.otherDayName, verbosity);
      }
    } else {
      toSecond = ShiftSecondOfDayOnly(zones, second);
    }
    state.haveShift = true;
    state.shiftedFromDay = state.currentDay;
    state.shiftedFromSecond = second;
    state.shiftedToDay = toDay;
    state.shiftedToHour = toSecond / 3600;
  }
  facts.hour = state.shiftedToHour;
  facts.quarter = facts.hour / 6;
  facts.day = &days.records[state.shiftedToDay];
}

// Follows the hour of a line that gives one. Returns false on a bad hour.
bool FollowHour(const LineTypeTable& table, const LineRecord& record, const char* line,
                size_t length, const LineMatch* wideMatches, ReadingState& state) {
  std::optional<size_t> at = PartStart(table, record, kPartTime, wideMatches);
  if (!at) return true;
  int hour = record.hour, minute = record.minute;
  if (record.wide != 0) {  // a line too long to be read ahead
    int64_t read = ReadNumberAt(std::string_view(line, length), *at);
    hour = read < 0 || read > 23 ? -1 : static_cast<int>(read);
    minute = MinuteAfterHour(std::string_view(line, length), *at);
  }
  if (hour < 0) {
    fprintf(stderr, "Bad hour \"%s\"\n", line + *at);
    return false;
  }
  state.hour = hour;
  state.quarter = state.hour / 6;
  state.haveTime = true;
  state.minute = minute;
  return true;
}

// Everything that follows classification, in line order. Returns false on a
// bad hour.
bool HandleMatchedLine(const LineTypeTable& table, const LineBatch& batch, const BatchLine& batchLine,
                       const AccountingConfig& config, const ZoneShift* zones, StatsStore& store,
                       ReadingState& state) {
  const LineRecord& record = batchLine.record;
  const char* line = batch.bytes.data() + batchLine.offset;
  const size_t length = batchLine.length;
  const LineMatch* wide = batch.wideMatches.data();
  LineFacts facts;
  facts.type = record.type;
  facts.parts.nick = PartText(table, record, kPartNick, line, wide);
  facts.parts.otherNick = PartText(table, record, kPartOtherNick, line, wide);
  facts.parts.message = PartText(table, record, kPartString, line, wide);
  if (record.counted) facts.messageFacts = &record.message;
  // A line of an ignored person, or one that kicks or becomes one, is
  // dropped before anything of it counts: its hour, its date, its place in
  // a run, the records of the nicks it names.
  if (facts.parts.otherNick && IsIgnoredNick(store, *facts.parts.otherNick)) return true;
  if (facts.parts.nick) {
    facts.speaker = CountedNickOf(store, *facts.parts.nick);
    if (facts.speaker == nullptr) return true;
  }
  if (!FollowHour(table, record, line, length, wide, state)) return false;
  if (std::optional<std::string_view> date = PartText(table, record, kPartDate, line, wide)) {
    // Every lookup is reported above verbosity 1, so none is skipped there.
    if (config.verbosity > 1 || !state.haveLastDate || *date != state.lastDate) {
      state.haveLastDate = true;
      state.lastDate.assign(*date);
      MoveToDayOf(*date, store.days, config.verbosity, state);
    }
  }
  if (config.verbosity > 1) ReportParsedLine(line, record.type, facts.parts);

  CountMonologueRun(state.run, facts.speaker);
  if (record.type == kTypeDateStamp || record.type == kTypeChannel) return true;

  facts.line = std::string_view(line, length);
  facts.hour = state.hour;
  facts.quarter = state.quarter;
  facts.day = &store.days.records[state.currentDay];
  // A line before the file's first time has no time to move.
  if (zones != nullptr && state.haveTime) {
    ShiftToPageClock(*zones, store.days, config.verbosity, state, facts);
  }
  facts.recent = &state.recent;
  AccountLine(facts, store, config, state.scratch);
  PushRecentLine(state.recent, facts.line);
  return true;
}

}  // namespace

namespace {

// On one thread the batch's bytes and line records are most of the run's
// memory; a batch this small is read and classified as fast as a larger one.
constexpr size_t kSingleThreadBatch = 64 * 1024;
// With workers, the caller's first batch of a file is as large as theirs.
constexpr size_t kPoolFirstBatch = 256 * 1024;

// Takes the lines of one classified batch in order. Returns false when the
// run must end: a bad hour, or a read error after the batch's lines.
bool ConsumeBatch(const ByteSource& bytes, const LineBatch& batch, const LineTypeTable& table,
                  const AccountingConfig& config, uint64_t& processedBytes, StatsStore& store,
                  ReadingState& state, LogFileReading& file) {
  file.lines += batch.lines.size();
  for (const BatchLine& line : batch.lines) {
    processedBytes += line.countedBytes;
    const char* text = batch.bytes.data() + line.offset;
    ++file.linesOfType[line.record.type];
    if (line.record.misfit) ++file.misfits;
    if (line.record.type == kTypeNull) {
      if (config.verbosity > 0) fprintf(stderr, "Failed to parse \"%s\"\n", text);
      continue;
    }
    if (!HandleMatchedLine(table, batch, line, config, file.zones, store, state)) return false;
  }
  // The recent lines view the batch, which goes after this.
  KeepRecentLines(state.recent);
  if (batch.readError) {
    // The label is the one this message has always had, whatever call read
    // the bytes: scripts that watch for read errors know it by it. Damaged
    // compressed data is a read error too, told with the file and the reason.
    const char* failure = bytes.failure != nullptr ? bytes.failure(bytes.handle) : nullptr;
    if (failure != nullptr) {
      fprintf(stderr, "fgets: %s: %s\n", bytes.name.c_str(), failure);
    } else {
      errno = batch.readErrno;  // saved where the read failed, maybe on another thread
      perror("fgets");
    }
    return false;
  }
  return true;
}

// Ends the pool's reading of a file whichever way its reading ends, so that
// no worker reads the stream once the caller may close it.
struct PoolFileGuard {
  ClassifierPool* pool = nullptr;
  ~PoolFileGuard() {
    if (pool != nullptr) EndPoolFile(*pool);
  }
};

}  // namespace

bool ParseLogFile(const ByteSource& bytes, const LineTypeTable& table, const AccountingConfig& config,
                  uint64_t& processedBytes, StatsStore& store, int workers,
                  LogFileReading* file, ClassifierPool* pool) {
  LogFileReading unnamed;
  LogFileReading& reading = file != nullptr ? *file : unnamed;
  // Messages are counted where their lines are classified.
  const TextFactsRules rules = TextFactsRulesOf(config);
  LineRecording recording;
  recording.rules = &rules;
  ReadingState state;
  DayRecord* undated = FindDay(store.days, UNDATED, config.verbosity);
  if (undated == nullptr) undated = &AddDay(store.days, UNDATED);
  state.currentDay = static_cast<size_t>(undated - store.days.records.data());
  StartOnDayOfFileName(table.fileName, reading.name, store.days, config.verbosity, state);

  // A pool for this file alone when the caller has none for the run.
  ClassifierPoolHandle ownPool(nullptr, nullptr);
  if (pool == nullptr) {
    ownPool = StartClassifierPool(table, AffordablePoolWorkers(table, workers));
    pool = ownPool.get();
  }
  // The first batch is read and classified here: a file that fits in it
  // (a daily log) costs the workers nothing, and a larger one is read on
  // by them meanwhile.
  bool parallel = PoolHasWorkers(*pool);
  BatchSource source;
  source.bytes = bytes;
  LineBatch& first = CallerBatch(*pool);
  ReadBatch(source, parallel ? kPoolFirstBatch : kSingleThreadBatch, first);
  PoolFileGuard guard;
  if (parallel && !first.endOfStream) {
    ClassifyNextFile(*pool, std::move(source), reading.charsets, recording);
    guard.pool = pool;
  } else {
    parallel = false;
  }
  ClassifyCallerBatch(*pool, table, first, reading.charsets, recording);
  if (!ConsumeBatch(bytes, first, table, config, processedBytes, store, state, reading)) return false;
  if (first.endOfStream) return true;
  for (;;) {
    LineBatch* batch = &first;
    if (parallel) {
      batch = &NextClassifiedBatch(*pool);
    } else {
      ReadBatch(source, kSingleThreadBatch, first);
      ClassifyBatch(table, first, reading.charsets, recording);
    }
    if (!ConsumeBatch(bytes, *batch, table, config, processedBytes, store, state, reading)) return false;
    if (batch->endOfStream) return true;
  }
}
