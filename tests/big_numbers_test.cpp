#include "report/big_numbers.h"

#include <gtest/gtest.h>

#include "driver/settings.h"

#include "capture_output.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

// A table in exactly the given order; `kicks` become kicksGiven.
NickTable TableWithKicks(const std::vector<std::pair<std::string, int64_t>>& nicks) {
  NickTable table;
  for (const auto& [name, kicks] : nicks) {
    NickRecord record;
    record.name = name;
    record.kicksGiven = kicks;
    table.records.push_back(record);
  }
  return table;
}

int64_t Kicks(const NickRecord& nick) { return nick.kicksGiven; }

// The row as the default settings write it.
std::string Row(const std::string& winner, const std::string& fact, const std::string& runnerUp) {
  return "<tr><td align=\"center\" bgcolor=\"#C090A8\"><font size=2 face=\"Verdana\">" + winner +
         "</font></td><td align=\"left\" bgcolor=\"#90C0B8\"><font size=3 face=\"Times New "
         "Roman\">" +
         fact + "</font></td><td align=\"left\" bgcolor=\"#90A0D8\"><font size=1 face=\"Verdana\">" +
         runnerUp + "</font></td></tr>\n";
}

const char* kHead =
    "<Table border=0 cellpadding=2 cellspacing=2>\n<tr><td align=\"left\" bgcolor=\"#A07088\"><font "
    "color=\"#000000\" size=3 face=\"Times New Roman\"><i><b>Who</b></i></font></td>\n<td "
    "align=\"left\" bgcolor=\"#70A098\"><font color=\"#000000\" size=3 face=\"Times New "
    "Roman\"><i><b>Fact!</b></i></font></td><td align=\"left\" bgcolor=\"#70A098\"><font "
    "color=\"#000000\" size=3 face=\"Times New Roman\"><i><b>Runner-up</b></i></font></td></tr>\n";

// The row of the kicks as ranked and written; empty when it is not written.
std::string RankedKicksRow(const NickTable& table, bool lowest, const char* phrase,
                           int32_t threshold, int limit) {
  const PageStyle style = PageStyleFromSettings(DefaultSettings());
  std::optional<RankedRow> row = RankRow(table, Kicks, lowest, threshold, limit);
  if (!row) return "";
  return Capture([&](FILE* out) { WriteBigNumberRow(out, style, {*row, phrase}); });
}

std::string Highest(const NickTable& table, int32_t threshold, int limit) {
  return RankedKicksRow(table, false, "kicked %ld", threshold, limit);
}

std::string Lowest(const NickTable& table, int32_t threshold, int limit) {
  return RankedKicksRow(table, true, "only %ld", threshold, limit);
}

// The whole table with the rows RankBigNumbers gives.
void WriteTable(FILE* out, const PageStyle& style, const NickTable& table,
                const std::string& statWord) {
  WriteBigNumbers(out, style, RankBigNumbers(table, statWord));
}

TEST(BigNumbersRows, HighestRowWinnerRunnerUpAndTies) {
  // A tie on the first pair goes to record 0.
  EXPECT_EQ(Highest(TableWithKicks({{"ann", 3}, {"bob", 3}}), 1, 30),
            Row("ann", "kicked 3", "bob (3)"));
  // Record 1 wins the first pair when larger.
  EXPECT_EQ(Highest(TableWithKicks({{"ann", 1}, {"bob", 4}}), 1, 30),
            Row("bob", "kicked 4", "ann (1)"));
  // A later record equal to the winner becomes the runner-up; one equal to
  // the runner-up changes nothing.
  EXPECT_EQ(Highest(TableWithKicks({{"ann", 5}, {"bob", 2}, {"cat", 2}, {"dan", 5}}), 1, 30),
            Row("ann", "kicked 5", "dan (5)"));
  EXPECT_EQ(Highest(TableWithKicks({{"ann", 5}, {"bob", 2}, {"cat", 2}}), 1, 30),
            Row("ann", "kicked 5", "bob (2)"));
  // A new maximum pushes the old winner to runner-up.
  EXPECT_EQ(Highest(TableWithKicks({{"ann", 5}, {"bob", 2}, {"cat", 9}}), 1, 30),
            Row("cat", "kicked 9", "ann (5)"));
  // Threshold: written at the threshold, not below it.
  EXPECT_EQ(Highest(TableWithKicks({{"ann", 7}, {"bob", 0}}), 7, 30),
            Row("ann", "kicked 7", "bob (0)"));
  EXPECT_EQ(Highest(TableWithKicks({{"ann", 6}, {"bob", 0}}), 7, 30), "");
}

