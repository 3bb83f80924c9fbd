// The one way from a nick as a log line writes it to the record it counts
// toward. Speakers, kicked nicks, the addressee of a line and the nicks of
// the exclusion file all reach their records through here, so whatever
// decides which record a nick belongs to decides it in one place.
//
// Without a users file every nick is its own person, and its record is
// named as the nick was first written. With one, each nick is asked of the
// users map once, the first time it is met, and the answer is kept: a nick
// of a person counts toward the person's one record, named with the main
// name; a nick of an ignored person counts toward nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "stats/name_index.h"
#include "stats/tables.h"

struct StatsStore;

// What the users map said of one nick, kept from the first time it was met.
struct MetNick {
  std::string name;     // as first written
  int32_t person = -1;  // the person of the users map; -1 for a nick that is its own
  int32_t record = -1;  // the position of its record; -1 before this nick found it
  bool ignored = false;  // a nick of an ignored person
};

// The answers of the users map, and where each person's record is.
struct NickMemo {
  std::vector<MetNick> nicks;
  NameIndex index;
  std::vector<int32_t> recordOfPerson;  // by person; -1 before the person has a record
  uint64_t layoutSeen = ~uint64_t{0};  // the NickTable layout the positions belong to
  size_t longestNick = 0;
  NickRecord discarded;  // counts nothing: what the nick of an ignored person gets
};

// The record of `nick`, compared without regard to case; created at the
// end of the table when the nick (or its person) is new. The nick of an
// ignored person gets a record outside the table, which nothing reads. The
// reference stays valid until the table's next removal or sort.
NickRecord& NickOf(StatsStore& store, std::string_view nick);

// The same, but null for the nick of an ignored person, and nothing is
// created for it.
NickRecord* CountedNickOf(StatsStore& store, std::string_view nick);

// True when `nick` belongs to an ignored person, whose lines are dropped.
bool IsIgnoredNick(StatsStore& store, std::string_view nick);

// The record of `nick` when there is one; null otherwise. Creates no record.
NickRecord* KnownNickOf(StatsStore& store, std::string_view nick);
const NickRecord* KnownNickOf(const StatsStore& store, std::string_view nick);

// The name the page shows for `nick` where it names who did something (the
// pools' "Who by"): the person's main name for a nick of the users map, the
// nick as written otherwise. Valid as long as `store` and `nick` are.
std::string_view ShownNameOf(const StatsStore& store, std::string_view nick);

// Sets the flag, in `marked` (see MarkNick), of the record of every bot of
// the users map that has one.
void MarkBotRecords(const StatsStore& store, std::vector<bool>& marked);

// The length of the longest nick that can lead to a record other than its
// own name: every nick asked about so far and every exact name of the
// users map (0 without one).
size_t LongestAliasKnown(const StatsStore& store);
