// The columns of the modern page's daily chart. A short period gets a
// column per calendar day; a longer one a column per week, per month or,
// over decades, per year, so that the chart stays readable whatever the
// period. Every column from the first dated day's to the last's is there,
// silent ones included, so the chart is a true time axis.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "stats/tables.h"

enum class BucketSize { kDay, kWeek, kMonth, kYear };

// The longest period, in days, that gets a column per day, and the longest
// that gets a column per week; beyond that months, and years once there
// would be more than kMostMonthColumns months.
constexpr int64_t kMostDayColumns = 92;
constexpr int64_t kMostWeekSpan = 732;
constexpr int64_t kMostMonthColumns = 240;

// One column: the day number of its first calendar day and its lines by
// quarter of the day.
struct ChartBucket {
  int64_t firstDay = 0;
  int64_t quarters[4] = {};
};

struct DayBuckets {
  BucketSize size = BucketSize::kDay;
  // Lines of days whose names are no calendar date (the undated day and
  // dates in no known shape), by quarter; shown as a column of their own.
  bool haveUndated = false;
  int64_t undated[4] = {};
  std::vector<ChartBucket> buckets;  // in calendar order
};

// A calendar date; `weekday` 0 for Monday to 6 for Sunday.
struct CivilDate {
  int64_t year = 1970;
  int month = 1;
  int day = 1;
  int weekday = 3;
};

// The calendar date of a day number (1 for Thu Jan 01 1970).
CivilDate CivilDateOf(int64_t dayNumber);

// The day number of a day name that names a calendar date in one of the
// two day-name shapes ("Mon Mar 04 2002", the weekday not checked, or
// "2002-03-04"); false for any other name.
bool CalendarDayNumber(std::string_view name, int64_t& dayNumber);

// The column size for a period of first to last (day numbers, inclusive).
BucketSize BucketSizeForPeriod(int64_t firstDay, int64_t lastDay);

// The first day of the column that holds `dayNumber`; weeks begin on Monday.
int64_t BucketStart(int64_t dayNumber, BucketSize size);
// The first day of the column after the one that begins on `start`.
int64_t NextBucketStart(int64_t start, BucketSize size);

// Every day's lines, gathered into columns.
DayBuckets BucketDays(const DayTable& days);

int64_t BucketLines(const ChartBucket& bucket);
// The busiest and the quietest column (the earlier one on a tie); 0 for
// an empty list.
size_t BusiestBucket(const std::vector<ChartBucket>& buckets);
size_t QuietestBucket(const std::vector<ChartBucket>& buckets);

// What a column is called in its tooltip and the caption ("Mon Mar 04
// 2002", "week of Mon Mar 04 2002", "Mar 2002", "2002"), and in the axis
// under the chart ("2002-03-04", "2002-03-04", "2002-03", "2002").
std::string BucketLabel(int64_t start, BucketSize size);
std::string BucketTick(int64_t start, BucketSize size);
// "day", "week", "month" or "year".
const char* BucketNoun(BucketSize size);
