#include "report/charts.h"

#include <gtest/gtest.h>

#include "driver/settings.h"

#include "capture_output.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

std::string Charts(const DayTable& days, const NickTable& nicks) {
  const PageStyle style = PageStyleFromSettings(DefaultSettings());
  PageFacts facts;
  facts.hourTotals = ComputeHourTotals(days);
  facts.activityRows = ActivityRows(nicks, 30);
  facts.shareColumn = ShareColumn(nicks, facts.hourTotals);
  return Capture([&](FILE* out) { WriteActivityCharts(out, style, days, facts); });
}

DayRecord Day(const std::string& name) {
  DayRecord day;
  day.name = name;
  return day;
}

// A nick that wrote `lines` text lines, all in quarter `quarter`.
NickRecord Talker(const std::string& name, int64_t lines, int quarter) {
  NickRecord nick;
  nick.name = name;
  nick.lines = lines;
  nick.textLines[quarter] = lines;
  return nick;
}

std::string DayCell(int64_t sum, int image, int64_t height) {
  return "<td align=\"center\" valign=\"bottom\"><font size=1 face=\"Arial Narrow\">" +
         std::to_string(sum) + "<br><img src=\"pipe" + std::to_string(image) +
         "v.png\" width=22 height=" + std::to_string(height) + " alt=\"Bar\"></font></td>\n";
}

std::string LoadCell(const char* percent, int image, int height) {
  return std::string("<td align=\"center\" valign=\"bottom\"><font size=1 face=\"Arial Narrow\">") +
         percent + "%<br><img src=\"pipe" + std::to_string(image) +
         "v.png\" width=20 height=" + std::to_string(height) + " alt=\"Bar\"></font></td>\n";
}

std::string HeatCell(const char* background, int hour) {
  return std::string("<td bgcolor=\"#") + background +
         "\" align=\"center\"><font color=\"#ffffff\" size=1 face=\"Arial Narrow\">" +
         std::to_string(hour) + "</font></td>\n";
}

TEST(ActivityCharts, SingleLineAtHourThirteen) {
  DayTable days;
  days.records.push_back(Day("Unknown"));
  DayRecord dated = Day("Mon Mar 04 2002");
  dated.hours[13] = 1;
  dated.lines = 1;
  days.records.push_back(dated);
  NickTable nicks;
  NickRecord nick = Talker("alice", 1, 2);
  nick.quote.text = "hi <there>";
  nick.quote.count = 1;
  nicks.records.push_back(nick);

  std::string page = Charts(days, nicks);

  // Daily chart: four cells for the dated day, none for the empty undated day.
  std::string expectedBars = "<Table border=0><tr>\n" + DayCell(0, 1, 0) + DayCell(0, 2, 0) +
                             DayCell(1, 3, 128) + DayCell(0, 4, 0) +
                             "</tr><tr>\n<td colspan=4 bgcolor=\"#90A0D8\" align=\"center\" "
                             "valign=\"bottom\"><font size=1 face=\"Arial Narrow\">Mon Mar 04 "
                             "2002</font></td>\n</tr></table>\n";
  EXPECT_NE(page.find(expectedBars), std::string::npos);
  EXPECT_EQ(page.find("Unknown"), std::string::npos);

  // Load by hour: 50.0% and the full bar for hour 13, nothing elsewhere.
  std::string load, heat;
  for (int h = 0; h < 24; ++h) {
    load += h == 13 ? LoadCell("50.0", 3, 192) : LoadCell("0.0", h / 6 + 1, 0);
    heat += HeatCell(h == 13 ? "ff0000" : "3f0080", h);
  }
  EXPECT_NE(page.find("<Table border=0><tr>\n" + load + "</tr><tr>\n" + heat +
                      "</tr></table>\n<hr width=\"90%\"><br>\n"),
            std::string::npos);

  // Activity row: one image, pipe3h at full width, the bold count, the quote.
  EXPECT_NE(
      page.find("<tr><td align=\"right\" bgcolor=\"#889480\"><font size=1 face=\"Verdana\">1</font>"
                "</td><td align=\"left\" bgcolor=\"#C090A8\"><font size=2 face=\"Verdana\">alice"
                "</font></td>\n<td valign=\"middle\" bgcolor=\"#90C0B8\">\n<img "
                "src=\"pipe3h.png\" height=15 width=100 align=top alt=\"1\"><font size=2 "
                "face=\"Verdana\"> <b>1</b></font></td>\n<td width=\"75%\" align=\"left\" "
                "bgcolor=\"#90A0D8\"><font size=2 face=\"Times New Roman\"><i>hi "
                "&lt;there&gt;</i></font></td>\n</tr>\n</table></td><td>\n"),
      std::string::npos);
  // Share column: one row with the full height.
  EXPECT_NE(page.find("<Table border=0 cellpadding=0 cellspacing=0>\n<tr><td align=\"center\" "
                      "nowrap><font color=\"#000000\" size=1 face=\"Arial Narrow\">alice</font>"
                      "</td><td><img src=\"pipe1v.png\" height=1024 width=22 alt=\"alice "
                      "(1)\"></td></tr>\n</table></td></tr></table>\n"),
            std::string::npos);
  // The legend reads the four quarters.
  EXPECT_NE(page.find("<img src=\"pipe4h.png\" height=15 width=30 align=top alt=\"Pink\"><font "
                      "color=\"#000000\" size=2 face=\"Verdana\"> Hours 18-24</font>"),
            std::string::npos);
  EXPECT_NE(page.find("Hours 00-06"), std::string::npos);
}

