#include "stats/tables.h"

#include "../bench/colliding_nicks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "driver/users_file.h"
#include "run_binary.h"
#include "stats/nick_lookup.h"
#include "stats/stats_store.h"

namespace {

using test_support::StderrCapture;
using test_support::TextStream;

std::vector<std::string> NamesInOrder(const NickTable& table) {
  std::vector<std::string> names;
  for (const NickRecord& record : table.records) names.push_back(record.name);
  return names;
}

// One nick removed through the marking the exclusion file uses.
void RemoveNick(NickTable& table, std::string_view nick) {
  std::vector<bool> marked;
  MarkNick(table, nick, marked);
  RemoveMarkedNicks(table, marked);
}

std::vector<std::string> NamesInOrder(const DayTable& table) {
  std::vector<std::string> names;
  for (const DayRecord& record : table.records) names.push_back(record.name);
  return names;
}

TEST(NickTable, FindsNicksWithoutRegardToCaseAndKeepsTheFirstName) {
  NickTable table;
  EXPECT_EQ(FindNick(table, "Alice"), nullptr);
  AddNick(table, "Alice").lines = 3;
  for (const char* spelling : {"Alice", "alice", "ALICE", "aLiCe"}) {
    NickRecord* found = FindNick(table, spelling);
    ASSERT_NE(found, nullptr) << spelling;
    EXPECT_EQ(found->name, "Alice");
    EXPECT_EQ(found->lines, 3);
  }
  EXPECT_EQ(FindNick(table, "Alic"), nullptr);
  EXPECT_EQ(FindNick(table, "Alicee"), nullptr);
  EXPECT_EQ(FindNick(table, ""), nullptr);
  EXPECT_EQ(table.records.size(), 1u);

  // Only A to Z fold: brackets and bytes above 127 keep their own values.
  AddNick(table, "a[b]");
  AddNick(table, "\xc4x");
  EXPECT_EQ(FindNick(table, "A{B}"), nullptr);
  EXPECT_NE(FindNick(table, "A[B]"), nullptr);
  EXPECT_EQ(FindNick(table, "\xe4x"), nullptr);
  EXPECT_NE(FindNick(table, "\xc4X"), nullptr);

  // The empty name is a nick like any other.
  AddNick(table, "");
  ASSERT_NE(FindNick(table, ""), nullptr);
  EXPECT_EQ(FindNick(table, "")->name, "");
}

TEST(NickTable, EveryNickStaysFindableAsTheTableGrows) {
  NickTable table;
  const int kNicks = 5000;
  const NickRecord* first = nullptr;
  for (int i = 0; i < kNicks; ++i) {
    std::string nick = "Nick" + std::to_string(i);
    ASSERT_EQ(FindNick(table, nick), nullptr) << nick;
    NickRecord& record = AddNick(table, nick);
    if (i == 0) first = &record;
    EXPECT_EQ(record.name, nick);
    EXPECT_EQ(record.lines, 0);
    EXPECT_EQ(record.monologues, 0);
    EXPECT_EQ(record.flags, 0u);
    EXPECT_FALSE(record.quote.text.has_value());
    record.lines = i;
  }
  ASSERT_EQ(table.records.size(), static_cast<size_t>(kNicks));
  for (int i = 0; i < kNicks; ++i) {
    NickRecord* found = FindNick(table, "NICK" + std::to_string(i));
    ASSERT_NE(found, nullptr) << i;
    EXPECT_EQ(found->lines, i);
  }
  // Adding nicks moved no record: the first is where it was made.
  EXPECT_EQ(FindNick(table, "nick0"), first);
}

TEST(NickTable, RemovesNicksWithoutRegardToCase) {
  NickTable table;
  for (const char* nick : {"Alice", "Bob", "Carol", "Dave"}) AddNick(table, nick).lines = 1;
  FindNick(table, "Bob")->quote.text = "a quote";

  RemoveNick(table, "bOB");
  EXPECT_EQ(FindNick(table, "Bob"), nullptr);
  EXPECT_EQ(table.records.size(), 3u);
  for (const char* nick : {"Alice", "Carol", "Dave"}) EXPECT_NE(FindNick(table, nick), nullptr);

  // Removing a nick that is not there leaves the table as it was.
  std::vector<std::string> before = NamesInOrder(table);
  RemoveNick(table, "Bob");
  RemoveNick(table, "Mallory");
  RemoveNick(table, "");
  EXPECT_EQ(NamesInOrder(table), before);

  // The record that was created last, then everything else.
  RemoveNick(table, "DAVE");
  EXPECT_EQ(FindNick(table, "Dave"), nullptr);
  EXPECT_NE(FindNick(table, "Alice"), nullptr);
  EXPECT_NE(FindNick(table, "Carol"), nullptr);
  RemoveNick(table, "alice");
  RemoveNick(table, "carol");
  EXPECT_TRUE(table.records.empty());
  EXPECT_EQ(FindNick(table, "Carol"), nullptr);

  // A removed nick can come back as a new record.
  NickRecord& again = AddNick(table, "BOB");
  EXPECT_EQ(again.lines, 0);
  EXPECT_FALSE(again.quote.text.has_value());
  ASSERT_NE(FindNick(table, "bob"), nullptr);
  EXPECT_EQ(FindNick(table, "bob")->name, "BOB");
}

TEST(NickTable, RemovalKeepsTheOthersFindableInALargeTable) {
  NickTable table;
  for (int i = 0; i < 300; ++i) AddNick(table, "n" + std::to_string(i)).lines = i;
  for (int i = 0; i < 300; i += 3) RemoveNick(table, "N" + std::to_string(i));
  EXPECT_EQ(table.records.size(), 200u);
  for (int i = 0; i < 300; ++i) {
    NickRecord* found = FindNick(table, "n" + std::to_string(i));
    if (i % 3 == 0) {
      EXPECT_EQ(found, nullptr) << i;
    } else {
      ASSERT_NE(found, nullptr) << i;
      EXPECT_EQ(found->lines, i);
    }
  }
}

TEST(NickTable, RemovesManyMarkedNicksInOnePassKeepingTheOthersInOrder) {
  NickTable table;
  for (int i = 0; i < 1000; ++i) AddNick(table, "n" + std::to_string(i)).lines = i;
  std::vector<bool> marked;
  for (int i = 0; i < 1000; i += 2) MarkNick(table, "N" + std::to_string(i), marked);
  MarkNick(table, "N2", marked);       // twice the same nick
  MarkNick(table, "nobody", marked);   // not there: nothing marked
  EXPECT_EQ(table.records.size(), 1000u);  // marking removes nothing yet
  RemoveMarkedNicks(table, marked);
  ASSERT_EQ(table.records.size(), 500u);
  for (size_t i = 0; i < table.records.size(); ++i) {
    EXPECT_EQ(table.records[i].name, "n" + std::to_string(2 * i + 1));
  }
  for (int i = 0; i < 1000; ++i) {
    NickRecord* found = FindNick(table, "n" + std::to_string(i));
    EXPECT_EQ(found == nullptr, i % 2 == 0) << i;
    if (found != nullptr) {
      EXPECT_EQ(found->lines, i);
    }
  }
  // Nothing marked, or flags shorter than the table, remove only what is marked.
  RemoveMarkedNicks(table, {});
  RemoveMarkedNicks(table, {true});
  EXPECT_EQ(table.records.size(), 499u);
  EXPECT_EQ(FindNick(table, "n1"), nullptr);
  EXPECT_NE(FindNick(table, "n3"), nullptr);
}

// Names chosen to share one slot under a fixed hash stay spread out: the
// index's key is drawn for each index, so they cannot be aimed at it.
TEST(NickTable, NamesMadeToCollideInAnUnkeyedHashStaySpreadOut) {
  const size_t kNicks = 20000;
  std::vector<std::string> crafted = colliding_nicks::FnvCollidingNicks(kNicks, 16);
  ASSERT_EQ(crafted.size(), kNicks);
  uint64_t slotBits = colliding_nicks::FnvHash(crafted[0]) & 0xffff;
  for (const std::string& nick : crafted) {
    ASSERT_EQ(colliding_nicks::FnvHash(nick) & 0xffff, slotBits) << nick;
  }
  NickTable table;
  for (const std::string& nick : crafted) {
    ASSERT_EQ(FindNick(table, nick), nullptr);
    AddNick(table, nick);
  }
  ASSERT_EQ(table.index.slots.size(), 65536u);
  // Linear probing at half load makes runs of a few dozen slots; names that
  // all landed on one slot would make a run of all 20,000.
  EXPECT_LT(colliding_nicks::LongestOccupiedRun(table.index.slots), 200u);
  for (const std::string& nick : crafted) EXPECT_NE(FindNick(table, nick), nullptr);

  // The measure itself: the run 3, 4, 0, 1 wraps round.
  EXPECT_EQ(colliding_nicks::LongestOccupiedRun({0, 1, -1, 2, -1, 3, 4}), 4u);

  NickTable other;
  AddNick(other, "a");
  AddNick(other, "b");
  EXPECT_TRUE(table.index.key[0] != other.index.key[0] || table.index.key[1] != other.index.key[1])
      << "two indexes drew the same key";
}

TEST(NickTable, NameOrderIsDescendingWithoutRegardToCase) {
  NickRecord alice, bob, al, upperAlice;
  alice.name = "alice";
  bob.name = "Bob";
  al.name = "al";
  upperAlice.name = "ALICE";
  EXPECT_GT(CompareNickNames(alice, bob), 0);
  EXPECT_LT(CompareNickNames(bob, alice), 0);
  EXPECT_EQ(CompareNickNames(alice, upperAlice), 0);
  // A prefix is the smaller name, so it comes after in descending order.
  EXPECT_GT(CompareNickNames(al, alice), 0);
  // "_" (95) lies between the upper- and lower-case letters; "b" folds to 98.
  NickRecord underscore;
  underscore.name = "_";
  EXPECT_LT(CompareNickNames(bob, underscore), 0);
}

TEST(NickTable, PageOrderIsByLinesThenByName) {
  NickTable table;
  const struct {
    const char* name;
    int64_t lines;
  } nicks[] = {{"Bob", 5}, {"alice", 3}, {"Carol", 3}, {"", 3},
               {"Eve", 7}, {"dave", 3},  {"zed", 0}};
  for (const auto& nick : nicks) AddNick(table, nick.name).lines = nick.lines;

  NickRecord more, fewer;
  more.lines = 10;
  fewer.lines = 2;
  EXPECT_LT(CompareNicksByLines(more, fewer), 0);
  EXPECT_GT(CompareNicksByLines(fewer, more), 0);
  EXPECT_EQ(CompareNicksByLines(more, more), 0);

  SortNicksForPage(table);
  EXPECT_EQ(NamesInOrder(table),
            (std::vector<std::string>{"Eve", "Bob", "dave", "Carol", "alice", "", "zed"}));
}

// Many nicks, few line counts, names met in no order, many of them alike
// in their first eight bytes or beyond ASCII: the page order is the name
// order (descending) made stable by lines, every record moves whole, and
// the index follows.
TEST(NickTable, PageOrderOfManyNicksMovesWholeRecords) {
  NickTable table;
  std::vector<std::pair<std::string, int64_t>> expected;
  std::map<std::string, int> numberOf;
  const char* const kStems[] = {"n", "LongName_", "longname", "\xc4N", "~"};
  for (int i = 0; i < 3000; ++i) {
    int scrambled = (i * 7919) % 3000;
    std::string name = kStems[scrambled % 5] + std::to_string(scrambled);
    NickRecord& record = AddNick(table, name);
    record.lines = scrambled % 7;
    record.letters = scrambled;
    record.joins = static_cast<uint32_t>(scrambled) * 3;
    record.quote.text = "said " + name;
    expected.push_back({name, record.lines});
    numberOf[name] = scrambled;
  }
  std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
    return CompareNamesIgnoringCase(b.first, a.first) < 0;
  });
  std::stable_sort(expected.begin(), expected.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });

  SortNicksForPage(table);
  ASSERT_EQ(table.records.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const NickRecord& record = table.records[i];
    ASSERT_EQ(record.name, expected[i].first) << i;
    int number = numberOf[record.name];
    EXPECT_EQ(record.lines, number % 7);
    EXPECT_EQ(record.letters, number);
    EXPECT_EQ(record.joins, static_cast<uint32_t>(number) * 3);
    EXPECT_EQ(record.quote.text, "said " + record.name);
    EXPECT_EQ(FindNick(table, record.name), &record);
  }
}

