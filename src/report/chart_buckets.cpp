#include "report/chart_buckets.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* kWeekdays[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// The day's name in the shape "Mon Mar 04 2002".
std::string WeekdayFirstName(const CivilDate& date) {
  char text[48];
  snprintf(text, sizeof text, "%s %s %02d %04lld", kWeekdays[date.weekday],
           kMonths[date.month - 1], date.day, static_cast<long long>(date.year));
  return text;
}

// The day's name in the shape "2002-03-04".
std::string IsoName(const CivilDate& date) {
  char text[48];
  snprintf(text, sizeof text, "%04lld-%02d-%02d", static_cast<long long>(date.year), date.month,
           date.day);
  return text;
}

int64_t MonthIndex(const CivilDate& date) { return date.year * 12 + (date.month - 1); }

int64_t QuarterLines(const DayRecord& day, int q) {
  int64_t sum = 0;
  for (int h = 6 * q; h < 6 * q + 6; ++h) sum += day.hours[h];
  return sum;
}

// The columns from the one holding `first` to the one holding `last`.
std::vector<ChartBucket> EmptyBuckets(int64_t first, int64_t last, BucketSize size) {
  std::vector<ChartBucket> buckets;
  for (int64_t start = BucketStart(first, size); start <= last;
       start = NextBucketStart(start, size)) {
    buckets.push_back(ChartBucket{start, {}});
  }
  return buckets;
}

// The column of `dayNumber`, which lies within the columns' period.
ChartBucket& BucketOf(std::vector<ChartBucket>& buckets, int64_t dayNumber) {
  auto after = std::upper_bound(
      buckets.begin(), buckets.end(), dayNumber,
      [](int64_t day, const ChartBucket& bucket) { return day < bucket.firstDay; });
  return *(after - 1);
}

}  // namespace

CivilDate CivilDateOf(int64_t dayNumber) {
  // Days since 1 March of year 0, counted in eras of 400 years.
  const int64_t sinceEpoch = dayNumber - 1;
  const int64_t z = sinceEpoch + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 for March
  CivilDate date;
  date.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  date.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
  date.weekday = static_cast<int>(sinceEpoch - FloorDiv(sinceEpoch + 3, 7) * 7 + 3);
  return date;
}

bool CalendarDayNumber(std::string_view name, int64_t& dayNumber) {
  if (name.size() != 10 && name.size() != 15) return false;
  const int64_t number = DayNumber(name);
  const CivilDate date = CivilDateOf(number);
  if (date.year < 0 || date.year > 9999) return false;
  const bool same = name.size() == 10 ? name == IsoName(date)
                                      : name.substr(3) == WeekdayFirstName(date).substr(3);
  if (same) dayNumber = number;
  return same;
}

BucketSize BucketSizeForPeriod(int64_t firstDay, int64_t lastDay) {
  const int64_t span = lastDay - firstDay + 1;
  if (span <= kMostDayColumns) return BucketSize::kDay;
  if (span <= kMostWeekSpan) return BucketSize::kWeek;
  const int64_t months = MonthIndex(CivilDateOf(lastDay)) - MonthIndex(CivilDateOf(firstDay)) + 1;
  return months <= kMostMonthColumns ? BucketSize::kMonth : BucketSize::kYear;
}

int64_t BucketStart(int64_t dayNumber, BucketSize size) {
  const CivilDate date = CivilDateOf(dayNumber);
  switch (size) {
    case BucketSize::kDay:
      return dayNumber;
    case BucketSize::kWeek:
      return dayNumber - date.weekday;
    case BucketSize::kMonth:
      return DayNumberOfDate(date.year, date.month, 1);
    case BucketSize::kYear:
      return DayNumberOfDate(date.year, 1, 1);
  }
  return dayNumber;
}

int64_t NextBucketStart(int64_t start, BucketSize size) {
  const CivilDate date = CivilDateOf(start);
  switch (size) {
    case BucketSize::kDay:
      return start + 1;
    case BucketSize::kWeek:
      return start + 7;
    case BucketSize::kMonth:
      return date.month == 12 ? DayNumberOfDate(date.year + 1, 1, 1)
                              : DayNumberOfDate(date.year, date.month + 1, 1);
    case BucketSize::kYear:
      return DayNumberOfDate(date.year + 1, 1, 1);
  }
  return start + 1;
}

DayBuckets BucketDays(const DayTable& days) {
  DayBuckets chart;
  std::vector<std::pair<int64_t, const DayRecord*>> dated;
  for (const DayRecord& day : days.records) {
    if (day.lines == 0) continue;
    int64_t number = 0;
    if (CalendarDayNumber(day.name, number)) {
      dated.emplace_back(number, &day);
      continue;
    }
    chart.haveUndated = true;
    for (int q = 0; q < 4; ++q) chart.undated[q] += QuarterLines(day, q);
  }
  if (dated.empty()) return chart;
  auto [first, last] = std::minmax_element(dated.begin(), dated.end());
  chart.size = BucketSizeForPeriod(first->first, last->first);
  chart.buckets = EmptyBuckets(first->first, last->first, chart.size);
  for (const auto& [number, day] : dated) {
    ChartBucket& bucket = BucketOf(chart.buckets, number);
    for (int q = 0; q < 4; ++q) bucket.quarters[q] += QuarterLines(*day, q);
  }
  return chart;
}

int64_t BucketLines(const ChartBucket& bucket) {
  return bucket.quarters[0] + bucket.quarters[1] + bucket.quarters[2] + bucket.quarters[3];
}

size_t BusiestBucket(const std::vector<ChartBucket>& buckets) {
  size_t best = 0;
  for (size_t i = 1; i < buckets.size(); ++i) {
    if (BucketLines(buckets[i]) > BucketLines(buckets[best])) best = i;
  }
  return best;
}

size_t QuietestBucket(const std::vector<ChartBucket>& buckets) {
  size_t best = 0;
  for (size_t i = 1; i < buckets.size(); ++i) {
    if (BucketLines(buckets[i]) < BucketLines(buckets[best])) best = i;
  }
  return best;
}

std::string BucketLabel(int64_t start, BucketSize size) {
  const CivilDate date = CivilDateOf(start);
  char text[48];
  switch (size) {
    case BucketSize::kDay:
      return WeekdayFirstName(date);
    case BucketSize::kWeek:
      return "week of " + WeekdayFirstName(date);
    case BucketSize::kMonth:
      snprintf(text, sizeof text, "%s %04lld", kMonths[date.month - 1],
               static_cast<long long>(date.year));
      return text;
    case BucketSize::kYear:
      break;
  }
  snprintf(text, sizeof text, "%04lld", static_cast<long long>(date.year));
  return text;
}

std::string BucketTick(int64_t start, BucketSize size) {
  const CivilDate date = CivilDateOf(start);
  if (size == BucketSize::kDay || size == BucketSize::kWeek) return IsoName(date);
  if (size == BucketSize::kYear) return BucketLabel(start, size);
  char text[48];
  snprintf(text, sizeof text, "%04lld-%02d", static_cast<long long>(date.year), date.month);
  return text;
}

const char* BucketNoun(BucketSize size) {
  switch (size) {
    case BucketSize::kDay:
      return "day";
    case BucketSize::kWeek:
      return "week";
    case BucketSize::kMonth:
      return "month";
    case BucketSize::kYear:
      return "year";
  }
  return "day";
}
