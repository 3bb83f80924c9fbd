// What the page shows that is computed from the statistics rather than
// printed from them: the period, the current topic, the random day, the
// hour totals, the nick ranking, the share column and the winners of the
// Big Numbers. Any page layout prints these; none computes them again.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "stats/stats_store.h"

// The first and the last day the page names.
struct ReportPeriod {
  std::string first;
  std::string last;
};

// Sums of every day's hour counters.
struct HourTotals {
  int64_t hours[24] = {};
};

// One nick of the share column and the colour of its bar, 0 to 3.
struct ShareBar {
  const NickRecord* nick = nullptr;
  int colour = 0;
};

// A statistic of one nick, taken as its low 32 bits by the Big Numbers.
typedef int64_t (*NickMetric)(const NickRecord& nick);

// Average letters per line; 0 for a nick without lines.
int64_t LettersPerLine(const NickRecord& nick);
// Shouted letters as a percentage of all letters; 0 without letters.
int64_t ShoutPercent(const NickRecord& nick);
// Questions as a percentage of lines; 0 without lines.
int64_t QuestionPercent(const NickRecord& nick);
// The lines of a nick who spoke in all four quarters of the day, else 101.
int64_t LinesIfAllQuarters(const NickRecord& nick);

// The winner and the runner-up of one Big Numbers row. With a single nick
// scanned there is no runner-up.
struct RankedRow {
  const NickRecord* winner = nullptr;
  int32_t winnerValue = 0;
  const NickRecord* runnerUp = nullptr;
  int32_t runnerUpValue = 0;
};

// One row of the Big Numbers: who, and the fact in words. The phrase holds
// exactly one "%ld", where the winner's value goes, and otherwise writes
// "%" as "%%".
struct BigNumberFact {
  RankedRow row;
  std::string phrase;
};

// Everything computed that the page shows, for tables in report order.
struct PageFacts {
  ReportPeriod period;
  size_t persons = 0;                         // every nick in the table
  const std::string* currentTopic = nullptr;  // null when no dated day has one
  const DayRecord* quoteDay = nullptr;        // the random day; null without days
  HourTotals hourTotals;
  std::vector<const NickRecord*> activityRows;  // the most active nicks, in rank order
  std::vector<ShareBar> shareColumn;
  bool haveBigNumbers = false;  // the table is written only when there are nicks
  std::vector<BigNumberFact> bigNumbers;
};

// Gathers the page's facts from a store whose tables are in report order;
// `undatedName` stands for both ends of the period when no day is dated.
// Draws from rand() as the page always has, in this order: until a dated
// day is found for the random day line (the "Random Channel Number"
// diagnostics above verbosity 1), then twice for the Big Numbers' wordings
// when there are nicks.
PageFacts GatherPageFacts(const StatsStore& store, const std::string& undatedName,
                          const std::string& statWord, int verbosity);

// The parts of GatherPageFacts, for tables in report order.
ReportPeriod FindReportPeriod(const DayTable& days, const std::string& fallback);
HourTotals ComputeHourTotals(const DayTable& days);
// The nicks with lines, most active first, at most `rows` of them.
std::vector<const NickRecord*> ActivityRows(const NickTable& nicks, size_t rows);
// Every nick who wrote more than 1/64 of all lines, in table order.
std::vector<ShareBar> ShareColumn(const NickTable& nicks, const HourTotals& totals);
// The winner and the runner-up among the first min(scanLimit, nicks)
// records; none when the winner does not reach (or, lowest, stay under)
// `threshold`. A lowest row is won by the smallest value and passes over
// zeros from the third record on; ties go to the earlier record.
std::optional<RankedRow> RankRow(const NickTable& nicks, NickMetric metric, bool lowest,
                                 int32_t threshold, int scanLimit);
// Every Big Numbers row that is written, in page order. Draws twice from
// rand(): the first draw picks the wordings of the rows up to the StatWord's,
// the second those of the rest. The rows of kicks, nick changes, joins and
// topic changes judge any nick; the others, about what was said, judge only
// the nicks before the first one with no lines.
std::vector<BigNumberFact> RankBigNumbers(const NickTable& nicks, const std::string& statWord);

// The ctime text of `when`, newline included, as the pages date
// themselves. A time that ctime cannot show (a year beyond 9999) gets a
// fixed text of the same shape.
std::string CtimeText(time_t when);

// A Big Numbers phrase with `value` written in place of its "%ld" and "%%"
// written as "%".
std::string PhraseWithValue(const std::string& phrase, long value);
