// The regex floor: reads a format file and a log, and does nothing with each
// line but what classification costs: with the newline removed, the patterns
// of the types "text" to "channel" are tried in order with regexec (12 match
// positions, no flags) until one matches. Prints how many lines each type
// took. No program that classifies every line this way can be faster.
//
//   regex_floor FORMAT_FILE LOG_FILE
//
// The format file is compiled by the program's own ReadLogFormatSpec; the
// reading loop and the matching are this file's own. The generated logs hold
// no ANSI escape sequences, so the reader's removal of them is left out.

#include <regex.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "logformat/format_file.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: regex_floor FORMAT_FILE LOG_FILE\n");
    return 2;
  }
  FILE* format = fopen(argv[1], "r");
  if (format == nullptr) {
    perror(argv[1]);
    return 1;
  }
  LineTypeTable table;
  bool loaded = ReadLogFormatSpec(format, 0, table);
  fclose(format);
  if (!loaded) return 1;

  FILE* log = fopen(argv[2], "r");
  if (log == nullptr) {
    perror(argv[2]);
    return 1;
  }
  uint64_t counts[kLineTypeCount] = {};
  uint64_t lines = 0, bytes = 0;
  regmatch_t positions[kMatchPositions];
  char* line = nullptr;
  size_t capacity = 0;
  ssize_t length;
  while ((length = getline(&line, &capacity, log)) > 0) {
    ++lines;
    bytes += static_cast<uint64_t>(length);
    if (line[length - 1] == '\n') line[length - 1] = '\0';
    int matched = kTypeNull;
    for (int type = kTypeText; type < kLineTypeCount; ++type) {
      const CompiledRegex& pattern = table.types[type].pattern;
      if (pattern.compiled && regexec(&pattern.re, line, kMatchPositions, positions, 0) == 0) {
        matched = type;
        break;
      }
    }
    ++counts[matched];
  }
  if (ferror(log)) {
    perror(argv[2]);
    return 1;
  }
  free(line);
  fclose(log);

  printf("lines %llu bytes %llu\n", static_cast<unsigned long long>(lines),
         static_cast<unsigned long long>(bytes));
  for (int type = kTypeText; type < kLineTypeCount; ++type) {
    printf("%-10s %10llu  %6.2f%%\n", LineTypeKeyword(type),
           static_cast<unsigned long long>(counts[type]),
           lines ? 100.0 * static_cast<double>(counts[type]) / static_cast<double>(lines) : 0.0);
  }
  printf("%-10s %10llu  %6.2f%%\n", "unmatched", static_cast<unsigned long long>(counts[kTypeNull]),
         lines ? 100.0 * static_cast<double>(counts[kTypeNull]) / static_cast<double>(lines) : 0.0);
  return 0;
}
