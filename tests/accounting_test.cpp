#include "stats/accounting.h"

#include <gtest/gtest.h>
#include <regex.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

namespace {

// Every counter, flag, quote and pool of a store as one text, so a test can
// show that a line changed nothing at all.
std::string Describe(const StatsStore& store) {
  std::ostringstream out;
  auto quote = [&out](const QuoteSample& sample) {
    out << " quote=" << sample.count << ":" << (sample.text ? *sample.text : "(none)");
  };
  for (const NickRecord& n : store.nicks.records) {
    out << n.name << ": lines=" << n.lines << " text=";
    for (int64_t v : n.textLines) out << v << ",";
    out << " act=";
    for (int64_t v : n.actionLines) out << v << ",";
    out << " letters=" << n.letters << " questions=" << n.questions << " shouts=" << n.shouts
        << " statword=" << n.statWordHits << " joins=" << n.joins << " kicked=" << n.timesKicked
        << " kicks=" << n.kicksGiven << " nicks=" << n.nickChanges << " seen=" << n.seenRequests
        << " urls=" << n.urls << " topics=" << n.topicChanges << " mono=" << n.monologues
        << " answers=" << n.answers << " flags=" << n.flags;
    quote(n.quote);
    out << "\n";
  }
  for (const DayRecord& d : store.days.records) {
    out << d.name << ": lines=" << d.lines << " hours=";
    for (int64_t v : d.hours) out << v << ",";
    out << " topic=" << (d.topic ? *d.topic : "(none)");
    quote(d.quote);
    out << "\n";
  }
  auto pool = [&out](const char* title, const SamplePool& p) {
    out << title << ": " << p.offers << "/" << p.duplicates;
    for (int i = 0; i < kPoolSlots; ++i) {
      out << " [" << (p.items[i] ? *p.items[i] : "-") << "|" << (p.whoBy[i] ? *p.whoBy[i] : "-")
          << "]";
    }
    out << "\n";
  };
  pool("topics", store.pools.topics);
  pool("kicks", store.pools.kicks);
  pool("urls", store.pools.urls);
  pool("signoffs", store.pools.signoffs);
  return out.str();
}

// One line of each kind is accounted as the log reader hands it over: the
// speaker is found or created from the nick part first.
class AccountingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    quitCompiled_ = regcomp(&quitIgnore_, "Ping timeout", 0) == 0;
    kickCompiled_ = regcomp(&kickIgnore_, "Public flood", 0) == 0;
    ASSERT_TRUE(quitCompiled_ && kickCompiled_);
    config.quitIgnore = &quitIgnore_;
    config.kickIgnore = &kickIgnore_;
    config.botNames[0] = "bramblet";
    config.botNames[1] = "unused1";
    config.botNames[2] = "unused2";
    config.statWord = "\n\n";
    AddDay(store.days, "Mon Mar 04 2002");
  }
  void TearDown() override {
    if (quitCompiled_) regfree(&quitIgnore_);
    if (kickCompiled_) regfree(&kickIgnore_);
  }

  NickRecord& Nick(std::string_view name) {
    NickRecord* found = FindNick(store.nicks, name);
    return found != nullptr ? *found : AddNick(store.nicks, name);
  }
  // Looks a nick up for an assertion; fails the test when it is missing.
  const NickRecord& Get(std::string_view name) {
    NickRecord* found = FindNick(store.nicks, name);
    EXPECT_NE(found, nullptr) << name;
    static const NickRecord kMissing;
    return found != nullptr ? *found : kMissing;
  }
  DayRecord& Today() { return store.days.records[0]; }

  void Account(LineType type, const std::string& line, const std::string* nick,
               const std::string* otherNick, const std::string* message, int hour = 12) {
    auto part = [](const std::string* text) {
      return text != nullptr ? std::optional<std::string_view>(*text) : std::nullopt;
    };
    LineFacts facts;
    facts.type = type;
    facts.line = line;
    facts.parts = LineParts{part(nick), part(otherNick), part(message)};
    facts.speaker = nick != nullptr ? &Nick(*nick) : nullptr;
    facts.hour = hour;
    facts.quarter = hour / 6;
    facts.day = &Today();
    facts.recent = &recent;
    AccountLine(facts, store, config, scratch);
  }
  void Say(const std::string& nick, const std::string& message, int hour = 12) {
    Account(kTypeText, "<" + nick + "> " + message, &nick, nullptr, &message, hour);
  }
  void Act(const std::string& nick, const std::string& message, int hour = 12) {
    Account(kTypeAction, "* " + nick + " " + message, &nick, nullptr, &message, hour);
  }
  static std::string KickLine(const std::string& kicker, const std::string& victim,
                              const std::string& reason) {
    return "*** " + victim + " was kicked by " + kicker + " (" + reason + ")";
  }
  void Kick(const std::string& kicker, const std::string& victim, const std::string& reason) {
    Account(kTypeKick, KickLine(kicker, victim, reason), &kicker, &victim, &reason);
  }
  void Quit(const std::string& nick, const std::string& message) {
    Account(kTypeQuit, "*** " + nick + " has quit (" + message + ")", &nick, nullptr, &message);
  }
  void Topic(const std::string& nick, const std::string& topic) {
    Account(kTypeTopic, "*** " + nick + " changes topic to '" + topic + "'", &nick, nullptr,
            &topic);
  }

  StatsStore store;
  RecentLines recent;
  AccountingConfig config;
  AccountingScratch scratch;

 private:
  regex_t quitIgnore_;
  regex_t kickIgnore_;
  bool quitCompiled_ = false;
  bool kickCompiled_ = false;
};

