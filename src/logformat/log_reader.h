// Reads one log file line by line: cleans each line, classifies it with the
// format, follows the hour, the current day and the speaker, counts
// monologue runs and hands every line of types 1 to 9 to the accounting.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "logformat/byte_source.h"
#include "logformat/format_file.h"
#include "logformat/line_batches.h"
#include "logformat/line_charsets.h"
#include "logformat/time_zones.h"
#include "stats/accounting.h"
#include "stats/stats_store.h"

// What the reader is told of one log file and tells of it afterwards.
struct LogFileReading {
  // The file's name, whose date a format's "filename" definition may read;
  // empty for standard input, which has none.
  std::string_view name;
  // The logger's and the page's time zones, when lines are to be moved
  // from the one clock to the other; null leaves every line where it is.
  const ZoneShift* zones = nullptr;
  // The character sets lines are made UTF-8 from; null keeps their bytes.
  const LineCharsets* charsets = nullptr;
  uint64_t lines = 0;  // every line read, empty ones included
  // Lines by the type that matched them; kTypeNull counts the lines that no
  // type matched.
  uint64_t linesOfType[kLineTypeCount] = {};
  // Of the unmatched lines, those the format's "misfit" definition matched.
  uint64_t misfits = 0;
};

// Reads `bytes` to their end, adding every byte read to `processedBytes`.
// Returns false after a bad hour or a read error, when the message is
// already written and the run must end with status 255. With more than one
// worker, lines are classified on up to that many threads (fewer for a
// format too large to copy for each); everything else happens in line
// order on the calling thread, so the outcome is the same. Throws
// std::bad_alloc when memory runs out.
// The recent lines that kicks quote start empty in every file.
// `pool`, when given, classifies with its workers (compiled once for the
// run) and `workers` is not looked at; without one, a pool of up to
// `workers` threads is started for this file alone.
bool ParseLogFile(const ByteSource& bytes, const LineTypeTable& table,
                  const AccountingConfig& config,
                  uint64_t& processedBytes, StatsStore& store, int workers = 1,
                  LogFileReading* file = nullptr, ClassifierPool* pool = nullptr);