TEST(BigNumbersRows, ScanLimitHidesLaterNicks) {
  std::vector<std::pair<std::string, int64_t>> nicks;
  for (int i = 0; i < 30; ++i) nicks.push_back({"n" + std::to_string(i), i == 4 ? 2 : 1});
  nicks.push_back({"late", 1000});  // position 31
  NickTable table = TableWithKicks(nicks);
  EXPECT_EQ(Highest(table, 1, 30), Row("n4", "kicked 2", "n0 (1)"));
  EXPECT_EQ(Highest(table, 1, 31), Row("late", "kicked 1000", "n4 (2)"));
}

TEST(BigNumbersRows, LowestRowPassesOverLaterZeros) {
  // Zeros from the third record on are passed over.
  EXPECT_EQ(Lowest(TableWithKicks({{"ann", 8}, {"bob", 6}, {"cat", 0}, {"dan", 7}}), 10, 30),
            Row("bob", "only 6", "dan (7)"));
  // A zero in the first pair wins and is written with the value 0.
  EXPECT_EQ(Lowest(TableWithKicks({{"ann", 4}, {"bob", 0}, {"cat", 0}}), 10, 30),
            Row("bob", "only 0", "ann (4)"));
  // Ties: the first pair goes to record 0, later equals follow the rules of
  // the highest row mirrored.
  EXPECT_EQ(Lowest(TableWithKicks({{"ann", 3}, {"bob", 3}, {"cat", 3}}), 10, 30),
            Row("ann", "only 3", "bob (3)"));
  EXPECT_EQ(Lowest(TableWithKicks({{"ann", 3}, {"bob", 9}, {"cat", 3}}), 10, 30),
            Row("ann", "only 3", "cat (3)"));
  EXPECT_EQ(Lowest(TableWithKicks({{"ann", 3}, {"bob", 9}, {"cat", 2}}), 10, 30),
            Row("cat", "only 2", "ann (3)"));
  // Written only below the threshold.
  EXPECT_EQ(Lowest(TableWithKicks({{"ann", 10}, {"bob", 12}}), 10, 30), "");
}

TEST(BigNumbersRows, OneNickIsJudgedAlone) {
  NickTable table = TableWithKicks({{"solo", 3}});
  const std::string emptyRunnerUp =
      "<tr><td align=\"center\" bgcolor=\"#C090A8\"><font size=2 face=\"Verdana\">solo</font></td>"
      "<td align=\"left\" bgcolor=\"#90C0B8\"><font size=3 face=\"Times New Roman\">kicked "
      "3</font></td><td align=\"left\" bgcolor=\"#90A0D8\"><font size=1 face=\"Verdana\"></font>"
      "</td></tr>\n";
  EXPECT_EQ(Highest(table, 3, 30), emptyRunnerUp);
  EXPECT_EQ(Highest(table, 4, 30), "");
  EXPECT_EQ(Lowest(table, 3, 30), "");
  EXPECT_NE(Lowest(table, 4, 30), "");
}

TEST(BigNumbersRows, NamesAreEscapedAndValuesTakenAs32Bits) {
  NickTable table = TableWithKicks({{"<b>&\"", (int64_t{1} << 32) + 5}, {"x>y", 2}});
  EXPECT_EQ(Highest(table, 1, 30), Row("&lt;b&gt;&amp;&quot;", "kicked 5", "x&gt;y (2)"));
}

