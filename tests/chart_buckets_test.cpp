#include "report/chart_buckets.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A day with `lines` lines, all in hour `hour`.
DayRecord Day(const std::string& name, int64_t lines, int hour = 12) {
  DayRecord day;
  day.name = name;
  day.lines = lines;
  day.hours[hour] = lines;
  return day;
}

TEST(ChartBuckets, CalendarDatesAndDayNumbers) {
  const CivilDate epoch = CivilDateOf(1);
  EXPECT_EQ(epoch.year, 1970);
  EXPECT_EQ(epoch.month, 1);
  EXPECT_EQ(epoch.day, 1);
  EXPECT_EQ(epoch.weekday, 3);  // a Thursday
  // Before the epoch and across a leap day, back and forth.
  for (int64_t number : {-800000, -1, 0, 11020, 11016, 18322, 2932897}) {
    const CivilDate date = CivilDateOf(number);
    EXPECT_EQ(DayNumberOfDate(date.year, date.month, date.day), number) << number;
  }
  const CivilDate leap = CivilDateOf(DayNumberOfDate(2024, 2, 29));
  EXPECT_EQ(leap.month, 2);
  EXPECT_EQ(leap.day, 29);
  EXPECT_EQ(leap.weekday, 3);

  int64_t number = 0;
  EXPECT_TRUE(CalendarDayNumber("Mon Mar 04 2002", number));
  EXPECT_EQ(number, DayNumberOfDate(2002, 3, 4));
  // The weekday is not checked; the rest of the name must be a real date.
  EXPECT_TRUE(CalendarDayNumber("Fri Mar 04 2002", number));
  EXPECT_TRUE(CalendarDayNumber("2002-03-04", number));
  EXPECT_EQ(number, DayNumberOfDate(2002, 3, 4));
  for (const char* name : {"Unknown", "2002-02-30", "Mon Feb 30 2002", "Mon Mar 4 2002",
                           "yesterday", "", "2002-3-04", "Mon Xyz 04 2002"}) {
    EXPECT_FALSE(CalendarDayNumber(name, number)) << name;
  }
}

TEST(ChartBuckets, SizeFollowsThePeriod) {
  const int64_t start = DayNumberOfDate(2020, 1, 1);
  EXPECT_EQ(BucketSizeForPeriod(start, start), BucketSize::kDay);
  EXPECT_EQ(BucketSizeForPeriod(start, start + kMostDayColumns - 1), BucketSize::kDay);
  EXPECT_EQ(BucketSizeForPeriod(start, start + kMostDayColumns), BucketSize::kWeek);
  EXPECT_EQ(BucketSizeForPeriod(start, start + 364), BucketSize::kWeek);
  EXPECT_EQ(BucketSizeForPeriod(start, start + kMostWeekSpan - 1), BucketSize::kWeek);
  EXPECT_EQ(BucketSizeForPeriod(start, start + kMostWeekSpan), BucketSize::kMonth);
  EXPECT_EQ(BucketSizeForPeriod(start, DayNumberOfDate(2039, 12, 31)), BucketSize::kMonth);
  EXPECT_EQ(BucketSizeForPeriod(start, DayNumberOfDate(2040, 1, 1)), BucketSize::kYear);
}

TEST(ChartBuckets, StartsOfWeeksMonthsAndYears) {
  const int64_t wednesday = DayNumberOfDate(2002, 3, 6);
  EXPECT_EQ(BucketStart(wednesday, BucketSize::kDay), wednesday);
  EXPECT_EQ(BucketStart(wednesday, BucketSize::kWeek), DayNumberOfDate(2002, 3, 4));
  EXPECT_EQ(BucketStart(DayNumberOfDate(2002, 3, 10), BucketSize::kWeek),
            DayNumberOfDate(2002, 3, 4));  // Sunday ends the week
  EXPECT_EQ(BucketStart(wednesday, BucketSize::kMonth), DayNumberOfDate(2002, 3, 1));
  EXPECT_EQ(BucketStart(wednesday, BucketSize::kYear), DayNumberOfDate(2002, 1, 1));
  EXPECT_EQ(NextBucketStart(DayNumberOfDate(2002, 12, 1), BucketSize::kMonth),
            DayNumberOfDate(2003, 1, 1));
  EXPECT_EQ(NextBucketStart(DayNumberOfDate(2004, 2, 1), BucketSize::kMonth),
            DayNumberOfDate(2004, 3, 1));
  EXPECT_EQ(NextBucketStart(DayNumberOfDate(2002, 3, 4), BucketSize::kWeek),
            DayNumberOfDate(2002, 3, 11));

  EXPECT_EQ(BucketLabel(wednesday, BucketSize::kDay), "Wed Mar 06 2002");
  EXPECT_EQ(BucketLabel(DayNumberOfDate(2002, 3, 4), BucketSize::kWeek), "week of Mon Mar 04 2002");
  EXPECT_EQ(BucketLabel(DayNumberOfDate(2002, 3, 1), BucketSize::kMonth), "Mar 2002");
  EXPECT_EQ(BucketLabel(DayNumberOfDate(2002, 1, 1), BucketSize::kYear), "2002");
  EXPECT_EQ(BucketTick(wednesday, BucketSize::kDay), "2002-03-06");
  EXPECT_EQ(BucketTick(DayNumberOfDate(2002, 3, 1), BucketSize::kMonth), "2002-03");
}

