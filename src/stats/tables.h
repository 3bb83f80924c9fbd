// The per-nick and per-day records of a run and the tables that hold them.
//
// NickTable keeps every record where it was created and finds it through a
// keyed hash on the case-folded name (stats/name_index.h), so adding a nick
// costs the same with two hundred thousand nicks as with eight; the name
// order is built only where something needs it. Its records are held in
// blocks that never move once made: adding a nick copies none of them, so
// the table's memory grows by one record at a time, never by twice its
// size. DayTable keeps days in the order they were first met.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

#include "stats/name_index.h"
#include "stats/samples.h"

constexpr uint32_t LAST_LINE_ASKED = 1u << 0;

// The text statistics and the lines by quarter are kept whole: the page
// divides and sums them. The counts of single events (joins, kicks, nick
// changes, topic changes, URLs, seen requests, answers, monologues and the
// counted word's hits) are read only by the Big Numbers, which compare and
// print the low 32 bits of every value; they are kept as exactly those 32
// bits (counted modulo 2^32), which halves their share of the record.
struct NickRecord {
  std::string name;  // as written on the line that created the record
  QuoteSample quote;
  int64_t lines = 0;
  int64_t textLines[4] = {0, 0, 0, 0};
  int64_t actionLines[4] = {0, 0, 0, 0};
  int64_t letters = 0;
  int64_t questions = 0;
  int64_t shouts = 0;
  uint32_t statWordHits = 0;
  uint32_t joins = 0;
  uint32_t timesKicked = 0;
  uint32_t kicksGiven = 0;
  uint32_t nickChanges = 0;
  uint32_t seenRequests = 0;
  uint32_t urls = 0;
  uint32_t topicChanges = 0;
  uint32_t monologues = 0;
  uint32_t answers = 0;
  uint32_t flags = 0;
};

struct NickTable {
  // A record stays where it is while nicks are added: a reference to one
  // is valid until the next removal or sort.
  std::deque<NickRecord> records;
  NameIndex index;
  // Raised whenever records change places (a sort, a removal), so that
  // whoever keeps record positions knows to look them up again. Adding a
  // record moves none.
  uint64_t layout = 0;
};

constexpr const char* UNDATED = "Unknown";

struct DayRecord {
  int64_t hours[24] = {};
  int64_t lines = 0;
  std::optional<std::string> topic;  // the latest topic set on that day
  std::string name;                  // the date text, kept whole
  QuoteSample quote;                 // a random raw line of the day
};

struct DayTable {
  std::vector<DayRecord> records;  // in the order the dates were first met
  NameIndex index;
};

// The record of `nick`, compared without regard to case; null when there is
// none.
NickRecord* FindNick(NickTable& table, std::string_view nick);
const NickRecord* FindNick(const NickTable& table, std::string_view nick);
// The position in `table.records` of the record of `nick`; -1 when none.
int32_t FindNickPosition(const NickTable& table, std::string_view nick);
// Creates the record of `nick` at the end of the table.
// REQUIRES: FindNick does not find `nick`.
NickRecord& AddNick(NickTable& table, std::string_view nick);
// Removal of nicks, compared without regard to case. MarkNick sets the flag of the record of
// that name, if any, in `marked` (one flag per record, grown to the table's
// size); RemoveMarkedNicks then removes every marked record in one pass,
// keeping the others in their order, and rebuilds the index once.
void MarkNick(const NickTable& table, std::string_view nick, std::vector<bool>& marked);
// Sets the flag of `record`, a record of `table`, in `marked`.
void MarkRecord(const NickTable& table, const NickRecord& record, std::vector<bool>& marked);
void RemoveMarkedNicks(NickTable& table, const std::vector<bool>& marked);

// Finds a day by name, without regard to case. Above verbosity 1 every
// record compared is reported, in table order.
DayRecord* FindDay(DayTable& table, std::string_view date, int verbosity);
// REQUIRES: FindDay does not find `date`.
DayRecord& AddDay(DayTable& table, std::string_view date);

// Gregorian day count of a date text laid out as Www Mmm dd yyyy, or of an
// ISO date yyyy-mm-dd; 1 for Thu Jan 01 1970 (1970-01-01).
int64_t DayNumber(std::string_view date);
// The same count for a calendar date: `month` 1 to 12, `day` 1 to 31.
int64_t DayNumberOfDate(int64_t year, int month, int64_t day);

// Sort orders: the table's name order (descending by name), the page's
// activity order (most lines first) and the page's day order (the undated
// day first, then by date).
int CompareNickNames(const NickRecord& a, const NickRecord& b);
int CompareNicksByLines(const NickRecord& a, const NickRecord& b);
int CompareDays(const DayRecord& a, const DayRecord& b);

// Puts the records into the page's order: by activity, and in name order
// among nicks with the same number of lines. The order is worked out on
// keys of 24 bytes a nick, in the room of the index, which is made afresh;
// the records are then moved into it in place, each once. The index stays
// valid: a nick is found, and a new one added, after sorting as before.
void SortNicksForPage(NickTable& table);
void SortDaysForPage(DayTable& table);