TEST(BigNumbersMetrics, DerivedValues) {
  NickRecord nick;
  EXPECT_EQ(LettersPerLine(nick), 0);
  EXPECT_EQ(ShoutPercent(nick), 0);
  EXPECT_EQ(QuestionPercent(nick), 0);
  EXPECT_EQ(LinesIfAllQuarters(nick), 101);
  nick.lines = 4;
  nick.letters = 30;
  nick.shouts = 7;
  nick.questions = 9;
  EXPECT_EQ(LettersPerLine(nick), 7);
  EXPECT_EQ(ShoutPercent(nick), 23);
  EXPECT_EQ(QuestionPercent(nick), 225);  // question marks, not lines
  nick.textLines[0] = 1;
  nick.textLines[1] = 1;
  nick.actionLines[2] = 1;
  EXPECT_EQ(LinesIfAllQuarters(nick), 101);
  nick.actionLines[3] = 1;
  EXPECT_EQ(LinesIfAllQuarters(nick), 4);
}

// A seed whose first two draws satisfy `wanted`.
template <typename Wanted>
unsigned SeedWhere(Wanted wanted, int& r1, int& r2) {
  for (unsigned seed = 1;; ++seed) {
    srand(seed);
    r1 = rand();
    r2 = rand();
    if (wanted(r1, r2)) return seed;
  }
}

// Two nicks passing every row's threshold.
NickTable BusyTable() {
  NickTable table;
  for (int i = 0; i < 2; ++i) {
    NickRecord nick;
    nick.name = i == 0 ? "ann" : "bob";
    nick.lines = 40 - i;
    nick.letters = i == 0 ? 400 : 200;  // 10 and 5 per line
    nick.shouts = i == 0 ? 40 : 10;
    nick.questions = i == 0 ? 20 : 10;
    nick.statWordHits = 12;
    nick.joins = 8;
    nick.timesKicked = 2;
    nick.kicksGiven = 2;
    nick.nickChanges = 3;
    nick.seenRequests = 4;
    nick.urls = 6;
    nick.topicChanges = 5;
    nick.monologues = 2;
    nick.answers = 1;
    for (int q = 0; q < 4; ++q) nick.textLines[q] = 10;
    table.records.push_back(nick);
  }
  return table;
}

TEST(BigNumbersTable, WordingsFollowTheTwoDraws) {
  const PageStyle style = PageStyleFromSettings(DefaultSettings());
  NickTable table = BusyTable();
  for (int variant = 0; variant < 2; ++variant) {
    int r1 = 0, r2 = 0;
    // All wording bits set in one run, all clear in the other.
    unsigned seed = SeedWhere(
        [variant](int a, int b) {
          const int bits1 = 1 | 4 | 16 | 64 | 256 | 1024 | 4096;
          const int bits2 = 1 | 4 | 16;
          return variant == 0 ? ((a & bits1) == bits1 && (b & bits2) == bits2)
                              : ((a & bits1) == 0 && (b & bits2) == 0);
        },
        r1, r2);
    srand(seed);
    std::string page = Capture([&](FILE* out) { WriteTable(out, style, table, "w%d"); });
    SCOPED_TRACE(variant);
    ASSERT_EQ(page.rfind(kHead, 0), 0u);
    ASSERT_EQ(page.substr(page.size() - 9), "</table>\n");
    // Both draws were used, and only those.
    srand(seed);
    rand();
    rand();
    int next = rand();
    srand(seed);
    Capture([&](FILE* out) { WriteTable(out, style, table, "w%d"); });
    EXPECT_EQ(rand(), next);

    const bool set = variant == 0;
    const std::vector<std::string> facts = {
        set ? "was in a mood not to be messed with, and kicked 2 times"
            : "was the channel bouncer, booting 2 people out",
        set ? "wasn't very popular, and got booted out 2 times"
            : "just didn't fit in, getting kicked 2 times",
        set ? "couldn't find the right nick, despite changing it 3 times"
            : "is still looking for that perfect nick after 3 changes",
        set ? "couldn't decide whether to stay or go, and was in and out 8 times"
            : "abused the door, coming and going 8 times",
        "had the longest lines, averaging 10 in length",
        set ? "was the loud mouth, with 10% shouting" : "was giving us earache, yelling 10% of the time",
        set ? "seemed uncertain - 50% of lines were questions"
            : "didn't know, so asked questions 50% of the time",
        set ? "was very helpful, answering 1 questions" : "was a know-it-all, answering 1 questions",
        set ? "knew the right word, and said \"w%d\" 12 times"
            : "kept saying \"w%d\", a whole 12 times in fact",
        set ? "couldn't find who he was looking for, and performed 4 seens"
            : "missed his friends, he did 4 seens",
        "wrote only 5 letters per line, despite talking our ears off",
        set ? "was busy surfing the web, and found 6 cool URLs"
            : "dug up 6 interesting web sites to visit",
        "wrote only 39 lines, yet still managed to be around<br>morning, afternoon, evening, and "
        "the graveyard shift",
        set ? "talked to himself a lot, with 2 monologues"
            : "delivered 2 monologues, although nobody listened",
        "wasn't satisfied with the topic, so changed it 5 times",
    };
    size_t at = 0;
    for (const std::string& fact : facts) {
      size_t found = page.find("face=\"Times New Roman\">" + fact + "</font>", at);
      ASSERT_NE(found, std::string::npos) << fact;
      at = found;
    }
    // Fifteen rows, in the order above.
    size_t rows = 0;
    for (size_t p = page.find("<tr><td align=\"center\""); p != std::string::npos;
         p = page.find("<tr><td align=\"center\"", p + 1)) {
      ++rows;
    }
    EXPECT_EQ(rows, 15u);
  }
}