TEST(DayNumber, CountsCalendarDaysFromTheFirstOfJanuary1970) {
  EXPECT_EQ(DayNumber("Thu Jan 01 1970"), 1);
  EXPECT_EQ(DayNumber("Fri Dec 31 1999"), 10957);
  EXPECT_EQ(DayNumber("Sat Jan 01 2000"), 10958);
  EXPECT_EQ(DayNumber("Tue Feb 29 2000"), 11017);
  EXPECT_EQ(DayNumber("Wed Mar 01 2000"), 11018);
  EXPECT_EQ(DayNumber("Sun Dec 31 2000"), 11323);
  EXPECT_EQ(DayNumber("Mon Jan 01 2001"), 11324);
  EXPECT_EQ(DayNumber("Mon Mar 04 2002"), 11751);
  // Before 1970 the count goes on below 1.
  EXPECT_EQ(DayNumber("Wed Dec 31 1969"), 0);
  EXPECT_EQ(DayNumber("Mon Jan 01 1900"), -25566);
  // 2000 is a leap year, 2100 is not.
  EXPECT_EQ(DayNumber("Wed Mar 01 2000") - DayNumber("Mon Feb 28 2000"), 2);
  EXPECT_EQ(DayNumber("Mon Mar 01 2100") - DayNumber("Sun Feb 28 2100"), 1);
  EXPECT_EQ(DayNumber("Mon Jan 01 2101") - DayNumber("Sat Jan 01 2100"), 365);
  EXPECT_EQ(DayNumber("Mon Jan 01 2001") - DayNumber("Sat Jan 01 2000"), 366);
}