struct Counts {
  int64_t letters, shouts, questions;
};

Counts TextCounts(std::string_view text) {
  NickRecord nick;
  AddTextStatistics(nick, text, "\n\n", 0);
  return {nick.letters, nick.shouts, nick.questions};
}

int64_t StatWordHits(std::string_view text, const std::string& statWord) {
  NickRecord nick;
  AddTextStatistics(nick, text, statWord, 0);
  return nick.statWordHits;
}

TEST(AddTextStatisticsTest, LettersShoutsAndQuestions) {
  auto expect = [](std::string_view text, int64_t letters, int64_t shouts, int64_t questions) {
    Counts c = TextCounts(text);
    EXPECT_EQ(c.letters, letters) << "letters of \"" << text << "\"";
    EXPECT_EQ(c.shouts, shouts) << "shouts of \"" << text << "\"";
    EXPECT_EQ(c.questions, questions) << "questions of \"" << text << "\"";
  };
  expect("HEY!", 4, 3, 0);
  expect("Hi", 2, 0, 0);
  expect("4U", 2, 1, 0);
  expect("a B", 2, 0, 0);  // the blank breaks the run: no shout
  expect("why?? no!", 8, 1, 2);
  expect("\xc3\xa9\xff\x80", 0, 0, 0);       // bytes above 127 belong to no class
  expect("\xc3" "A\xc3" "B", 2, 0, 0);       // nor do they start a shout
  expect("\t\x01\x02\x7f", 0, 0, 0);         // control characters neither
  expect(std::string_view("a\0B", 3), 2, 0, 0);  // a zero byte breaks the run
  // The neighbours of the letters and digits start no shout; the ends of
  // their ranges do.
  expect("@A[A`A{A/A:A", 12, 0, 0);
  expect("aZzA0A9Z", 8, 4, 0);
  expect("A@ A[ Z` Z{", 8, 0, 0);
  // Texts longer than a few words are counted a block at a time: the
  // counts go on over the blocks' edges.
  std::string repeated;
  for (int i = 0; i < 20; ++i) repeated += "aB!? ";
  expect(repeated, 80, 40, 20);
  expect(std::string(15, ' ') + "xY", 2, 1, 0);
  expect(std::string(31, '.') + "4U" + std::string(16, '?'), 49, 1, 16);
  // The ends of the ranges inside a block, as alone.
  const std::string pad(12, ' ');
  expect("@A[A`A{A/A:A" + pad, 12, 0, 0);
  expect("aZzA0A9Z" + pad, 8, 4, 0);
  expect("A@ A[ Z` Z{" + pad, 8, 0, 0);
  expect("\xc3" "A\xc3" "B\xe9\xff\x80\t\x01\x7f" + pad, 2, 0, 0);
  expect(" !\"?~\x7f" + pad, 4, 1, 1);

  // Every printable byte but the blank is a letter, digit or punctuation.
  std::string printable;
  for (int c = 32; c < 127; ++c) printable += static_cast<char>(c);
  EXPECT_EQ(TextCounts(printable).letters, 94);

  // Texts made UTF-8 count every character beyond ASCII as one letter.
  struct Utf8Case {
    const char* text;
    int64_t letters;
  };
  const Utf8Case utf8Cases[] = {
      {"gr\xc3\xbc\xc3\x9f" "e", 5},           // two bytes each: one letter each
      {"\xe2\x82\xac 5", 2},                   // three bytes
      {"\xf0\x9f\x98\x80!", 2},                // four bytes
      {"\xe6\x97\xa5\xe6\x9c\xac hi", 4},
      {"plain ascii", 10},                     // as in bytes
      {"gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80 \xbf\xc0", 8},  // in a block too
  };
  for (const Utf8Case& c : utf8Cases) {
    NickRecord nick;
    AddTextStatistics(nick, c.text, "\n\n", 0, true);
    EXPECT_EQ(nick.letters, c.letters) << c.text;
  }
}