TEST(ChartBuckets, ShortPeriodsGetAColumnPerCalendarDay) {
  DayTable days;
  days.records.push_back(Day("Unknown", 4, 1));
  days.records.push_back(Day("Mon Mar 04 2002", 7, 8));
  days.records.push_back(Day("Mon Mar 04 2002", 0));  // a silent day adds nothing
  days.records.push_back(Day("2002-03-07", 3, 20));  // the other shape, two silent days later
  days.records.push_back(Day("whenever", 2, 13));     // no calendar date
  const DayBuckets chart = BucketDays(days);
  EXPECT_EQ(chart.size, BucketSize::kDay);
  EXPECT_TRUE(chart.haveUndated);
  EXPECT_EQ(chart.undated[0], 4);
  EXPECT_EQ(chart.undated[2], 2);
  ASSERT_EQ(chart.buckets.size(), 4u);
  EXPECT_EQ(chart.buckets[0].firstDay, DayNumberOfDate(2002, 3, 4));
  EXPECT_EQ(chart.buckets[0].quarters[1], 7);
  EXPECT_EQ(BucketLines(chart.buckets[1]), 0);
  EXPECT_EQ(BucketLines(chart.buckets[2]), 0);
  EXPECT_EQ(chart.buckets[3].quarters[3], 3);
  EXPECT_EQ(BusiestBucket(chart.buckets), 0u);
  EXPECT_EQ(QuietestBucket(chart.buckets), 1u);  // the earlier of two silent days
}

TEST(ChartBuckets, AYearGetsAColumnPerWeek) {
  DayTable days;
  const int64_t first = DayNumberOfDate(2021, 1, 1);  // a Friday
  for (int64_t d = 0; d < 365; ++d) {
    const CivilDate date = CivilDateOf(first + d);
    char name[16];
    snprintf(name, sizeof name, "%04d-%02d-%02d", static_cast<int>(date.year), date.month,
             date.day);
    days.records.push_back(Day(name, 1 + (d == 200 ? 50 : 0)));
  }
  const DayBuckets chart = BucketDays(days);
  EXPECT_EQ(chart.size, BucketSize::kWeek);
  EXPECT_FALSE(chart.haveUndated);
  // From the week of Mon Dec 28 2020 to that of Mon Dec 27 2021.
  ASSERT_EQ(chart.buckets.size(), 53u);
  EXPECT_EQ(chart.buckets.front().firstDay, DayNumberOfDate(2020, 12, 28));
  EXPECT_EQ(chart.buckets.back().firstDay, DayNumberOfDate(2021, 12, 27));
  EXPECT_EQ(BucketLines(chart.buckets.front()), 3);  // Friday to Sunday
  EXPECT_EQ(BucketLines(chart.buckets[1]), 7);
  int64_t total = 0;
  for (const ChartBucket& bucket : chart.buckets) total += BucketLines(bucket);
  EXPECT_EQ(total, 365 + 50);
  const size_t busiest = BusiestBucket(chart.buckets);
  EXPECT_LE(chart.buckets[busiest].firstDay, first + 200);
  EXPECT_GT(chart.buckets[busiest].firstDay + 7, first + 200);
  EXPECT_EQ(BucketLines(chart.buckets.back()), 5);  // Monday to Friday
  EXPECT_EQ(QuietestBucket(chart.buckets), 0u);
}

TEST(ChartBuckets, YearsOfDaysGetAColumnPerMonthOrPerYear) {
  DayTable days;
  days.records.push_back(Day("Tue Jan 15 2002", 5));
  days.records.push_back(Day("Sun Mar 31 2002", 2));
  days.records.push_back(Day("Mon Apr 01 2002", 3));
  days.records.push_back(Day("Fri Dec 31 2004", 1));
  DayBuckets chart = BucketDays(days);
  EXPECT_EQ(chart.size, BucketSize::kMonth);
  ASSERT_EQ(chart.buckets.size(), 36u);
  EXPECT_EQ(BucketLines(chart.buckets[0]), 5);
  EXPECT_EQ(BucketLines(chart.buckets[2]), 2);
  EXPECT_EQ(BucketLines(chart.buckets[3]), 3);
  EXPECT_EQ(BucketLines(chart.buckets[35]), 1);
  EXPECT_EQ(chart.buckets[35].firstDay, DayNumberOfDate(2004, 12, 1));

  // Decades: a column per year, however far apart the dates.
  days.records.push_back(Day("1999-06-01", 4));
  days.records.push_back(Day("2030-06-01", 6));
  chart = BucketDays(days);
  EXPECT_EQ(chart.size, BucketSize::kYear);
  ASSERT_EQ(chart.buckets.size(), 32u);
  EXPECT_EQ(BucketLines(chart.buckets[0]), 4);
  EXPECT_EQ(BucketLines(chart.buckets[3]), 10);
  EXPECT_EQ(BucketLines(chart.buckets[31]), 6);
  EXPECT_EQ(BucketLabel(chart.buckets[31].firstDay, chart.size), "2030");
}

TEST(ChartBuckets, NoDatedLinesNoColumns) {
  DayTable days;
  EXPECT_TRUE(BucketDays(days).buckets.empty());
  days.records.push_back(Day("Unknown", 0));
  days.records.push_back(Day("Mon Mar 04 2002", 0));
  DayBuckets chart = BucketDays(days);
  EXPECT_TRUE(chart.buckets.empty());
  EXPECT_FALSE(chart.haveUndated);
  days.records.push_back(Day("Unknown", 3));
  chart = BucketDays(days);
  EXPECT_TRUE(chart.buckets.empty());
  EXPECT_TRUE(chart.haveUndated);
  EXPECT_EQ(BusiestBucket(chart.buckets), 0u);
}

}  // namespace