TEST(DayNumber, ReadsTheTextAsItIsLaidOut) {
  // The day of the month is read as atoi reads it: a leading blank is skipped.
  EXPECT_EQ(DayNumber("Sun Mar  4 2001"), DayNumber("Sun Mar 04 2001"));
  EXPECT_EQ(DayNumber("Sun Mar 04 2001"), 11386);
  // Month names are case-sensitive; without one the month is January.
  EXPECT_EQ(DayNumber("Sun mar 04 2001"), DayNumber("Thu Jan 04 2001"));
  EXPECT_EQ(DayNumber("Xxx Yyy 04 2001"), DayNumber("Thu Jan 04 2001"));
  // The first of Dec, Nov, ..., Feb found anywhere in the text decides.
  EXPECT_EQ(DayNumber("Feb Dec 01 2001"), DayNumber("Sat Dec 01 2001"));
  EXPECT_EQ(DayNumber("Mar Xxx 01 2001 Apr"), DayNumber("Sun Apr 01 2001"));
  // Positions past the end of a short text read as no digits.
  EXPECT_EQ(DayNumber("Unknown"), DayNumber("Www Jan 00 0000"));
  EXPECT_EQ(DayNumber(""), DayNumber("Unknown"));
  EXPECT_EQ(DayNumber("Www Mmm 7"), DayNumber("Www Mmm 07 0000"));
  // The same text always gives the same number.
  EXPECT_EQ(DayNumber("Unknown"), DayNumber("Unknown"));
}

