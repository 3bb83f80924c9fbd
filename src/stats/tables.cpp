#include "stats/tables.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <sys/random.h>

#include "stats/text_basics.h"

namespace {

uint64_t RotateLeft(uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

struct SipState {
  uint64_t v0, v1, v2, v3;
};

void SipRound(SipState& s) {
  s.v0 += s.v1;
  s.v1 = RotateLeft(s.v1, 13) ^ s.v0;
  s.v0 = RotateLeft(s.v0, 32);
  s.v2 += s.v3;
  s.v3 = RotateLeft(s.v3, 16) ^ s.v2;
  s.v0 += s.v3;
  s.v3 = RotateLeft(s.v3, 21) ^ s.v0;
  s.v2 += s.v1;
  s.v1 = RotateLeft(s.v1, 17) ^ s.v2;
  s.v2 = RotateLeft(s.v2, 32);
}

void SipAbsorb(SipState& s, uint64_t word) {
  s.v3 ^= word;
  SipRound(s);
  s.v0 ^= word;
}

// SipHash-1-3 of the case-folded name under the index's key: without the
// key, nobody can choose names that share a slot.
uint64_t FoldedNameHash(const NameIndex& index, std::string_view name) {
  SipState s = {index.key[0] ^ 0x736f6d6570736575ull, index.key[1] ^ 0x646f72616e646f6dull,
                index.key[0] ^ 0x6c7967656e657261ull, index.key[1] ^ 0x7465646279746573ull};
  uint64_t word = 0;
  size_t i = 0;
  for (; i < name.size(); ++i) {
    word |= uint64_t{FoldCase(static_cast<unsigned char>(name[i]))} << (8 * (i & 7));
    if ((i & 7) == 7) {
      SipAbsorb(s, word);
      word = 0;
    }
  }
  SipAbsorb(s, word | (uint64_t{name.size() & 0xff} << 56));
  s.v2 ^= 0xff;
  SipRound(s);
  SipRound(s);
  SipRound(s);
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

uint64_t MixBits(uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

// A fresh key from the system's random source; where that gives nothing,
// from the clock and the index's address. Never from rand(), whose draws
// belong to the page.
void DrawIndexKey(NameIndex& index) {
  uint64_t key[2] = {0, 0};
  if (getrandom(key, sizeof key, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof key)) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t seed = static_cast<uint64_t>(now.tv_sec) * 1000000000ull +
                    static_cast<uint64_t>(now.tv_nsec);
    key[0] = MixBits(seed ^ reinterpret_cast<uintptr_t>(&index));
    key[1] = MixBits(key[0] ^ static_cast<uint64_t>(time(nullptr)));
  }
  index.key[0] = key[0];
  index.key[1] = key[1];
  index.keyed = true;
}

// The index is an open-addressing table of record positions, probed
// linearly and kept at most half full. `nameOf(position)` gives the name of
// the record at a position.
template <typename NameOf>
int32_t IndexFind(const NameIndex& index, std::string_view name, NameOf nameOf) {
  if (index.slots.empty()) return -1;
  size_t mask = index.slots.size() - 1;
  for (size_t slot = FoldedNameHash(index, name) & mask;; slot = (slot + 1) & mask) {
    int32_t position = index.slots[slot];
    if (position < 0) return -1;
    if (NamesEqualIgnoringCase(nameOf(position), name)) return position;
  }
}

template <typename NameOf>
void IndexPlace(NameIndex& index, int32_t position, NameOf nameOf) {
  size_t mask = index.slots.size() - 1;
  size_t slot = FoldedNameHash(index, nameOf(position)) & mask;
  while (index.slots[slot] >= 0) slot = (slot + 1) & mask;
  index.slots[slot] = position;
  ++index.used;
}

template <typename NameOf>
void IndexRebuild(NameIndex& index, int32_t count, NameOf nameOf) {
  size_t size = 16;
  while (size < static_cast<size_t>(count) * 2 + 2) size *= 2;
  if (!index.keyed) DrawIndexKey(index);
  index.slots.assign(size, -1);
  index.used = 0;
  for (int32_t position = 0; position < count; ++position) IndexPlace(index, position, nameOf);
}

template <typename NameOf>
void IndexInsert(NameIndex& index, int32_t position, NameOf nameOf) {
  if (static_cast<size_t>(index.used + 1) * 2 > index.slots.size()) {
    IndexRebuild(index, position, nameOf);  // every position before this one
  }
  IndexPlace(index, position, nameOf);
}

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

// A text of exactly ten characters shaped yyyy-mm-dd, with the month 01 to
// 12 and the day 01 to 31, as the date it names (month counted from 0).
bool ReadIsoDate(std::string_view date, int64_t& year, int& month, int64_t& day) {
  if (date.size() != 10 || date[4] != '-' || date[7] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (date[i] < '0' || date[i] > '9') return false;
  }
  auto digits = [&date](size_t at, size_t count) {
    int64_t value = 0;
    for (size_t i = at; i < at + count; ++i) value = value * 10 + (date[i] - '0');
    return value;
  };
  year = digits(0, 4);
  int64_t monthNumber = digits(5, 2);
  day = digits(8, 2);
  if (monthNumber < 1 || monthNumber > 12 || day < 1 || day > 31) return false;
  month = static_cast<int>(monthNumber - 1);
  return true;
}

}  // namespace

NickRecord* FindNick(NickTable& table, std::string_view nick) {
  int32_t position = IndexFind(table.index, nick, RecordNames(table));
  return position < 0 ? nullptr : &table.records[position];
}

const NickRecord* FindNick(const NickTable& table, std::string_view nick) {
  int32_t position = IndexFind(table.index, nick, RecordNames(table));
  return position < 0 ? nullptr : &table.records[position];
}

NickRecord& AddNick(NickTable& table, std::string_view nick) { return AddNamedRecord(table, nick); }

void MarkNick(const NickTable& table, std::string_view nick, std::vector<bool>& marked) {
  if (const NickRecord* record = FindNick(table, nick)) MarkRecord(table, *record, marked);
}

void MarkRecord(const NickTable& table, const NickRecord& record, std::vector<bool>& marked) {
  if (marked.size() < table.records.size()) marked.resize(table.records.size(), false);
  marked[static_cast<size_t>(&record - table.records.data())] = true;
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
  std::sort(table.records.begin(), table.records.end(),
            [](const NickRecord& a, const NickRecord& b) { return CompareNickNames(a, b) < 0; });
  std::stable_sort(
      table.records.begin(), table.records.end(),
      [](const NickRecord& a, const NickRecord& b) { return CompareNicksByLines(a, b) < 0; });
  IndexRebuild(table.index, static_cast<int32_t>(table.records.size()), RecordNames(table));
}

void SortDaysForPage(DayTable& table) {
  std::stable_sort(table.records.begin(), table.records.end(),
                   [](const DayRecord& a, const DayRecord& b) { return CompareDays(a, b) < 0; });
  IndexRebuild(table.index, static_cast<int32_t>(table.records.size()), RecordNames(table));
}
