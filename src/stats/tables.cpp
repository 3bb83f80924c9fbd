#include "stats/tables.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "stats/name_index.h"
#include "stats/text_basics.h"

namespace {

// The name of the record at a position, for either table.
template <typename Table>
auto RecordNames(const Table& table) {
  return [&table](int32_t position) -> std::string_view { return table.records[position].name; };
}

// Appends a record named `name` to either table and indexes it.
template <typename Table>
auto& AddNamedRecord(Table& table, std::string_view name) {
  table.records.emplace_back();
  table.records.back().name.assign(name);
  int32_t position = static_cast<int32_t>(table.records.size() - 1);
  IndexInsert(table.index, position, RecordNames(table));
  return table.records.back();
}


int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Leap years from year 1 up to the year before `year`, by the Gregorian rule.
int64_t LeapYearsBefore(int64_t year) {
  int64_t y = year - 1;
  return FloorDiv(y, 4) - FloorDiv(y, 100) + FloorDiv(y, 400);
}

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int MonthOf(std::string_view date) {
  // The first of these found anywhere in the text decides; none is January.
  static const char* const kMonths[] = {"Dec", "Nov", "Oct", "Sep", "Aug", "Jul",
                                        "Jun", "May", "Apr", "Mar", "Feb"};
  for (int i = 0; i < 11; ++i) {
    if (date.find(kMonths[i]) != std::string_view::npos) return 11 - i;
  }
  return 0;
}

// A text shaped yyyy-mm-dd, the year of four to nine digits, that names a
// day of the calendar (no 30 February, no month 13), as the date it names
// (month counted from 0).
bool ReadIsoDate(std::string_view date, int64_t& year, int& month, int64_t& day) {
  static const int kDaysInMonth[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (date.size() < 10 || date.size() > 15) return false;
  size_t yearDigits = date.size() - 6;
  if (date[yearDigits] != '-' || date[yearDigits + 3] != '-') return false;
  auto digits = [&date](size_t at, size_t count) {
    int64_t value = 0;
    for (size_t i = at; i < at + count; ++i) {
      if (date[i] < '0' || date[i] > '9') return int64_t{-1};
      value = value * 10 + (date[i] - '0');
    }
    return value;
  };
  year = digits(0, yearDigits);
  int64_t monthNumber = digits(yearDigits + 1, 2);
  day = digits(yearDigits + 4, 2);
  if (year < 0 || monthNumber < 1 || monthNumber > 12 || day < 1) return false;
  if (day > kDaysInMonth[monthNumber - 1] || (monthNumber == 2 && day == 29 && !IsLeapYear(year))) {
    return false;
  }
  month = static_cast<int>(monthNumber - 1);
  return true;
}

// What the page order compares, taken out of a record: sorting reads the
// records themselves only for nicks with as many lines and names that
// begin alike.
struct PageSortKey {
  int64_t lines;
  uint64_t namePrefix;  // the first eight bytes of the name, folded, the first one highest
  int32_t position;
};

// The prefixes of two names compare as the names do, unless they are equal.
uint64_t FoldedNamePrefix(std::string_view name) {
  uint64_t prefix = 0;
  for (size_t i = 0; i < 8; ++i) {
    prefix = prefix << 8 | (i < name.size() ? FoldCase(static_cast<unsigned char>(name[i])) : 0);
  }
  return prefix;
}

// The records' keys in the page's order: most lines first, then by name,
// descending. No two records have names equal without regard to case, so
// this is one order whatever the sort; records made by hand with equal
// names keep the order of their positions.
std::vector<PageSortKey> PageOrder(const std::deque<NickRecord>& records) {
  std::vector<PageSortKey> keys(records.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    keys[i] = {records[i].lines, FoldedNamePrefix(records[i].name), static_cast<int32_t>(i)};
  }
  std::sort(keys.begin(), keys.end(), [&records](const PageSortKey& a, const PageSortKey& b) {
    if (a.lines != b.lines) return a.lines > b.lines;
    if (a.namePrefix != b.namePrefix) return a.namePrefix > b.namePrefix;
    int byName = CompareNickNames(records[a.position], records[b.position]);
    return byName != 0 ? byName < 0 : a.position < b.position;
  });
  return keys;
}

// Moves the records so that position i holds the record that stood at
// order[i].position, one cycle of the permutation at a time; `order` is
// used up.
void MoveIntoOrder(std::deque<NickRecord>& records, std::vector<PageSortKey>& order) {
  for (size_t start = 0; start < order.size(); ++start) {
    if (order[start].position < 0 || static_cast<size_t>(order[start].position) == start) continue;
    NickRecord held = std::move(records[start]);
    size_t to = start;
    for (;;) {
      size_t from = static_cast<size_t>(order[to].position);
      order[to].position = -1;
      if (from == start) break;
      records[to] = std::move(records[from]);
      to = from;
    }
    records[to] = std::move(held);
  }
}

}  // namespace

NickRecord* FindNick(NickTable& table, std::string_view nick) {
  int32_t position = FindNickPosition(table, nick);
  return position < 0 ? nullptr : &table.records[position];
}

const NickRecord* FindNick(const NickTable& table, std::string_view nick) {
  int32_t position = FindNickPosition(table, nick);
  return position < 0 ? nullptr : &table.records[position];
}

int32_t FindNickPosition(const NickTable& table, std::string_view nick) {
  return IndexFind(table.index, nick, RecordNames(table));
}

NickRecord& AddNick(NickTable& table, std::string_view nick) { return AddNamedRecord(table, nick); }

void MarkNick(const NickTable& table, std::string_view nick, std::vector<bool>& marked) {
  int32_t position = FindNickPosition(table, nick);
  if (position < 0) return;
  if (marked.size() < table.records.size()) marked.resize(table.records.size(), false);
  marked[static_cast<size_t>(position)] = true;
}

void MarkRecord(const NickTable& table, const NickRecord& record, std::vector<bool>& marked) {
  // A record's name is its key in the index, which gives its position.
  MarkNick(table, record.name, marked);
}

void RemoveMarkedNicks(NickTable& table, const std::vector<bool>& marked) {
  size_t kept = 0;
  for (size_t position = 0; position < table.records.size(); ++position) {
    if (position < marked.size() && marked[position]) continue;
    if (kept != position) table.records[kept] = std::move(table.records[position]);
    ++kept;
  }
  if (kept == table.records.size()) return;
  table.records.erase(table.records.begin() + static_cast<std::ptrdiff_t>(kept),
                      table.records.end());
  ++table.layout;
  IndexRebuild(table.index, static_cast<int32_t>(kept), RecordNames(table));
}

DayRecord* FindDay(DayTable& table, std::string_view date, int verbosity) {
  if (verbosity > 1) {
    // The scan the diagnostics describe: every record compared, in order.
    for (DayRecord& day : table.records) {
      fprintf(stderr, "Channel Name: '%s' (%.*s)\n", day.name.c_str(),
              static_cast<int>(date.size()), date.data());
      if (NamesEqualIgnoringCase(day.name, date)) return &day;
    }
    return nullptr;
  }
  int32_t position = IndexFind(table.index, date, RecordNames(table));
  return position < 0 ? nullptr : &table.records[position];
}

DayRecord& AddDay(DayTable& table, std::string_view date) { return AddNamedRecord(table, date); }

int64_t DayNumber(std::string_view date) {
  int64_t year, day;
  int month;
  if (!ReadIsoDate(date, year, month, day)) {
    year = ReadNumberAt(date, 11);
    day = ReadNumberAt(date, 8);
    month = MonthOf(date);
  }
  return DayNumberOfDate(year, month + 1, day);
}

int64_t DayNumberOfDate(int64_t year, int month, int64_t day) {
  static const int kDaysBeforeMonth[12] = {0,   31,  59,  90,  120, 151,
                                           181, 212, 243, 273, 304, 334};
  int index = month - 1;
  int64_t daysBeforeMonth = kDaysBeforeMonth[index] + (index >= 2 && IsLeapYear(year) ? 1 : 0);
  int64_t daysBeforeYear = (year - 1970) * 365 + LeapYearsBefore(year) - LeapYearsBefore(1970);
  return daysBeforeYear + daysBeforeMonth + day;
}

int CompareNickNames(const NickRecord& a, const NickRecord& b) {
  return CompareNamesIgnoringCase(b.name, a.name);
}

int CompareNicksByLines(const NickRecord& a, const NickRecord& b) {
  return a.lines > b.lines ? -1 : a.lines < b.lines ? 1 : 0;
}

int CompareDays(const DayRecord& a, const DayRecord& b) {
  bool aUndated = a.name == UNDATED;
  bool bUndated = b.name == UNDATED;
  if (aUndated && !bUndated) return -1;
  if (bUndated && !aUndated) return 1;
  if (a.name == b.name) return 0;
  int64_t difference = DayNumber(a.name) - DayNumber(b.name);
  return difference < 0 ? -1 : difference > 0 ? 1 : 0;
}

void SortNicksForPage(NickTable& table) {
  // The index is made afresh for the new positions; its old slots go first,
  // to make room for the keys.
  std::vector<int32_t>().swap(table.index.slots);
  {
    std::vector<PageSortKey> order = PageOrder(table.records);
    MoveIntoOrder(table.records, order);
  }
  ++table.layout;
  IndexRebuild(table.index, static_cast<int32_t>(table.records.size()), RecordNames(table));
}

void SortDaysForPage(DayTable& table) {
  std::stable_sort(table.records.begin(), table.records.end(),
                   [](const DayRecord& a, const DayRecord& b) { return CompareDays(a, b) < 0; });
  IndexRebuild(table.index, static_cast<int32_t>(table.records.size()), RecordNames(table));
}
