#include "logformat/date_shapes.h"

#include <cstdio>
#include <string>

#include "stats/tables.h"       // DayNumberOfDate
#include "stats/text_basics.h"  // IsCDigit

namespace {

const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekdayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

struct CalendarDate {
  int64_t year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
};

enum class NameFamily { kWeekdayFirst, kIso };

// The number written by `count` digits at `at`, or -1 when one is missing.
int64_t DigitsAt(std::string_view text, size_t at, size_t count) {
  if (at + count > text.size()) return -1;
  int64_t value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (!IsCDigit(static_cast<unsigned char>(text[i]))) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// The month of the English abbreviation at `at` (1 to 12), or 0.
int MonthAt(std::string_view text, size_t at) {
  if (at + 3 > text.size()) return 0;
  std::string_view name = text.substr(at, 3);
  for (int month = 0; month < 12; ++month) {
    if (name == kMonthNames[month]) return month + 1;
  }
  return 0;
}

bool IsWeekdayAt(std::string_view text, size_t at) {
  if (at + 3 > text.size()) return false;
  for (const char* weekday : kWeekdayNames) {
    if (text.substr(at, 3) == weekday) return true;
  }
  return false;
}

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// A date that the calendar has: no 30 February, no month 13.
bool Valid(const CalendarDate& date) {
  static const int kDaysInMonth[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (date.year < 0 || date.month < 1 || date.month > 12 || date.day < 1) return false;
  if (date.month == 2 && date.day == 29) return IsLeapYear(date.year);
  return date.day <= kDaysInMonth[date.month - 1];
}

// Years of ISO day names: four digits, or more for the years after 9999.
constexpr size_t kMostYearDigits = 9;

// The digits from `at` to the end of the text as a year of four to nine
// digits, or -1.
int64_t YearToEnd(std::string_view text, size_t at) {
  if (at > text.size() || text.size() - at < 4 || text.size() - at > kMostYearDigits) return -1;
  return DigitsAt(text, at, text.size() - at);
}

// A day of the month written with one or two digits, or with a blank and a
// digit, from `at`; moves `at` past it.
int ReadDayOfMonth(std::string_view text, size_t& at) {
  if (at < text.size() && text[at] == ' ') ++at;
  int64_t two = DigitsAt(text, at, 2);
  if (two >= 0) {
    at += 2;
    return static_cast<int>(two);
  }
  int64_t one = DigitsAt(text, at, 1);
  if (one < 0) return -1;
  at += 1;
  return static_cast<int>(one);
}

// "Www Mmm dd yyyy" or "yyyy-mm-dd" exactly: the shapes day names take.
// The year may have more than four digits in both.
bool IsDayNameShape(std::string_view text, CalendarDate& date) {
  size_t yearEnd = text.size() >= 6 ? text.size() - 6 : 0;  // where "-mm-dd" begins
  if (text.size() >= 10 && text.size() <= kMostYearDigits + 6 && text[yearEnd] == '-' &&
      text[yearEnd + 3] == '-') {
    date = {DigitsAt(text, 0, yearEnd), static_cast<int>(DigitsAt(text, yearEnd + 1, 2)),
            static_cast<int>(DigitsAt(text, yearEnd + 4, 2))};
    return Valid(date);
  }
  if (text.size() < 15 || text[3] != ' ' || text[7] != ' ' || text[10] != ' ') return false;
  if (!IsWeekdayAt(text, 0)) return false;
  size_t at = 8;
  date = {YearToEnd(text, 11), MonthAt(text, 4), ReadDayOfMonth(text, at)};
  return at == 10 && Valid(date);
}

// "Www Mmm dd hh:mm:ss yyyy", the day padded with a blank or a zero, the
// seconds optional.
bool ReadTimeInside(std::string_view text, CalendarDate& date) {
  if (text.size() < 20 || !IsWeekdayAt(text, 0) || text[3] != ' ' || text[7] != ' ') return false;
  size_t at = 8;
  date.month = MonthAt(text, 4);
  date.day = ReadDayOfMonth(text, at);
  if (date.day < 0 || at >= text.size() || text[at] != ' ') return false;
  ++at;
  size_t colon = text.find(':', at);
  if (colon == std::string_view::npos || colon - at < 1 || colon - at > 2) return false;
  if (DigitsAt(text, at, colon - at) < 0 || DigitsAt(text, colon + 1, 2) < 0) return false;
  at = colon + 3;
  if (at < text.size() && text[at] == ':') {
    if (DigitsAt(text, at + 1, 2) < 0) return false;
    at += 3;
  }
  if (at + 5 != text.size() || text[at] != ' ') return false;
  date.year = DigitsAt(text, at + 1, 4);
  return Valid(date);
}

// "yyyymmdd", "ddMmmyyyy", or "yyyy-mm-dd" with a time after a "T" or a blank.
bool ReadCompactOrTimed(std::string_view text, CalendarDate& date, NameFamily& family) {
  if (text.size() == 8) {
    date = {DigitsAt(text, 0, 4), static_cast<int>(DigitsAt(text, 4, 2)),
            static_cast<int>(DigitsAt(text, 6, 2))};
    family = NameFamily::kIso;
    return Valid(date);
  }
  if (text.size() == 9) {
    date = {DigitsAt(text, 5, 4), MonthAt(text, 2), static_cast<int>(DigitsAt(text, 0, 2))};
    family = NameFamily::kWeekdayFirst;
    return Valid(date);
  }
  bool timeFollows = text.size() > 11 && (text[10] == 'T' || text[10] == ' ') &&
                     IsCDigit(static_cast<unsigned char>(text[11]));
  if (timeFollows && text[4] == '-' && text[7] == '-') {
    date = {DigitsAt(text, 0, 4), static_cast<int>(DigitsAt(text, 5, 2)),
            static_cast<int>(DigitsAt(text, 8, 2))};
    family = NameFamily::kIso;
    return Valid(date);
  }
  return false;
}

// The abbreviated month names that clients running in another language
// write where English has "Mmm" (the C library's %b of the translations
// the log clients ship), lower case; a final "." is left out. Month n is
// the n-th group of twelve. Names of one month in several languages, and
// older and newer forms of one language, stand side by side.
const char* const kLocalMonthNames[][12] = {
    // French (older and newer forms), German, Spanish, Italian
    {"jan", "fév", "mar", "avr", "mai", "jun", "jui", "aoû", "sep", "oct", "nov", "déc"},
    {"janv", "févr", "mars", "avril", "mai", "juin", "juil", "août", "sept", "oct", "nov", "déc"},
    {"jan", "feb", "mär", "apr", "mai", "jun", "jul", "aug", "sep", "okt", "nov", "dez"},
    {"ene", "feb", "mar", "abr", "may", "jun", "jul", "ago", "sept", "oct", "nov", "dic"},
    {"gen", "feb", "mar", "apr", "mag", "giu", "lug", "ago", "set", "ott", "nov", "dic"},
    // Portuguese, Dutch, Swedish, Polish, Czech, Turkish
    {"jan", "fev", "mar", "abr", "mai", "jun", "jul", "ago", "set", "out", "nov", "dez"},
    {"jan", "feb", "mrt", "apr", "mei", "jun", "jul", "aug", "sep", "okt", "nov", "dec"},
    {"jan", "feb", "mar", "apr", "maj", "jun", "jul", "aug", "sep", "okt", "nov", "dec"},
    {"sty", "lut", "mar", "kwi", "maj", "cze", "lip", "sie", "wrz", "paź", "lis", "gru"},
    {"led", "úno", "bře", "dub", "kvě", "čen", "čec", "srp", "zář", "říj", "lis", "pro"},
    {"oca", "Şub", "mar", "nis", "may", "haz", "tem", "ağu", "eyl", "eki", "kas", "ara"},
    // Russian (two forms of May), Japanese and Chinese
    {"янв", "фев", "мар", "апр", "май", "июн", "июл", "авг", "сен", "окт", "ноя", "дек"},
    {"янв", "фев", "мар", "апр", "мая", "июн", "июл", "авг", "сен", "окт", "ноя", "дек"},
    {"1月", "2月", "3月", "4月", "5月", "6月", "7月", "8月", "9月", "10月", "11月", "12月"},
};

// The month of a month name in any language of kLocalMonthNames, its ASCII
// letters in any case (1 to 12), or 0. Letters beyond ASCII are compared
// as the translations write them ("Şub").
int LocalMonth(std::string_view name) {
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);
  std::string lower(name);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (const auto& language : kLocalMonthNames) {
    for (int month = 0; month < 12; ++month) {
      if (lower == language[month]) return month + 1;
    }
  }
  return 0;
}

// "Mmm dd", "Mmm  d" or "Mmm d": a month and a day without a year. The
// month may be named in another language ("juil. 04", "Mär 05").
bool ReadMonthAndDay(std::string_view text, CalendarDate& date) {
  size_t blank = text.find(' ');
  if (blank == std::string_view::npos || blank == 0 || text.size() - blank > 3) return false;
  size_t at = blank + 1;
  date.month = blank == 3 ? MonthAt(text, 0) : 0;
  if (date.month == 0) date.month = LocalMonth(text.substr(0, blank));
  date.day = ReadDayOfMonth(text, at);
  // 29 February is a date in leap years only; the year is known later.
  CalendarDate leapYear = {2000, date.month, date.day};
  return at == text.size() && Valid(leapYear);
}

void WriteName(const CalendarDate& date, NameFamily family, std::string& name) {
  char text[48];
  if (family == NameFamily::kIso) {
    snprintf(text, sizeof text, "%04lld-%02d-%02d", static_cast<long long>(date.year), date.month,
             date.day);
  } else {
    // Day 1, 1 January 1970, was a Thursday.
    int64_t weekday = ((DayNumberOfDate(date.year, date.month, date.day) + 3) % 7 + 7) % 7;
    snprintf(text, sizeof text, "%s %s %02d %04lld", kWeekdayNames[weekday],
             kMonthNames[date.month - 1], date.day, static_cast<long long>(date.year));
  }
  name.assign(text);
}

void Remember(const CalendarDate& date, DateContext& context) {
  context.haveYear = true;
  context.year = date.year;
  context.month = date.month;
}

}  // namespace

DayNaming NameDayOfDate(std::string_view text, DateContext& context, std::string& name) {
  CalendarDate date;
  NameFamily family = NameFamily::kWeekdayFirst;
  if (IsDayNameShape(text, date)) {
    Remember(date, context);
    return DayNaming::kAsWritten;
  }
  if (ReadTimeInside(text, date) || ReadCompactOrTimed(text, date, family)) {
    Remember(date, context);
    WriteName(date, family, name);
    return DayNaming::kRenamed;
  }
  if (!ReadMonthAndDay(text, date)) return DayNaming::kAsWritten;
  if (!context.haveYear) return DayNaming::kNoYear;
  date.year = context.year + (date.month < context.month ? 1 : 0);
  if (!Valid(date)) return DayNaming::kAsWritten;  // 29 February of a common year
  Remember(date, context);
  WriteName(date, NameFamily::kWeekdayFirst, name);
  return DayNaming::kRenamed;
}

void OtherDayName(std::string_view name, std::string& other) {
  CalendarDate date;
  if (!IsDayNameShape(name, date)) {
    other.clear();
    return;
  }
  WriteName(date, IsWeekdayAt(name, 0) ? NameFamily::kIso : NameFamily::kWeekdayFirst, other);
}

void DayNameTwins(std::string_view name, std::vector<std::string>& twins) {
  twins.clear();
  CalendarDate date;
  if (!IsDayNameShape(name, date)) return;
  std::string twin;
  WriteName(date, NameFamily::kIso, twin);
  if (twin != name) twins.push_back(twin);
  WriteName(date, NameFamily::kWeekdayFirst, twin);
  if (twin != name) twins.push_back(twin);
  if (date.day < 10) {
    twin[8] = ' ';
    if (twin != name) twins.push_back(twin);
  }
}

namespace {

// The calendar date of a day number, 1 being 1 January 1970 (the days are
// counted in eras of 400 years, which repeat exactly).
CalendarDate DateOfDayNumber(int64_t dayNumber) {
  int64_t z = dayNumber - 1 + 719468;  // days since 1 March of year 0
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t dayOfEra = z - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  CalendarDate date;
  date.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  date.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
  return date;
}

}  // namespace

bool DayNumberOfDayName(std::string_view name, int64_t& dayNumber) {
  CalendarDate date;
  if (!IsDayNameShape(name, date)) return false;
  dayNumber = DayNumberOfDate(date.year, date.month, date.day);
  return true;
}

void NameDayLike(std::string_view like, int64_t dayNumber, std::string& name) {
  WriteName(DateOfDayNumber(dayNumber), like.size() == 10 ? NameFamily::kIso : NameFamily::kWeekdayFirst,
            name);
}