TEST(DayNumber, ReadsIsoDatesAsCalendarDates) {
  EXPECT_EQ(DayNumber("1970-01-01"), 1);
  EXPECT_EQ(DayNumber("1999-12-31"), 10957);
  EXPECT_EQ(DayNumber("2000-02-29"), 11017);
  EXPECT_EQ(DayNumber("2000-03-01"), 11018);
  EXPECT_EQ(DayNumber("2001-03-04"), DayNumber("Sun Mar 04 2001"));
  EXPECT_EQ(DayNumber("2002-03-04"), 11751);
  EXPECT_LT(DayNumber("2009-12-31"), DayNumber("2010-01-01"));
  EXPECT_EQ(DayNumber("2010-01-01") - DayNumber("2009-12-31"), 1);
  // Anything that is not exactly a yyyy-mm-dd date with month 01 to 12 and
  // day 01 to 31 is read by the positions, as every other text.
  // Years past 9999 have more digits, and sort after the four-digit ones.
  EXPECT_EQ(DayNumber("10000-01-01") - DayNumber("9999-12-31"), 1);
  EXPECT_GT(DayNumber("99999-01-01"), DayNumber("9999-12-31"));
  EXPECT_GT(DayNumber("99999-01-01"), DayNumber("0000-01-01"));
  EXPECT_EQ(DayNumber("2004-02-29") + 1, DayNumber("2004-03-01"));
  // Anything that is not a yyyy-mm-dd date of the calendar is read by the
  // positions, as every other text: no 30 February, no 29 February of a
  // common year, no 31 April.
  for (const char* text : {"2001-13-04", "2001-00-04", "2001-03-00", "2001-03-32", "2001-3-04",
                           "2001/03/04", "2001-03-0x", " 2001-03-04", "2001-03-04 ",
                           "2001-02-30", "2001-02-29", "2001-04-31", "1900-02-29"}) {
    std::string layout(text);
    // The same text with its ISO shape broken in a way the positions do
    // not read (the characters 4 and 7) must give the same number.
    if (layout.size() > 7) layout[4] = layout[7] = '#';
    EXPECT_EQ(DayNumber(text), DayNumber(layout)) << text;
    EXPECT_NE(DayNumber(text), DayNumber("2001-03-04")) << text;
  }
}