TEST(AddTextStatisticsTest, QuestionFlagIsOnlySetHere) {
  NickRecord nick;
  AddTextStatistics(nick, "plain", "\n\n", 0);
  EXPECT_EQ(nick.flags, 0u);
  AddTextStatistics(nick, "what?", "\n\n", 0);
  EXPECT_EQ(nick.flags, LAST_LINE_ASKED);
  // Clearing belongs to the line accounting, not to the text statistics.
  AddTextStatistics(nick, "plain", "\n\n", 0);
  EXPECT_EQ(nick.flags, LAST_LINE_ASKED);
  EXPECT_EQ(nick.letters, 15);
  EXPECT_EQ(nick.questions, 1);
}

TEST(AddTextStatisticsTest, StatWordMatching) {
  EXPECT_EQ(StatWordHits("lolol", "lol"), 1);
  EXPECT_EQ(StatWordHits("lol lol", "lol"), 2);
  EXPECT_EQ(StatWordHits("lollol", "lol"), 2);
  EXPECT_EQ(StatWordHits("llol", "lol"), 0);  // the mismatching "l" does not restart the word
  EXPECT_EQ(StatWordHits("LOL", "lol"), 0);
  EXPECT_EQ(StatWordHits("trololo", "lol"), 1);
  EXPECT_EQ(StatWordHits("lo", "lol"), 0);
  EXPECT_EQ(StatWordHits("aaa", "a"), 3);
  EXPECT_EQ(StatWordHits("lol", ""), 0);
  EXPECT_EQ(StatWordHits("", "lol"), 0);
  EXPECT_EQ(StatWordHits("lol \\n\\n n n", "\n\n"), 0);
}

