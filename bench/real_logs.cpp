// Reads a client's log files with a format file, as the program does (file
// names given, in the order given), and prints what a format's fit shows:
// lines, the share no type matched, the lines of each type, the share of
// text and action lines on a dated day, the first and last day, the five
// most active nicks, and the names that carry control codes.
//
//   real_logs CLIENT FORMAT_FILE LOG_FILE...
//
// Ends with one summary line starting "SUMMARY" for bench/real_logs.sh.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "logformat/format_file.h"
#include "logformat/log_reader.h"
#include "stats/tables.h"

namespace {

bool HasControlCode(const std::string& name) {
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

double Percent(uint64_t part, uint64_t whole) {
  return whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

bool ReadFiles(const LineTypeTable& table, int argc, char** argv, StatsStore& store,
               LogFileReading& total) {
  AccountingConfig config;
  config.statWord = "\n\n";
  uint64_t bytes = 0;
  for (int i = 3; i < argc; ++i) {
    FILE* in = fopen(argv[i], "r");
    if (in == nullptr) {
      perror(argv[i]);
      return false;
    }
    LogFileReading file;
    file.name = argv[i];
    bool ok = ParseLogFile(FileByteSource(in, argv[i]), table, config, bytes, store, 1, &file);
    fclose(in);
    if (!ok) return false;
    total.lines += file.lines;
    for (int type = 0; type < kLineTypeCount; ++type) {
      total.linesOfType[type] += file.linesOfType[type];
    }
  }
  return true;
}

struct DaySummary {
  double datedShare = 0;
  std::string first = "-", last = "-";
};

DaySummary PrintDays(DayTable& days) {
  SortDaysForPage(days);
  int64_t spoken = 0, dated = 0;
  const DayRecord* first = nullptr;
  const DayRecord* last = nullptr;
  for (const DayRecord& day : days.records) {
    spoken += day.lines;
    if (day.name == UNDATED) continue;
    dated += day.lines;
    if (first == nullptr) first = &day;
    last = &day;
  }
  printf("  text+action on a dated day: %.1f%% of %lld\n",
         Percent(static_cast<uint64_t>(dated), static_cast<uint64_t>(spoken)),
         static_cast<long long>(spoken));
  DaySummary summary;
  summary.datedShare = Percent(static_cast<uint64_t>(dated), static_cast<uint64_t>(spoken));
  if (first == nullptr) {
    printf("  days: none dated\n");
  } else {
    summary.first = first->name;
    summary.last = last->name;
    printf("  days: %zu dated, %s .. %s (%lld days)\n", days.records.size() - 1,
           first->name.c_str(), last->name.c_str(),
           static_cast<long long>(DayNumber(last->name) - DayNumber(first->name) + 1));
  }
  return summary;
}

int PrintNicks(NickTable& nicks) {
  int withCodes = 0;
  for (const NickRecord& nick : nicks.records) withCodes += HasControlCode(nick.name) ? 1 : 0;
  SortNicksForPage(nicks);
  printf("  top nicks:");
  for (size_t i = 0; i < nicks.records.size() && i < 5; ++i) {
    printf(" %s %lld", nicks.records[i].name.c_str(),
           static_cast<long long>(nicks.records[i].lines));
  }
  printf("\n  nicks: %zu, names with control codes: %d\n", nicks.records.size(), withCodes);
  return withCodes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: real_logs CLIENT FORMAT_FILE LOG_FILE...\n");
    return 2;
  }
  FILE* format = fopen(argv[2], "r");
  if (format == nullptr) {
    perror(argv[2]);
    return 1;
  }
  LineTypeTable table;
  bool loaded = ReadLogFormatSpec(format, 0, table);
  fclose(format);
  if (!loaded) return 1;

  StatsStore store;
  LogFileReading total;
  if (!ReadFiles(table, argc, argv, store, total)) return 1;
  uint64_t unmatched = total.linesOfType[kTypeNull];
  printf("%s (%s, %d files): %llu lines, %.2f%% unparsed\n  ", argv[1], argv[2], argc - 3,
         static_cast<unsigned long long>(total.lines), Percent(unmatched, total.lines));
  for (int type = kTypeText; type < kLineTypeCount; ++type) {
    printf("%s %llu%s", LineTypeKeyword(type),
           static_cast<unsigned long long>(total.linesOfType[type]),
           type + 1 < kLineTypeCount ? ", " : "\n");
  }
  DaySummary days = PrintDays(store.days);
  int withCodes = PrintNicks(store.nicks);
  printf("SUMMARY %-10s %8llu %8.2f%% %8.1f%% %6d  %s .. %s\n", argv[1],
         static_cast<unsigned long long>(total.lines), Percent(unmatched, total.lines),
         days.datedShare, withCodes, days.first.c_str(), days.last.c_str());
  return 0;
}