TEST(ActivityCharts, ThirtyRowsRankedWithoutGaps) {
  DayTable days;
  DayRecord day = Day("Unknown");
  NickTable nicks;
  // Thirty-one talkers and, in second place, a nick that never spoke.
  for (int i = 0; i < 31; ++i) {
    nicks.records.push_back(Talker("t" + std::to_string(i), 100 - i, i % 4));
    day.hours[(i % 4) * 6] += 100 - i;
    day.lines += 100 - i;
    if (i == 0) {
      NickRecord silent;
      silent.name = "silent";
      silent.joins = 3;
      nicks.records.push_back(silent);
    }
  }
  days.records.push_back(day);
  std::string page = Charts(days, nicks);

  EXPECT_EQ(Count(page, "<tr><td align=\"right\" bgcolor=\"#889480\">"), 30u);
  for (int rank = 1; rank <= 30; ++rank) {
    std::string cell = "face=\"Verdana\">" + std::to_string(rank) + "</font></td><td align=\"left\"" +
                       " bgcolor=\"#C090A8\"><font size=2 face=\"Verdana\">t" +
                       std::to_string(rank - 1) + "</font>";
    EXPECT_NE(page.find(cell), std::string::npos) << rank;
  }
  const std::string activity = page.substr(0, page.find("</table></td><td>\n"));
  EXPECT_EQ(activity.find(">t30<"), std::string::npos);
  EXPECT_EQ(page.find("silent"), std::string::npos);
  EXPECT_EQ(Count(page, "> <b>"), 1u);
  EXPECT_NE(page.find("> <b>100</b></font>"), std::string::npos);
  EXPECT_NE(page.find("> 99</font>"), std::string::npos);

  // Every talker holds more than 1/64 of the lines, so all 31 are in the
  // share column; the image number cycles over the rows written, the
  // silent nick taking no turn.
  EXPECT_EQ(Count(page, "<tr><td align=\"center\" nowrap>"), 31u);
  EXPECT_NE(page.find(">t0</font></td><td><img src=\"pipe1v.png\""), std::string::npos);
  EXPECT_NE(page.find(">t1</font></td><td><img src=\"pipe2v.png\""), std::string::npos);
  EXPECT_NE(page.find(">t3</font></td><td><img src=\"pipe4v.png\""), std::string::npos);
  EXPECT_NE(page.find(">t4</font></td><td><img src=\"pipe1v.png\""), std::string::npos);
}