TEST(DayTable, FindsDaysWithoutRegardToCase) {
  DayTable table;
  EXPECT_EQ(FindDay(table, UNDATED, 0), nullptr);
  AddDay(table, UNDATED).lines = 1;
  AddDay(table, "Mon Jan 01 2001").lines = 2;
  ASSERT_NE(FindDay(table, "unknown", 0), nullptr);
  EXPECT_EQ(FindDay(table, "UNKNOWN", 0)->lines, 1);
  ASSERT_NE(FindDay(table, "MON JAN 01 2001", 0), nullptr);
  EXPECT_EQ(FindDay(table, "mon jan 01 2001", 0)->name, "Mon Jan 01 2001");
  EXPECT_EQ(FindDay(table, "Mon Jan 01 200", 0), nullptr);
  EXPECT_EQ(FindDay(table, "", 0), nullptr);

  // Long date texts are kept whole, so they never merge.
  AddDay(table, "Monday January 01 2001").lines = 3;
  AddDay(table, "Monday January 01 2002").lines = 4;
  ASSERT_NE(FindDay(table, "Monday January 01 2001", 0), nullptr);
  EXPECT_EQ(FindDay(table, "Monday January 01 2001", 0)->lines, 3);
  EXPECT_EQ(FindDay(table, "monday january 01 2002", 0)->lines, 4);
  EXPECT_EQ(FindDay(table, "Monday January 01 2002", 0)->name, "Monday January 01 2002");
  EXPECT_EQ(FindDay(table, "Monday January", 0), nullptr);

  EXPECT_EQ(NamesInOrder(table),
            (std::vector<std::string>{"Unknown", "Mon Jan 01 2001", "Monday January 01 2001",
                                      "Monday January 01 2002"}));
  for (int i = 0; i < 3000; ++i) AddDay(table, "day " + std::to_string(i)).lines = i;
  for (int i = 0; i < 3000; ++i) {
    DayRecord* found = FindDay(table, "DAY " + std::to_string(i), 0);
    ASSERT_NE(found, nullptr) << i;
    EXPECT_EQ(found->lines, i);
  }
}