TEST(BigNumbersTable, StatWordIsShownLiterally) {
  const PageStyle style = PageStyleFromSettings(DefaultSettings());
  NickTable table = BusyTable();
  int r1 = 0, r2 = 0;
  unsigned seed = SeedWhere([](int a, int) { return (a & 1) != 0; }, r1, r2);
  srand(seed);
  std::string page =
      Capture([&](FILE* out) { WriteTable(out, style, table, "50%s<&>\"%%ld"); });
  EXPECT_NE(page.find(">knew the right word, and said \"50%s&lt;&amp;&gt;&quot;%%ld\" 12 "
                      "times</font>"),
            std::string::npos);
}

TEST(BigNumbersTable, QuietChannelGetsOnlyTheLetterRows) {
  // Every other row is below its threshold; rows 5 and 11 between them
  // cover every letters-per-line value, so one of them is always written.
  const PageStyle style = PageStyleFromSettings(DefaultSettings());
  NickTable table = TableWithKicks({{"ann", 0}, {"bob", 0}});
  for (NickRecord& nick : table.records) {
    nick.lines = 1;
    nick.letters = 10;
  }
  std::string page = Capture([&](FILE* out) { WriteTable(out, style, table, "\n\n"); });
  EXPECT_EQ(page, std::string(kHead) +
                      Row("ann", "had the longest lines, averaging 10 in length", "bob (10)") +
                      "</table>\n");
  table.records[0].letters = 1;
  table.records[1].letters = 1;
  page = Capture([&](FILE* out) { WriteTable(out, style, table, "\n\n"); });
  EXPECT_EQ(page, std::string(kHead) +
                      Row("ann", "wrote only 1 letters per line, despite talking our ears off",
                          "bob (1)") +
                      "</table>\n");
}

TEST(BigNumbersTable, RowsAboutWhatWasSaidJudgeOnlyNicksWithLines) {
  const PageStyle style = PageStyleFromSettings(DefaultSettings());
  // A server that never spoke, after the one speaker: it was the lowest
  // letters-per-line winner at 0 and the longest-lines runner-up.
  NickTable table = TableWithKicks({{"ann", 0}, {"irc.example.net", 0}});
  table.records[0].lines = 1;
  table.records[0].letters = 10;
  std::string page = Capture([&](FILE* out) { WriteTable(out, style, table, "\n\n"); });
  EXPECT_EQ(page, std::string(kHead) +
                      Row("ann", "had the longest lines, averaging 10 in length", "") +
                      "</table>\n");
  // The rows of events still judge every nick.
  table.records[1].kicksGiven = 3;
  page = Capture([&](FILE* out) { WriteTable(out, style, table, "\n\n"); });
  EXPECT_NE(page.find("irc.example.net</font>"), std::string::npos);
  EXPECT_NE(page.find(">ann (0)</font>"), std::string::npos);
  // Without any speaker, no row about what was said is written.
  table.records[0].lines = 0;
  page = Capture([&](FILE* out) { WriteTable(out, style, table, "\n\n"); });
  EXPECT_EQ(page.find("letters"), std::string::npos);
  EXPECT_EQ(page.find("length"), std::string::npos);
}

}  // namespace
