// Dates in the shapes log clients write them, turned into day names.
//
// Day names take two shapes, "Www Mmm dd yyyy" and "yyyy-mm-dd"; a date
// text in one of them, or in no shape read here, names its day as written.
// The other shapes are read into a calendar date and named in the family
// they belong to, so that every line of one calendar day lands on one day:
//   "Sat Aug 15 02:06:23 2015" (the time inside)  -> "Sat Aug 15 2015"
//   "01Mar2012"                                    -> "Thu Mar 01 2012"
//   "Apr 22" (no year)                             -> "Mon Apr 22 2019"
//   "20160601"                                     -> "2016-06-01"
//   "2019-10-01T04:09:36", "2021-04-23 00:13:25+0200" -> "2019-10-01"
// A date without a year takes the year of the last full date read before it
// in the same file, and the next year once its month comes before that
// date's month (December, then January). A text naming no calendar day
// (30 February, month 13) is no date: it names its day as written. ISO day
// names may have years of more than four digits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What one file's dates have told so far: the last full date's year and
// the month of the last date read.
struct DateContext {
  bool haveYear = false;
  int64_t year = 0;
  int month = 0;  // 1 to 12
};

enum class DayNaming {
  kAsWritten,  // the text names its day as written
  kRenamed,    // the day's name is in `name`
  kNoYear,     // a month and day with no year known yet: the day stays as it is
};

// Names the day of a date text and updates `context`.
DayNaming NameDayOfDate(std::string_view text, DateContext& context, std::string& name);

// The name a renamed day has in the other shape ("Thu Mar 01 2012" and
// "2012-03-01"), so that a calendar day met in both keeps one record.
// Empty when `name` is in neither shape.
void OtherDayName(std::string_view name, std::string& other);

// Every other name the calendar day of a day name may have been given: the
// name in the other shape, and in the weekday-first shape with the day of
// the month padded by a zero or (days 1 to 9) by a blank. Empty when `name`
// is in neither shape or names no calendar day (30 February).
void DayNameTwins(std::string_view name, std::vector<std::string>& twins);
// The day a day name ("Www Mmm dd yyyy" or "yyyy-mm-dd") names, counted as
// DayNumberOfDate counts (1 for 1 January 1970). False for a text in
// neither shape.
bool DayNumberOfDayName(std::string_view name, int64_t& dayNumber);

// The name of day `dayNumber` in the shape of the day name `like`.
// REQUIRES: DayNumberOfDayName(like) is true.
void NameDayLike(std::string_view like, int64_t dayNumber, std::string& name);
