// Reads one log file line by line: cleans each line, classifies it with the
// format, follows the hour, the current day and the speaker, counts
// monologue runs and hands every line of types 1 to 9 to the accounting.
#pragma once

#include <regex.h>

#include <cstdint>
#include <cstdio>

#include "logformat/format_file.h"
#include "stats/accounting.h"
#include "stats/samples.h"

// The type of a line and where its parts lie; kTypeNull when no type matches.
struct LineMatch {
  LineType type = kTypeNull;
  regmatch_t positions[kMatchPositions];
};

// Tries the patterns of types 1 to 11 in order; the first that matches
// decides. Depends only on the line and the table. Throws std::bad_alloc
// when the matcher runs out of memory.
LineMatch ClassifyLine(const LineTypeTable& table, const char* line);

// Removes ANSI escape sequences (ESC up to and including the next "m") in
// place; returns the new length.
size_t StripAnsiCodes(char* text, size_t length);

// Reads `in` to its end, adding every byte read to `processedBytes`.
// Returns false after a bad hour or a read error, when the message is
// already written and the run must end with status 255. With more than one
// worker, lines are classified on up to that many threads (fewer for a
// format too large to copy for each); everything else happens in line
// order on the calling thread, so the outcome is the same. Throws
// std::bad_alloc when memory runs out.
bool ParseLogFile(FILE* in, const LineTypeTable& table, const AccountingConfig& config,
                  uint64_t& processedBytes, StatsStore& store, RecentLines& recent,
                  int workers = 1);