TEST(ActivityCharts, ShareColumnNeedsMoreThanOneSixtyFourth) {
  DayTable days;
  DayRecord day = Day("Mon Mar 04 2002");
  day.hours[0] = 128;
  day.lines = 128;
  days.records.push_back(day);
  NickTable nicks;
  nicks.records.push_back(Talker("big", 125, 0));
  nicks.records.push_back(Talker("edge", 2, 0));  // 2 * 64 == 128
  nicks.records.push_back(Talker("tiny", 1, 0));
  std::string page = Charts(days, nicks);
  EXPECT_NE(page.find("alt=\"big (125)\""), std::string::npos);
  EXPECT_NE(page.find("height=1000 width=22"), std::string::npos);
  EXPECT_EQ(page.find("alt=\"edge"), std::string::npos);
  EXPECT_EQ(page.find("alt=\"tiny"), std::string::npos);
}

TEST(ActivityCharts, EmptyTablesAndEscapedNames) {
  std::string empty = Charts(DayTable(), NickTable());
  EXPECT_NE(empty.find("<Table border=0><tr>\n</tr><tr>\n</tr></table>\n"), std::string::npos);
  EXPECT_NE(empty.find("<i><b> Quote</b></i></font></td>\n</tr>\n</table></td><td>\n<Table "
                       "border=0 cellpadding=0 cellspacing=0>\n</table></td></tr></table>\n"),
            std::string::npos);
  // Hours of an empty channel divide by 1.
  EXPECT_EQ(Count(empty, ">0.0%<br>"), 24u);

  DayTable days;
  DayRecord day = Day("Mon <b> 04 2002");
  day.hours[20] = 4;
  day.lines = 4;
  days.records.push_back(day);
  NickTable nicks;
  nicks.records.push_back(Talker("<script>&\"", 4, 3));
  std::string page = Charts(days, nicks);
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_EQ(page.find("<b> 04"), std::string::npos);
  EXPECT_NE(page.find(">Mon &lt;b&gt; 04 2002</font>"), std::string::npos);
  EXPECT_EQ(Count(page, ">&lt;script&gt;&amp;&quot;</font>"), 2u);
  EXPECT_NE(page.find("alt=\"&lt;script&gt;&amp;&quot; (4)\""), std::string::npos);
}

TEST(ActivityCharts, FiguresBeyondThirtyTwoBits) {
  const int64_t huge = 3000000000;  // more than 2^31 lines in one quarter
  DayTable days;
  DayRecord day = Day("Mon Mar 04 2002");
  day.hours[19] = huge;
  day.hours[7] = huge / 3;
  day.lines = huge + huge / 3;
  days.records.push_back(day);
  NickTable nicks;
  nicks.records.push_back(Talker("flood", huge, 3));
  std::string page = Charts(days, nicks);
  EXPECT_NE(page.find(DayCell(huge, 4, 128)), std::string::npos);
  EXPECT_NE(page.find(DayCell(huge / 3, 2, 42)), std::string::npos);
  EXPECT_NE(page.find(LoadCell("74.9", 4, 192)), std::string::npos);
  EXPECT_NE(page.find(LoadCell("24.9", 2, 64)), std::string::npos);
  EXPECT_NE(page.find("width=100 align=top alt=\"3000000000\"><font size=2 face=\"Verdana\"> "
                      "<b>3000000000</b>"),
            std::string::npos);
  EXPECT_NE(page.find("height=768 width=22 alt=\"flood (3000000000)\""), std::string::npos);

  HourTotals totals = ComputeHourTotals(days);
  EXPECT_EQ(totals.hours[19], huge);
}

}  // namespace