TEST(DayTable, VerboseLookupReportsEveryRecordCompared) {
  DayTable table;
  AddDay(table, UNDATED);
  AddDay(table, "Mon Jan 01 2001");
  AddDay(table, "Tue Jan 02 2001");

  StderrCapture capture;
  DayRecord* found = FindDay(table, "mon jan 01 2001", 2);
  DayRecord* missing = FindDay(table, "Fri Jan 05 2001", 2);
  DayRecord* quiet = FindDay(table, "Tue Jan 02 2001", 1);
  capture.Restore();
  std::string written = capture.Text();

  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->name, "Mon Jan 01 2001");
  EXPECT_EQ(missing, nullptr);
  ASSERT_NE(quiet, nullptr);
  EXPECT_EQ(quiet->name, "Tue Jan 02 2001");
  EXPECT_EQ(written,
            "Channel Name: 'Unknown' (mon jan 01 2001)\n"
            "Channel Name: 'Mon Jan 01 2001' (mon jan 01 2001)\n"
            "Channel Name: 'Unknown' (Fri Jan 05 2001)\n"
            "Channel Name: 'Mon Jan 01 2001' (Fri Jan 05 2001)\n"
            "Channel Name: 'Tue Jan 02 2001' (Fri Jan 05 2001)\n");
}

TEST(DayTable, PageOrderPutsTheUndatedDayFirstThenDates) {
  DayRecord undated, lowerUndated, early, blankDay, zeroDay, iso;
  undated.name = UNDATED;
  lowerUndated.name = "unknown";  // not the undated day: the test is case-sensitive
  early.name = "Fri Dec 31 1999";
  blankDay.name = "Sun Mar  4 2001";
  zeroDay.name = "Sun Mar 04 2001";
  iso.name = "2001-03-04";
  EXPECT_LT(CompareDays(undated, early), 0);
  EXPECT_GT(CompareDays(early, undated), 0);
  EXPECT_EQ(CompareDays(undated, undated), 0);
  EXPECT_LT(CompareDays(undated, lowerUndated), 0);
  EXPECT_GT(CompareDays(lowerUndated, undated), 0);
  // "unknown" is a dated day of year 0, after a date of year -1.
  DayRecord yearMinusOne;
  yearMinusOne.name = "Fri Jan 01 -001";
  EXPECT_GT(CompareDays(lowerUndated, yearMinusOne), 0);
  EXPECT_LT(CompareDays(yearMinusOne, lowerUndated), 0);
  EXPECT_LT(CompareDays(undated, yearMinusOne), 0);
  EXPECT_LT(CompareDays(early, blankDay), 0);
  EXPECT_GT(CompareDays(blankDay, early), 0);
  // Different texts naming the same date compare equal.
  EXPECT_EQ(CompareDays(blankDay, zeroDay), 0);
  EXPECT_EQ(CompareDays(zeroDay, iso), 0);

  DayTable table;
  for (const char* name : {"Sat Jan 01 2000", "2000-01-03", "Fri Dec 31 1999", "Unknown",
                           "Sun Mar  4 2001", "Sun Jan 02 2000", "1999-12-30"}) {
    AddDay(table, name);
  }
  SortDaysForPage(table);
  EXPECT_EQ(NamesInOrder(table),
            (std::vector<std::string>{"Unknown", "1999-12-30", "Fri Dec 31 1999", "Sat Jan 01 2000",
                                      "Sun Jan 02 2000", "2000-01-03", "Sun Mar  4 2001"}));
  // The days are still found by name after the sort.
  ASSERT_NE(FindDay(table, "sat jan 01 2000", 0), nullptr);
  EXPECT_EQ(FindDay(table, "sat jan 01 2000", 0)->name, "Sat Jan 01 2000");
  EXPECT_EQ(FindDay(table, "Unknown", 0), &table.records[0]);
}