TEST(AddTextStatisticsTest, StatWordHitIsReportedAboveVerbosityTwo) {
  NickRecord nick;
  testing::internal::CaptureStderr();
  AddTextStatistics(nick, "lol lol", "lol", 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  testing::internal::CaptureStderr();
  AddTextStatistics(nick, "lol lol", "lol", 3);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Statword hit (lol)\nStatword hit (lol)\n");
  EXPECT_EQ(nick.statWordHits, 4);
}

TEST_F(AccountingTest, TextAndActionLinesCountByDayHourAndQuarter) {
  config.statWord = "lol";
  Say("Alice", "HEY! lolol", 13);
  Act("Alice", "waves lol", 5);
  Say("alice", "x", 23);  // same nick, other case

  const NickRecord& alice = Get("Alice");
  EXPECT_EQ(store.nicks.records.size(), 1u);
  EXPECT_EQ(alice.lines, 3);
  EXPECT_EQ(alice.textLines[2], 1);
  EXPECT_EQ(alice.textLines[3], 1);
  EXPECT_EQ(alice.actionLines[0], 1);
  EXPECT_EQ(alice.textLines[0] + alice.textLines[1] + alice.actionLines[1] +
                alice.actionLines[2] + alice.actionLines[3],
            0);
  // Only the message is measured, never the nick or the rest of the line.
  EXPECT_EQ(alice.letters, 4 + 5 + 5 + 3 + 1);
  EXPECT_EQ(alice.shouts, 3);
  EXPECT_EQ(alice.statWordHits, 2);

  DayRecord& day = Today();
  EXPECT_EQ(day.lines, 3);
  EXPECT_EQ(day.hours[13], 1);
  EXPECT_EQ(day.hours[5], 1);
  EXPECT_EQ(day.hours[23], 1);
  EXPECT_EQ(day.quote.count, 3);
  // The first accepted offer is always held: the whole text line for the
  // day, the message of a text line for the nick.
  Say("Bob", "hello there");
  EXPECT_EQ(Get("Bob").quote.text, "hello there");
  Act("Carol", "hides");
  EXPECT_EQ(Get("Carol").quote.text, "* Carol hides");
  EXPECT_EQ(Get("Carol").actionLines[2], 1);
  EXPECT_EQ(day.quote.count, 5);
}

TEST_F(AccountingTest, DayQuoteHoldsTheWholeFirstLine) {
  Say("Alice", "hi all");
  EXPECT_EQ(Today().quote.text, "<Alice> hi all");
  EXPECT_EQ(Today().quote.count, 1);
  // A one-character line is shorter than the quote minimum and not counted.
  Account(kTypeMode, "m", nullptr, nullptr, nullptr);
  EXPECT_EQ(Today().quote.count, 1);
}

TEST_F(AccountingTest, AnswersNeedTheAddresseesQuestionFlag) {
  Say("Bob", "anyone here?");
  EXPECT_EQ(Get("Bob").flags, LAST_LINE_ASKED);
  Say("Alice", "bob: yes");
  Say("Alice", "Bob, yes");
  Say("Alice", "Bob yes");
  Say("Alice", "Bob\x02 yes");
  EXPECT_EQ(Get("Alice").answers, 4);
  EXPECT_EQ(Get("Bob").flags, LAST_LINE_ASKED);  // answering leaves the flag alone

  Say("Alice", "Bob");           // no separator after the first character
  Say("Alice", "Bobby: yes");    // a different, unknown nick
  Say("Alice", "Dave: yes");     // unknown nicks are not created
  Act("Alice", "Bob: nods");     // an action line is never an answer
  EXPECT_EQ(Get("Alice").answers, 4);
  EXPECT_EQ(FindNick(store.nicks, "Dave"), nullptr);
  EXPECT_EQ(FindNick(store.nicks, "Bobby"), nullptr);

  Say("Bob", "never mind");  // a line without "?" clears Bob's flag
  EXPECT_EQ(Get("Bob").flags, 0u);
  Say("Alice", "Bob: yes");
  EXPECT_EQ(Get("Alice").answers, 4);
}

TEST_F(AccountingTest, AddresseeEdgeCases) {
  // Single-character nicks asking questions.
  Nick(":").flags = LAST_LINE_ASKED;
  Nick("B").flags = LAST_LINE_ASKED;
  Say("Alice", ": hello");  // the addressee is ":"
  EXPECT_EQ(Get("Alice").answers, 1);
  Say("Alice", "B");        // shorter than two characters: no addressee
  Say("Alice", "Bx");       // no separator at all
  EXPECT_EQ(Get("Alice").answers, 1);
  Say("Alice", "B,");       // one-character addressee ended by ","
  EXPECT_EQ(Get("Alice").answers, 2);

  // The speaker may answer itself: its own flag is read before it is cleared.
  Say("Carol", "why?");
  Say("Carol", "carol: because");
  EXPECT_EQ(Get("Carol").answers, 1);
  EXPECT_EQ(Get("Carol").flags, 0u);

  // Words of a known nick's length and first letter that name no nick, a
  // nick met after the last answer, and nicks longer than the shapes tell
  // apart are looked up alike.
  Say("Carol", "cards: no");
  EXPECT_EQ(Get("Carol").answers, 1);
  Nick("Zed").flags = LAST_LINE_ASKED;
  Say("Carol", "ZED: here");
  EXPECT_EQ(Get("Carol").answers, 2);
  const std::string longNick(40, 'q');
  Nick(longNick + "x").flags = LAST_LINE_ASKED;
  Say("Carol", longNick + "y: no");
  EXPECT_EQ(Get("Carol").answers, 2);
  Say("Carol", longNick + "X, yes");
  EXPECT_EQ(Get("Carol").answers, 3);
}

TEST_F(AccountingTest, ActionLinesSetAndClearTheQuestionFlag) {
  Say("Bob", "ready?");
  Act("Bob", "stretches");
  EXPECT_EQ(Get("Bob").flags, 0u);
  Say("Alice", "Bob: yes");
  EXPECT_EQ(Get("Alice").answers, 0);

  Act("Bob", "wonders why?");
  EXPECT_EQ(Get("Bob").flags, LAST_LINE_ASKED);
  EXPECT_EQ(Get("Bob").questions, 2);
  Say("Alice", "Bob: no idea");
  EXPECT_EQ(Get("Alice").answers, 1);
}

TEST_F(AccountingTest, OneUrlPerLineByMarkerOrder) {
  Say("Alice", "see www.first.org and http://second.org/x now");
  Say("Alice", "ftp://files.org then www.web.org");
  Say("Alice", "go http://tab.org\tmore text here");
  Say("Alice", "http://a.org http://b.org");
  Act("ALICE", "likes ftp://end.org/file");
  Say("Alice", "HTTP://upper.org wwwxorg");
  // Only the message is searched, not the rest of the line.
  const std::string alice = "Alice";
  const std::string plain = "no address here";
  Account(kTypeText, "<Alice> http://line.org no address here", &alice, nullptr, &plain);

  EXPECT_EQ(Get("Alice").urls, 5);
  const SamplePool& urls = store.pools.urls;
  EXPECT_EQ(urls.offers, 5);
  EXPECT_EQ(urls.items[0], "http://second.org/x");
  EXPECT_EQ(urls.items[1], "www.web.org");
  EXPECT_EQ(urls.items[2], "http://tab.org\tmore");
  EXPECT_EQ(urls.items[3], "http://a.org");
  EXPECT_EQ(urls.items[4], "ftp://end.org/file");
  EXPECT_EQ(urls.whoBy[0], "Alice");
  EXPECT_EQ(urls.whoBy[4], "ALICE");  // the nick as written on the line

  // "https://" counts as "http://" does: the earlier of the two decides, and
  // either goes before "www." and "ftp://".
  store.pools.urls = SamplePool();
  Say("Alice", "https://a.org/x is up");
  Say("Alice", "see xhttps://b.org/y too");
  Say("Alice", "http https://first.org then http://second.org");
  Say("Alice", "http://first.org then https://second.org");
  Say("Alice", "ftp://f.org www.w.org then https://s.org/z");
  EXPECT_EQ(Get("Alice").urls, 10);
  EXPECT_EQ(urls.offers, 5);
  EXPECT_EQ(urls.items[0], "https://a.org/x");
  EXPECT_EQ(urls.items[1], "https://b.org/y");
  EXPECT_EQ(urls.items[2], "https://first.org");
  EXPECT_EQ(urls.items[3], "http://first.org");
  EXPECT_EQ(urls.items[4], "https://s.org/z");

  // Long messages, with the forms across the edges of the blocks they are
  // scanned in.
  store.pools.urls = SamplePool();
  Say("Bob", std::string(11, 'x') + "http://b1.org" + std::string(30, ' '));
  Say("Bob", std::string(15, 'y') + "www.b2.org and more words to fill the blocks http");
  Say("Bob", "ftp://b3.org " + std::string(40, 'z') + " https://b4.org");
  Say("Bob", std::string(40, 'w') + ".org");
  Say("Bob", std::string(40, ':') + "//" + std::string(40, '/'));
  EXPECT_EQ(Get("Bob").urls, 4);
  EXPECT_EQ(urls.items[0], "http://b1.org");
  EXPECT_EQ(urls.items[1], "www.b2.org");
  EXPECT_EQ(urls.items[2], "https://b4.org");
  EXPECT_EQ(urls.items[3], "www.org");
}

TEST_F(AccountingTest, SeenRequestsWithDefaultBotNames) {
  Say("Alice", "!seen bob");
  Say("Alice", "have you seen bob");             // neither "!seen" nor a bot name
  Say("Alice", "bramblet: seen bob?");
  Say("Alice", "BRAMBLET, SEEN Bob");            // the copy is lower-cased
  Say("Alice", "unused2 seen");
  Say("Alice", "bramblet: hello");               // a bot name without "seen"
  Say("Alice", "bramblet: SeE");                 // nor with a part of it
  Act("Alice", "asks unused1 if he has seen Bob");
  EXPECT_EQ(Get("Alice").seenRequests, 5);
  Say("Alice", std::string(30, '-') + " !SEEN bob");       // long messages
  Say("Alice", std::string(14, '.') + "seen bramblet");    // "seen" across a block's edge
  Say("Alice", "bramblet " + std::string(40, 'e') + "n");  // no "seen"
  EXPECT_EQ(Get("Alice").seenRequests, 7);
}

TEST_F(AccountingTest, SeenRequestsWithCapitalisedAndEmptyBotNames) {
  config.botNames[0] = "Bramblet";  // never found in the lower-cased copy
  Say("Alice", "Bramblet seen bob");
  EXPECT_EQ(Get("Alice").seenRequests, 0);
  Say("Alice", "Bramblet !seen bob");
  EXPECT_EQ(Get("Alice").seenRequests, 1);

  config.botNames[1] = "";  // found in every message
  Say("Bob", "have you seen her");
  Say("Bob", "nobody around");
  EXPECT_EQ(Get("Bob").seenRequests, 1);
}

TEST_F(AccountingTest, QuitsOfferTheirMessageUnlessIgnored) {
  Say("Alice", "bye");
  std::string before = Describe(store);
  Quit("Alice", "Ping timeout: 240 seconds");
  EXPECT_EQ(Describe(store), before);  // not even the day's quote

  Quit("Alice", "Leaving");
  EXPECT_EQ(store.pools.signoffs.offers, 1);
  EXPECT_EQ(store.pools.signoffs.items[0], "Leaving");
  EXPECT_EQ(store.pools.signoffs.whoBy[0], "Alice");
  EXPECT_EQ(Today().quote.count, 1);
}

TEST_F(AccountingTest, IgnorePatternsNeverMatchAtTheEndOfTheMessage) {
  regex_t atEnd;
  regex_t atStart;
  ASSERT_EQ(regcomp(&atEnd, "timeout$", 0), 0);
  ASSERT_EQ(regcomp(&atStart, "^Ping", 0), 0);
  config.quitIgnore = &atEnd;
  Quit("Alice", "Ping timeout");
  EXPECT_EQ(store.pools.signoffs.offers, 1);
  config.quitIgnore = &atStart;
  Quit("Alice", "Ping timeout again");
  EXPECT_EQ(store.pools.signoffs.offers, 1);
  config.kickIgnore = &atEnd;
  Kick("Op", "Alice", "timeout");
  EXPECT_EQ(store.pools.kicks.offers, 1);
  regfree(&atEnd);
  regfree(&atStart);
}

TEST_F(AccountingTest, KicksCountBothSidesAndOfferTheContext) {
  Say("Alice", "first");
  Say("Bob", "second");
  PushRecentLine(recent, "<Alice> first");
  PushRecentLine(recent, "<Bob> second");

  Kick("Op", "bob", "behave");
  EXPECT_EQ(Get("Op").kicksGiven, 1);
  EXPECT_EQ(Get("Bob").timesKicked, 1);
  EXPECT_EQ(store.nicks.records.size(), 3u);  // "bob" is Bob's record
  EXPECT_EQ(Today().quote.count, 3);
  EXPECT_EQ(Today().lines, 2);  // a kick is not a spoken line
  EXPECT_EQ(store.pools.kicks.offers, 1);
  EXPECT_EQ(store.pools.kicks.items[0],
            "<Alice> first\n<Bob> second\n" + KickLine("Op", "bob", "behave"));
  EXPECT_EQ(store.pools.kicks.whoBy[0], "Op");

  // An ignored reason still counts and offers the day's quote.
  Kick("Op", "Alice", "Public flood detected");
  EXPECT_EQ(Get("Op").kicksGiven, 2);
  EXPECT_EQ(Get("Alice").timesKicked, 1);
  EXPECT_EQ(Today().quote.count, 4);
  EXPECT_EQ(store.pools.kicks.offers, 1);
}

TEST_F(AccountingTest, KickCreatesItsVictim) {
  Say("Op", "watch it");
  const NickRecord* op = &Get("Op");
  // Many nicks after the kicker, and the victim after them: adding a nick
  // moves no record, so the kicker's record is where it was made.
  for (int i = 0; i < 1000; ++i) Nick("filler" + std::to_string(i));
  Kick("Op", "Stranger", "bye");
  EXPECT_EQ(&Get("Op"), op);
  const NickRecord& stranger = Get("Stranger");
  EXPECT_EQ(stranger.name, "Stranger");
  EXPECT_EQ(stranger.timesKicked, 1);
  EXPECT_EQ(stranger.lines, 0);
  EXPECT_EQ(stranger.kicksGiven, 0);
  EXPECT_EQ(Get("Op").kicksGiven, 1);
  EXPECT_EQ(Get("Op").timesKicked, 0);

  Kick("Op", "Op", "self");  // kicking yourself counts both ways on one record
  EXPECT_EQ(Get("Op").kicksGiven, 2);
  EXPECT_EQ(Get("Op").timesKicked, 1);
}

TEST_F(AccountingTest, TwoTopicsOnOneDay) {
  Topic("Alice", "first topic");
  Topic("Bob", "second topic");
  EXPECT_EQ(Today().topic, "second topic");
  EXPECT_EQ(Get("Alice").topicChanges, 1);
  EXPECT_EQ(Get("Bob").topicChanges, 1);
  const SamplePool& topics = store.pools.topics;
  EXPECT_EQ(topics.offers, 2);
  EXPECT_EQ(topics.items[0], "first topic");
  EXPECT_EQ(topics.whoBy[0], "Alice");
  EXPECT_EQ(topics.items[1], "second topic");
  EXPECT_EQ(topics.whoBy[1], "Bob");
  EXPECT_EQ(Today().quote.count, 0);  // topic lines are not day quotes
  EXPECT_EQ(Today().lines, 0);
}

TEST_F(AccountingTest, JoinNickModeAndPartLines) {
  const std::string alice = "Alice";
  Account(kTypeJoin, "*** Alice has joined", &alice, nullptr, nullptr);
  EXPECT_EQ(Get("Alice").joins, 1);
  EXPECT_EQ(Today().quote.text, "*** Alice has joined");

  const std::string newNick = "Alicia";
  Account(kTypeNick, "*** Alice is now known as Alicia", &alice, &newNick, nullptr);
  EXPECT_EQ(Get("Alice").nickChanges, 1);
  EXPECT_EQ(FindNick(store.nicks, "Alicia"), nullptr);  // the new name is not created here
  EXPECT_EQ(Today().quote.count, 2);

  const std::string mode = "+o Alice";
  Account(kTypeMode, "*** Op sets mode +o Alice", nullptr, nullptr, &mode);
  EXPECT_EQ(Today().quote.count, 3);
  EXPECT_EQ(Today().lines, 0);
  const NickRecord& record = Get("Alice");
  EXPECT_EQ(record.lines + record.letters + record.kicksGiven + record.timesKicked, 0);

  const std::string reason = "gone";
  std::string before = Describe(store);
  Account(kTypePart, "*** Alice has left (gone)", &alice, nullptr, &reason);
  EXPECT_EQ(Describe(store), before);
}

TEST_F(AccountingTest, StepsNeedingAMissingPartAreSkipped) {
  const std::string message = "hello http://x.org !seen you?";
  // A text line without a nick part still counts for the day.
  Account(kTypeText, "hello http://x.org", nullptr, nullptr, &message, 7);
  EXPECT_EQ(Today().lines, 1);
  EXPECT_EQ(Today().hours[7], 1);
  EXPECT_EQ(Today().quote.count, 1);
  EXPECT_TRUE(store.nicks.records.empty());
  EXPECT_EQ(store.pools.urls.offers, 0);

  // A spoken line without a message counts the line but measures nothing;
  // it still clears the question flag.
  const std::string alice = "Alice";
  Say("Alice", "why?");
  Account(kTypeText, "<Alice>", &alice, nullptr, nullptr);
  Account(kTypeAction, "* Alice", &alice, nullptr, nullptr);
  const NickRecord& a = Get("Alice");
  EXPECT_EQ(a.lines, 3);
  EXPECT_EQ(a.textLines[2], 2);
  EXPECT_EQ(a.actionLines[2], 1);
  EXPECT_EQ(a.letters, 4);
  EXPECT_EQ(a.flags, 0u);
  EXPECT_EQ(a.quote.count, 2);  // the message "why?" and the action line
  EXPECT_EQ(Today().lines, 4);

  // A kick without the other nick counts the kicker and creates nothing.
  const std::string op = "Op";
  const std::string reason = "out";
  size_t nicks = store.nicks.records.size() + 1;  // Alice and Op
  Account(kTypeKick, "*** someone was kicked by Op (out)", &op, nullptr, &reason);
  EXPECT_EQ(Get("Op").kicksGiven, 1);
  EXPECT_EQ(store.nicks.records.size(), nicks);
  EXPECT_EQ(store.pools.kicks.offers, 1);
  // A kick without a kicker or reason still counts its victim.
  Account(kTypeKick, "*** Alice was kicked", nullptr, &alice, nullptr);
  EXPECT_EQ(Get("Alice").timesKicked, 1);
  Account(kTypeKick, "*** Alice was kicked by Op", &op, &alice, nullptr);
  EXPECT_EQ(Get("Alice").timesKicked, 2);
  EXPECT_EQ(Get("Op").kicksGiven, 2);
  EXPECT_EQ(store.pools.kicks.offers, 1);

  // Quits and topics without a message offer nothing.
  Account(kTypeQuit, "*** Alice has quit", &alice, nullptr, nullptr);
  EXPECT_EQ(store.pools.signoffs.offers, 0);
  Account(kTypeTopic, "*** Alice changes the topic", &alice, nullptr, nullptr);
  EXPECT_EQ(Get("Alice").topicChanges, 1);
  EXPECT_EQ(store.pools.topics.offers, 0);
  EXPECT_FALSE(Today().topic.has_value());
  // A topic without a nick still becomes the day's topic.
  const std::string topic = "new topic";
  Account(kTypeTopic, "*** topic is new topic", nullptr, nullptr, &topic);
  EXPECT_EQ(Today().topic, "new topic");
  EXPECT_EQ(store.pools.topics.offers, 0);
}

// The draws a QuoteSample offer makes once it already holds a text.
bool QuoteTakes(int32_t countAfterOffer) { return rand() < 2147483647 / countAfterOffer; }

// The slot a sixth distinct pool item goes to, or -1.
int PoolSlotForSixth() {
  for (int k = 1; k < kPoolSlots; ++k) {
    if (rand() % (6 - k) == 0) return k;
  }
  return -1;
}

void FillPool(SamplePool& pool) {
  for (int i = 0; i < kPoolSlots; ++i) OfferToPool(pool, "old" + std::to_string(i), "Old");
}

TEST_F(AccountingTest, RandomDrawsComeInStepOrder) {
  // Each offer below draws: the day's quote and the nick's quote already
  // hold a text and the pools hold five. Over many seeds, replaying rand()
  // in the order day quote, URL pool, nick quote (and day quote, kick pool
  // for a kick) must predict every outcome.
  for (unsigned seed = 1; seed <= 200; ++seed) {
    store = StatsStore{};
    AddDay(store.days, "Mon Mar 04 2002");
    Today().quote = QuoteSample{std::string("old day"), 1};
    Nick("Alice").quote = QuoteSample{std::string("old quote"), 1};
    FillPool(store.pools.urls);
    FillPool(store.pools.kicks);

    srand(seed);
    bool spoken = seed % 2 == 0;
    if (spoken) {
      Say("Alice", "look http://new.org");
    } else {
      Act("Alice", "shows http://new.org");
    }
    Kick("Alice", "Bob", "bye");

    srand(seed);
    std::string dayQuote = "old day";
    std::string nickQuote = "old quote";
    std::string urlSlots[kPoolSlots] = {"old0", "old1", "old2", "old3", "old4"};
    std::string kickSlots[kPoolSlots] = {"old0", "old1", "old2", "old3", "old4"};
    if (QuoteTakes(2)) dayQuote = spoken ? "<Alice> look http://new.org" : "* Alice shows http://new.org";
    if (int slot = PoolSlotForSixth(); slot >= 0) urlSlots[slot] = "http://new.org";
    if (QuoteTakes(2)) nickQuote = spoken ? "look http://new.org" : "* Alice shows http://new.org";
    if (QuoteTakes(3)) dayQuote = KickLine("Alice", "Bob", "bye");
    if (int slot = PoolSlotForSixth(); slot >= 0) kickSlots[slot] = KickLine("Alice", "Bob", "bye");

    SCOPED_TRACE("seed " + std::to_string(seed));
    EXPECT_EQ(Today().quote.text, dayQuote);
    EXPECT_EQ(Get("Alice").quote.text, nickQuote);
    for (int i = 0; i < kPoolSlots; ++i) {
      EXPECT_EQ(store.pools.urls.items[i], urlSlots[i]);
      EXPECT_EQ(store.pools.kicks.items[i], kickSlots[i]);
    }
    if (HasFailure()) break;
  }
}

}  // namespace
