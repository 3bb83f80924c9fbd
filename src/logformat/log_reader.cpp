#include "logformat/log_reader.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "logformat/line_batches.h"
#include "stats/tables.h"

namespace {

// What the reader follows from one line to the next within a file.
struct ReadingState {
  int hour = 0;
  int quarter = 0;
  size_t currentDay = 0;  // position in the DayTable
  bool havePreviousSpeaker = false;
  std::string previousSpeaker;  // held by name: records move when nicks are added
  int runCounter = 0;
  std::string nick, otherNick, message, date;  // reused for every line
  AccountingScratch scratch;
};

bool PartGiven(const LineTypeTable& table, const LineMatch& match, int part) {
  return table.types[match.type].parts[part] != 0;
}

// The text of a part; a subexpression that took no part in the match gives
// the empty text.
void CopyPart(const LineTypeTable& table, const LineMatch& match, int part, const char* line,
              std::string& into) {
  const regmatch_t& position = match.positions[table.types[match.type].parts[part]];
  if (position.rm_so < 0) {
    into.clear();
  } else {
    into.assign(line + position.rm_so, static_cast<size_t>(position.rm_eo - position.rm_so));
  }
}

size_t FindOrAddDay(DayTable& days, const std::string& date, size_t currentDay, int verbosity) {
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

void CountRun(ReadingState& state, NickRecord* speaker) {
  if (speaker == nullptr) {
    state.havePreviousSpeaker = false;
    state.runCounter = 0;
  } else if (!state.havePreviousSpeaker ||
             !NamesEqualIgnoringCase(state.previousSpeaker, speaker->name)) {
    state.havePreviousSpeaker = true;
    state.previousSpeaker = speaker->name;
    state.runCounter = 0;
  } else if (state.runCounter > 7) {
    ++speaker->monologues;
    state.runCounter = 0;
  } else {
    ++state.runCounter;
  }
}

void ReportParsedLine(const char* line, LineType type, const LineParts& parts) {
  auto shown = [](const std::string* part) { return part ? part->c_str() : "(null)"; };
  fprintf(stderr, "Parsed line \"%s\" as %d, %s,%s,%s\n", line, static_cast<int>(type),
          shown(parts.nick), shown(parts.otherNick), shown(parts.message));
}

// Everything that follows classification, in line order. Returns false on a
// bad hour.
bool HandleMatchedLine(const LineTypeTable& table, const LineMatch& match, const char* line,
                       size_t length, const AccountingConfig& config, StatsStore& store,
                       RecentLines& recent, ReadingState& state) {
  if (PartGiven(table, match, kPartTime)) {
    const regmatch_t& time = match.positions[table.types[match.type].parts[kPartTime]];
    if (time.rm_so >= 0) {
      std::string_view text(line, length);
      int64_t hour = ReadNumberAt(text, static_cast<size_t>(time.rm_so));
      if (hour < 0 || hour > 23) {
        fprintf(stderr, "Bad hour \"%s\"\n", line + time.rm_so);
        return false;
      }
      state.hour = static_cast<int>(hour);
      state.quarter = state.hour / 6;
    }
  }
  if (PartGiven(table, match, kPartDate)) {
    CopyPart(table, match, kPartDate, line, state.date);
    state.currentDay = FindOrAddDay(store.days, state.date, state.currentDay, config.verbosity);
  }
  LineParts parts;
  if (PartGiven(table, match, kPartNick)) {
    CopyPart(table, match, kPartNick, line, state.nick);
    parts.nick = &state.nick;
  }
  if (PartGiven(table, match, kPartOtherNick)) {
    CopyPart(table, match, kPartOtherNick, line, state.otherNick);
    parts.otherNick = &state.otherNick;
  }
  if (PartGiven(table, match, kPartString)) {
    CopyPart(table, match, kPartString, line, state.message);
    parts.message = &state.message;
  }
  if (config.verbosity > 1) ReportParsedLine(line, match.type, parts);

  NickRecord* speaker = nullptr;
  if (parts.nick != nullptr) {
    speaker = FindNick(store.nicks, state.nick);
    if (speaker == nullptr) speaker = &AddNick(store.nicks, state.nick);
  }
  CountRun(state, speaker);
  if (match.type == kTypeDateStamp || match.type == kTypeChannel) return true;

  std::string_view text(line, length);
  AccountLine(match.type, text, parts, speaker, state.hour, state.quarter,
              store.days.records[state.currentDay], store, recent, config, state.scratch);
  PushRecentLine(recent, text);
  return true;
}

}  // namespace

LineMatch ClassifyLine(const LineTypeTable& table, const char* line) {
  LineMatch match;
  for (int type = kTypeText; type < kLineTypeCount; ++type) {
    const CompiledRegex& pattern = table.types[type].pattern;
    if (!pattern.compiled) continue;
    errno = 0;
    int result = regexec(&pattern.re, line, kMatchPositions, match.positions, 0);
    if (result == 0) {
      match.type = static_cast<LineType>(type);
      return match;
    }
    // The matcher's tables grow with the line; without memory for them the
    // line is not known to be unmatched, and the run cannot go on. The C
    // library's matcher reports that as no match, so errno tells the two
    // apart.
    if (result == REG_ESPACE || errno == ENOMEM) throw std::bad_alloc();
  }
  match.type = kTypeNull;
  return match;
}

size_t StripAnsiCodes(char* text, size_t length) {
  char* escape = static_cast<char*>(memchr(text, '\x1b', length));
  if (escape == nullptr) return length;
  size_t out = static_cast<size_t>(escape - text);
  for (size_t in = out; in < length; ++in) {
    if (text[in] != '\x1b') {
      text[out++] = text[in];
      continue;
    }
    // Drop the ESC and everything up to and including the next "m"; without
    // one, everything to the end goes.
    const char* m = static_cast<const char*>(memchr(text + in, 'm', length - in));
    if (m == nullptr) break;
    in = static_cast<size_t>(m - text);
  }
  text[out] = '\0';
  return out;
}

namespace {

constexpr size_t kSingleThreadBatch = 256 * 1024;

// Takes the lines of one classified batch in order. Returns false when the
// run must end: a bad hour, or a read error after the batch's lines.
bool ConsumeBatch(const LineBatch& batch, const LineTypeTable& table,
                  const AccountingConfig& config, uint64_t& processedBytes, StatsStore& store,
                  RecentLines& recent, ReadingState& state) {
  for (const BatchLine& line : batch.lines) {
    processedBytes += line.countedBytes;
    const char* text = batch.bytes.data() + line.offset;
    if (line.match.type == kTypeNull) {
      if (config.verbosity > 0) fprintf(stderr, "Failed to parse \"%s\"\n", text);
      continue;
    }
    if (!HandleMatchedLine(table, line.match, text, line.length, config, store, recent, state)) {
      return false;
    }
  }
  if (batch.readError) {
    errno = batch.readErrno;  // saved where the read failed, maybe on another thread
    perror("fgets");
    return false;
  }
  return true;
}

}  // namespace

bool ParseLogFile(FILE* in, const LineTypeTable& table, const AccountingConfig& config,
                  uint64_t& processedBytes, StatsStore& store, RecentLines& recent,
                  int workers) {
  ReadingState state;
  DayRecord* undated = FindDay(store.days, UNDATED, config.verbosity);
  if (undated == nullptr) undated = &AddDay(store.days, UNDATED);
  state.currentDay = static_cast<size_t>(undated - store.days.records.data());
  ClearRecentLines(recent);

  workers = AffordableWorkers(table, workers);
  auto classifier = StartParallelClassifier(in, table, workers);
  while (classifier) {
    const LineBatch& batch = NextClassifiedBatch(*classifier);
    if (!ConsumeBatch(batch, table, config, processedBytes, store, recent, state)) return false;
    if (batch.endOfStream) return true;
  }
  BatchSource source;
  source.in = in;
  LineBatch batch;
  for (;;) {
    ReadBatch(source, kSingleThreadBatch, batch);
    ClassifyBatch(table, batch);
    if (!ConsumeBatch(batch, table, config, processedBytes, store, recent, state)) return false;
    if (batch.endOfStream) return true;
  }
}