// ---- The users file: which person, and so which record, a nick is ----

// The record name a nick counts toward after the users file `users` is
// read, "(dropped)" for an ignored person's nick, with " (bot)" after a
// bot's name; "(refused)" when the file has a mistake.
std::string PersonOf(const std::string& users, std::string_view nick) {
  StatsStore store;
  TextStream in(users);
  StderrCapture capture;  // the warnings of a nick given twice
  if (!ReadUsersFile(in.stream, "users.txt", store.users)) return "(refused)";
  NickRecord* record = CountedNickOf(store, nick);
  if (record == nullptr) return "(dropped)";
  int32_t person = PersonOfNick(store.users, nick);
  bool bot = person >= 0 && store.users.people[static_cast<size_t>(person)].role == PersonRole::kBot;
  return record->name + (bot ? " (bot)" : "");
}

TEST(UsersFile, ResolvesEachNickToItsPerson) {
  struct Case {
    const char* users;
    const char* nick;
    const char* person;
  };
  const Case cases[] = {
      // Exact names, the main name among them, without regard to case.
      {"alice: alice_ Alice|away\n", "alice_", "alice"},
      {"alice: alice_ Alice|away\n", "ALICE|AWAY", "alice"},
      {"Alice: alice_\n", "ALICE", "Alice"},
      {"alice: alice_\n", "alice__", "alice__"},  // named by no line: its own person
      {"alice: alice_\n", "bob", "bob"},
      // Wildcards: "*" any run, "?" exactly one character; the whole nick.
      {"alice: al?ce alice|*\n", "al1ce", "alice"},
      {"alice: al?ce alice|*\n", "AL1CE", "alice"},
      {"alice: al?ce alice|*\n", "alce", "alce"},
      {"alice: al?ce alice|*\n", "alice|", "alice"},
      {"alice: al?ce alice|*\n", "alice|away|far", "alice"},
      {"alice: al?ce alice|*\n", "xalice|away", "xalice|away"},
      {"gitbot: *bot*\n", "the_bot_2", "gitbot"},
      {"alice: [a]lice\n", "[a]lice", "alice"},  // brackets are nick characters
      {"alice: [a]lice\n", "alice", "alice"},    // (the main name)
      {"bob: [a]lice\n", "alice", "alice"},
      // Expressions: extended syntax, anywhere unless anchored, any case.
      {"alice: /^al1?ce(_|\\|.*)?$/\n", "alce_", "alice"},
      {"alice: /^al1?ce(_|\\|.*)?$/\n", "Al1CE|zzz", "alice"},
      {"alice: /^al1?ce(_|\\|.*)?$/\n", "malice", "malice"},
      {"alice: /^al1?ce(_|\\|.*)?$/\n", "al1ce__", "al1ce__"},
      {"gitbot: /bot$/\n", "CIBOT", "gitbot"},
      {"x: /^ab|cd/\n", "zcd", "x"},        // an alternative at the top level
      {"x: /^a*b/\n", "b", "x"},            // a start that may be absent
      {"x: /^ab{0,2}c/\n", "ac", "x"},
      {"x: /^x[|]y/\n", "X|Y", "x"},        // "|" in brackets is a character
      {"x: /^x[]|]y|z/\n", "z", "x"},       // ... and after brackets an alternative
      {"x: /^[[:digit:]]+$/\n", "1234", "x"},
      // Exact names first, then the patterns in file order.
      {"a: x*\nb: xy*\n", "xyz", "a"},
      {"b: xy*\na: x*\n", "xyz", "b"},
      {"a: bob*\nb: bobby\n", "bobby", "b"},
      {"a: /^bob/\nb: bob?\n", "bobs", "a"},
      {"a: bob\nb: bob\n", "bob", "a"},       // the earlier line keeps a nick
      {"a: carol\ncarol: carol_\n", "carol", "a"},
      {"a: carol\ncarol: carol_\n", "carol_", "carol"},
      {"alice: a1\nALICE: a2\n", "a2", "alice"},  // one person on two lines
      // Roles.
      {"gitbot bot: gitbot_*\n", "gitbot_2", "gitbot (bot)"},
      {"gitbot BOT\n", "GitBot", "gitbot (bot)"},
      {"alice: a1\nalice bot: a2\n", "a1", "alice (bot)"},
      {"troll ignore: troll*\n", "troll_", "(dropped)"},
      {"troll ignore: troll*\n", "troll", "(dropped)"},
      {"troll bot ignore\n", "troll", "(dropped)"},
      {"troll ignore: troll*\n", "trol", "trol"},
      // Comments, blank lines, carriage returns, tabs.
      {"# alice: bob\n\n  \nalice:\tbob\r\n", "bob", "alice"},
      {"# alice: bob\n", "bob", "bob"},
      // A mistake anywhere refuses the file.
      {"alice alice_\n", "alice_", "(refused)"},
      {": alice_\n", "alice_", "(refused)"},
      {"alice: /^al(ce/\n", "alice", "(refused)"},
      {"alice: /^al ce/\n", "alice", "(refused)"},
      {"alice: //\n", "alice", "(refused)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PersonOf(c.users, c.nick), c.person) << "users file:\n" << c.users << "nick: " << c.nick;
  }
}

TEST(UsersFile, NicksOfOnePersonShareOneRecordAndTheirAnswersAreKept) {
  StatsStore store;
  TextStream in("alice: alice_ al1ce* /^alice\\^+$/\ntroll ignore: troll*\n");
  ASSERT_TRUE(ReadUsersFile(in.stream, "users.txt", store.users));
  NickRecord* first = CountedNickOf(store, "alice_");
  ASSERT_NE(first, nullptr);
  ++first->lines;
  for (const char* nick : {"ALICE", "al1ce|away", "alice^^", "alice_"}) {
    EXPECT_EQ(CountedNickOf(store, nick), &store.nicks.records[0]) << nick;
  }
  EXPECT_EQ(store.nicks.records.size(), 1u);
  EXPECT_EQ(store.nicks.records[0].name, "alice");
  EXPECT_EQ(store.nicks.records[0].lines, 1);
  // An ignored nick gets no record; known nicks are found without one being made.
  EXPECT_EQ(CountedNickOf(store, "troll_"), nullptr);
  EXPECT_TRUE(IsIgnoredNick(store, "TROLL"));
  EXPECT_EQ(KnownNickOf(store, "troll_"), nullptr);
  EXPECT_EQ(KnownNickOf(store, "bob"), nullptr);
  EXPECT_EQ(KnownNickOf(store, "alice^"), &store.nicks.records[0]);
  EXPECT_EQ(store.nicks.records.size(), 1u);
  // Each distinct nick was asked of the map once (case folded).
  EXPECT_EQ(store.memo.nicks.size(), 8u);
  // The pools name the person.
  EXPECT_EQ(ShownNameOf(store, "Al1ce|away"), "alice");
  EXPECT_EQ(ShownNameOf(store, "bob"), "bob");
  // After the records move (the page's sort), every nick still finds its record.
  CountedNickOf(store, "bob")->lines = 5;
  SortNicksForPage(store.nicks);
  ASSERT_EQ(store.nicks.records[0].name, "bob");
  EXPECT_EQ(CountedNickOf(store, "alice_"), &store.nicks.records[1]);
  EXPECT_EQ(KnownNickOf(store, "BOB"), &store.nicks.records[0]);
}

}  // namespace
