#include "report/page.h"

#include "report/modern_page.h"
#include "report/modern_style.h"

#include "stats/nick_lookup.h"

#include <gtest/gtest.h>

#include "capture_output.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "driver/settings.h"
#include "stats/tables.h"

namespace {

const char* kPoolHead =
    "<Table border=0 cellpadding=2 cellspacing=2>\n<tr><td></td><td align=\"left\" "
    "bgcolor=\"#A07088\"><font color=\"#000000\" size=3 face=\"Times New Roman\"><i><b>Who "
    "by</b></i></font></td>\n<td align=\"left\" bgcolor=\"#70A098\"><font color=\"#000000\" "
    "size=3 face=\"Times New Roman\"><i><b>Title</b></i></font></td>\n</tr>\n";

std::string PoolRow(int number, const std::string& whoBy, const std::string& item) {
  return "<tr><td align=\"right\" bgcolor=\"#889480\"><font size=1 face=\"Verdana\">" +
         std::to_string(number) +
         "</font></td><td align=\"left\" bgcolor=\"#C090A8\"><font size=2 face=\"Verdana\">" +
         whoBy +
         "</font></td><td align=\"left\" bgcolor=\"#90C0B8\"><font size=2 face=\"Times New "
         "Roman\"><i>" +
         item + "</i></font></td></tr>\n";
}

std::string Pool(const SamplePool& pool) {
  const PageStyle style = PageStyleFromSettings(DefaultSettings());
  return Capture([&](FILE* out) { WritePoolTable(out, style, pool, "Title"); });
}

TEST(PoolTable, RowsFollowTheDistinctOffers) {
  SamplePool pool;
  EXPECT_EQ(Pool(pool), std::string(kPoolHead) + "</table>\n");

  for (int i = 0; i < kPoolSlots; ++i) {
    pool.items[i] = "item " + std::to_string(i) + " <x>";
    pool.whoBy[i] = "n" + std::to_string(i);
  }
  pool.whoBy[1] = "<i>&\"";
  pool.offers = 7;
  std::string rows;
  for (int i = 0; i < kPoolSlots; ++i) {
    rows += PoolRow(i + 1, i == 1 ? "&lt;i&gt;&amp;&quot;" : "n" + std::to_string(i),
                    "item " + std::to_string(i) + " &lt;x&gt;");
  }
  EXPECT_EQ(Pool(pool), std::string(kPoolHead) + rows + "</table>\n");

  // Repeated offers are not rows of their own.
  pool.offers = 3;
  pool.duplicates = 1;
  EXPECT_EQ(Pool(pool), std::string(kPoolHead) + PoolRow(1, "n0", "item 0 &lt;x&gt;") +
                            PoolRow(2, "&lt;i&gt;&amp;&quot;", "item 1 &lt;x&gt;") + "</table>\n");
}

class ReportPage : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = getenv("TZ");
    if (tz != nullptr) savedTz_ = tz, hadTz_ = true;
    setenv("TZ", "UTC", 1);
    tzset();
    settings_ = DefaultSettings();
    context_.startTime = 999999990;
    context_.pageTime = 1000000000;
  }
  void TearDown() override {
    if (hadTz_) {
      setenv("TZ", savedTz_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  std::string Write(StatsStore& store, PageLayout layout = PageLayout::kClassic) {
    style_ = PageStyleFromSettings(settings_);
    context_.style = &style_;
    const std::string undatedName = PutTablesInReportOrder(store, 0);
    const PageFacts facts = GatherPageFacts(store, undatedName, statWord_, 0);
    return Capture([&](FILE* out) {
      if (layout == PageLayout::kModern) {
        WriteModernPage(out, context_, store, facts);
      } else {
        WriteReportPage(out, context_, store, facts);
      }
    });
  }

  Settings settings_;
  PageStyle style_;
  std::string statWord_ = "\n\n";
  PageContext context_;
  std::string savedTz_;
  bool hadTz_ = false;
};

const char* kPageStart =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\" "
    "\"http://www.w3.org/TR/REC-html40/loose.dtd\"><!-- tallywick 0.2.4 ";

TEST_F(ReportPage, UndatedLogsOnly) {
  StatsStore store;
  DayRecord& undated = AddDay(store.days, "Unknown");
  undated.quote.text = "[10:00] <ann> hi";
  undated.quote.count = 1;
  undated.topic = "set before any date";

  srand(11);
  const int firstDraw = rand();
  srand(11);
  std::string page = Write(store);
  // No day was drawn, and the empty NickTable writes no Big Numbers.
  EXPECT_EQ(rand(), firstDraw);

  ASSERT_EQ(page.rfind(kPageStart, 0), 0u);
  EXPECT_EQ(std::string(kPageStart).find("<!--"), 106u);
  EXPECT_NE(page.find("Statistics generated from Unknown to Unknown</font><br>\n"),
            std::string::npos);
  EXPECT_NE(page.find("During this 1-day reporting period a total of 0 persons visited "
                      "#</font><br>\n"),
            std::string::npos);
  EXPECT_EQ(page.find("The current topic"), std::string::npos);
  EXPECT_NE(page.find("<font size=1 face=\"Verdana\"><b><i>[10:00] &lt;ann&gt; "
                      "hi</i></b></font><br>\n<hr width=\"50%\">\n<hr width=\"90%\">\n"),
            std::string::npos);
  // The Big Numbers heading stands without a table.
  EXPECT_NE(page.find("<i><u>Big Numbers</u></i></font>\n<hr width=\"90%\">"), std::string::npos);
}

TEST_F(ReportPage, DatedDaysTopicAndRandomLine) {
  StatsStore store;
  const char* names[] = {"Unknown", "Tue Mar 05 2002", "Mon Mar 04 2002"};
  for (const char* name : names) {
    DayRecord& day = AddDay(store.days, name);
    day.quote.text = std::string("line of ") + name;
    day.quote.count = 1;
  }
  store.days.records[0].topic = "undated topic";
  store.days.records[2].topic = "monday <topic>";
  NickRecord& ann = AddNick(store.nicks, "ann");
  ann.lines = 1;
  AddNick(store.nicks, "joiner").joins = 2;  // never spoke, still a visitor
  AddNick(store.nicks, "bob").lines = 5;

  // A seed whose first draw lands on the undated day again, so that a
  // second day is drawn.
  unsigned seed = 1;
  for (;; ++seed) {
    srand(seed);
    if (rand() % 3 == 0) break;
  }
  // The draws the page makes: days until a dated one, then the two of the
  // Big Numbers.
  srand(seed);
  int draws = 0;
  int chosen = 0;
  while (chosen == 0) {
    chosen = rand() % 3;
    ++draws;
  }
  rand();
  rand();
  const int afterPage = rand();
  const char* sortedNames[] = {"Unknown", "Mon Mar 04 2002", "Tue Mar 05 2002"};

  srand(seed);
  std::string page = Write(store);
  EXPECT_GE(draws, 2);
  EXPECT_EQ(rand(), afterPage);

  EXPECT_NE(page.find("Statistics generated from Mon Mar 04 2002 to Tue Mar 05 2002</font>"),
            std::string::npos);
  EXPECT_NE(page.find("During this 2-day reporting period a total of 3 persons"),
            std::string::npos);
  EXPECT_NE(page.find("<font size=1 face=\"Verdana\">The current topic is <b>monday "
                      "&lt;topic&gt;</b></font><br>\n"),
            std::string::npos);
  EXPECT_NE(page.find(std::string("<b><i>line of ") + sortedNames[chosen] + "</i></b></font>"),
            std::string::npos);

  // Both tables are left in report order.
  EXPECT_EQ(store.days.records[0].name, "Unknown");
  EXPECT_EQ(store.days.records[1].name, "Mon Mar 04 2002");
  EXPECT_EQ(store.nicks.records[0].name, "bob");
  EXPECT_EQ(store.nicks.records[2].name, "joiner");
  // ... and their indexes with them: after the page a nick is still found,
  // and naming it again adds no second record.
  EXPECT_EQ(FindNick(store.nicks, "ANN"), &store.nicks.records[1]);
  EXPECT_EQ(&NickOf(store, "Bob"), &store.nicks.records[0]);
  EXPECT_EQ(store.nicks.records.size(), 3u);
  EXPECT_EQ(FindDay(store.days, "mon mar 04 2002", 0), &store.days.records[1]);

  // The later day's own topic wins once it has one; the undated topic never
  // shows.
  store.days.records[2].topic = "tuesday";
  page = Write(store);
  EXPECT_NE(page.find("The current topic is <b>tuesday</b>"), std::string::npos);
  EXPECT_EQ(page.find("undated topic"), std::string::npos);

  // The sections come in their fixed order.
  const char* sections[] = {"Daily statistics", "Channel load by hours", "Activity Statistics",
                            "5 Random Topics",  "5 Random Kicks",        "Big Numbers",
                            "5 Random URLs",    "5 Random Signoffs",     "This page was created"};
  size_t at = 0;
  for (const char* section : sections) {
    size_t found = page.find(section, at);
    ASSERT_NE(found, std::string::npos) << section;
    at = found;
  }
}

TEST_F(ReportPage, HeadFooterAndEscaping) {
  StatsStore store;
  AddDay(store.days, "Unknown");
  AddDay(store.days, "Mon <x> 04 2002");  // no quote: an empty random line
  for (SettingEntry& entry : settings_.entries) {
    if (std::string(entry.key) == "header") entry.value = "<b>welcome</b>";
    if (std::string(entry.key) == "credits") entry.value = "<i>ours</i>";
    if (std::string(entry.key) == "channame") entry.value = "chan";
    if (std::string(entry.key) == "myname") entry.value = "me";
  }
  context_.processedBytes = 1023;
  std::string page = Write(store);

  EXPECT_NE(page.find("<!-- tallywick 0.2.4 release source, written by the tallywick contributors "
                      "-->\n<html>"),
            std::string::npos);
  EXPECT_NE(page.find("<html><head><title>#chan statistics created by me and "
                      "tallywick</title></head>\n<body bgcolor=\"#E0E0F0\" text=\"#181C18\" "
                      "link=\"#181C18\" vlink=\"#181C18\"><center>\n<b>welcome</b>\n"),
            std::string::npos);
  EXPECT_NE(page.find("from Mon &lt;x&gt; 04 2002 to Mon &lt;x&gt; 04 2002</font>"),
            std::string::npos);
  EXPECT_NE(page.find("<font size=2 face=\"Verdana\">Stats generated on Sun Sep  9 01:46:40 "
                      "2001\n</font><br>\n"),
            std::string::npos);
  EXPECT_NE(page.find("<font size=1 face=\"Verdana\"><b><i></i></b></font><br>\n"),
            std::string::npos);

  const std::string footer =
      "<hr width=\"100%\"><Table width=\"95%\" border=2><tr><td><Table width=\"100%\" border=0 "
      "cellpadding=5 cellspacing=0>\n<tr><td align=\"left\" valign=\"middle\"><font size=2 "
      "face=\"Verdana\">This page was created on Sun Sep  9 01:46:40 2001\n,\nwith <a "
      "href=\"README.md\">tallywick</a> 0.2.4 by the tallywick contributors.</font><br><font "
      "size=1 face=\"Verdana\">Processed 0KiB in 10s.</font></td>\n<td><a "
      "href=\"https://validator.w3.org/check/referer\"><img border=0 "
      "src=\"https://validator.w3.org/images/vh40\" alt=\"Valid HTML 4.0!\" height=31 "
      "width=88></a></td><td align=\"right\" valign=\"middle\"><font size=2 "
      "face=\"Verdana\"><i>ours</i></font></td></tr>\n</table></td></tr></table></center></body>"
      "</html>";
  ASSERT_GE(page.size(), footer.size());
  EXPECT_EQ(page.substr(page.size() - footer.size()), footer);

  // Sizes and times past 32 bits.
  context_.processedBytes = uint64_t{5} << 40;
  context_.startTime = 0;
  page = Write(store);
  EXPECT_NE(page.find("Processed 5368709120KiB in 1000000000s."), std::string::npos);
}

}  // namespace

namespace {

TEST_F(ReportPage, CharsetDeclaredOnlyWhenSet) {
  StatsStore store;
  AddDay(store.days, "Unknown");
  const std::string plainHead =
      "-->\n<html><head><title>#chan statistics created by me and tallywick</title></head>\n";
  for (SettingEntry& entry : settings_.entries) {
    if (std::string(entry.key) == "channame") entry.value = "chan";
    if (std::string(entry.key) == "myname") entry.value = "me";
  }
  EXPECT_NE(Write(store).find(plainHead), std::string::npos);

  StatsStore again;
  AddDay(again.days, "Unknown");
  for (SettingEntry& entry : settings_.entries) {
    if (std::string(entry.key) == "charset") entry.value = "utf-8";
  }
  EXPECT_NE(Write(again).find("-->\n<html><head><meta http-equiv=\"Content-Type\" "
                              "content=\"text/html; charset=utf-8\"><title>#chan statistics "
                              "created by me and tallywick</title></head>\n"),
            std::string::npos);
}

// The modern page prints the facts the classic page prints: for one seed
// the same random day, the same Big Numbers wordings and the same samples,
// and it draws nothing of its own.
TEST_F(ReportPage, ModernPageShowsTheSameDrawsAndDrawsNothing) {
  auto fill = [](StatsStore& store) {
    const char* names[] = {"Unknown", "Tue Mar 05 2002", "Mon Mar 04 2002", "Wed Mar 06 2002"};
    for (const char* name : names) {
      DayRecord& day = AddDay(store.days, name);
      day.quote.text = std::string("line of ") + name;
      day.quote.count = 1;
      day.lines = 3;
      day.hours[9] = 3;
    }
    store.days.records[2].topic = "\x02topic\x02 <b>";
    NickRecord& evil = AddNick(store.nicks, "<i>evil</i>");
    evil.lines = 9;
    evil.textLines[1] = 9;
    evil.kicksGiven = 3;
    evil.quote.text = "\x03" "4red\x03 & www.example.org";
    NickRecord& ann = AddNick(store.nicks, "ann");
    ann.lines = 3;
    ann.textLines[1] = 3;
    ann.joins = 8;
    store.pools.topics.items[0] = "a <topic>";
    store.pools.topics.whoBy[0] = "a&b";
    store.pools.topics.offers = 1;
  };
  const std::string evilEscaped = "&lt;i&gt;evil&lt;/i&gt;";
  for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
    StatsStore classicStore;
    fill(classicStore);
    srand(seed);
    const std::string classic = Write(classicStore);
    const int afterClassic = rand();

    StatsStore modernStore;
    fill(modernStore);
    srand(seed);
    const std::string modern = Write(modernStore, PageLayout::kModern);
    EXPECT_EQ(rand(), afterClassic) << "seed " << seed;

    // The same random day, and the same wordings of the Big Numbers.
    const size_t random = classic.find("<b><i>line of ");
    ASSERT_NE(random, std::string::npos);
    const std::string dayLine = classic.substr(random + 6, classic.find("</i>", random) - random - 6);
    EXPECT_NE(modern.find("<p class=\"rnd\">" + dayLine + "</p>"), std::string::npos) << dayLine;
    for (const char* phrase :
         {"was in a mood not to be messed with, and kicked 3 times",
          "was the channel bouncer, booting 3 people out",
          "couldn't decide whether to stay or go, and was in and out 8 times",
          "abused the door, coming and going 8 times"}) {
      EXPECT_EQ(classic.find(phrase) == std::string::npos,
                modern.find(phrase) == std::string::npos)
          << phrase;
    }
  }

  // Everything from the logs escaped as on the classic page, the colours
  // as spans.
  StatsStore store;
  fill(store);
  const std::string modern = Write(store, PageLayout::kModern);
  EXPECT_EQ(modern.rfind("<!DOCTYPE html>\n<html lang=\"en\">", 0), 0u);
  EXPECT_EQ(modern.find("<i>evil"), std::string::npos);
  EXPECT_NE(modern.find("<td class=\"nk\">" + evilEscaped + "</td>"), std::string::npos);
  EXPECT_NE(modern.find("<span class=\"tp\"><b>topic</b> &lt;b&gt;</span>"), std::string::npos);
  EXPECT_NE(modern.find("<span style=\"color:#7f0000\">red</span> &amp; "
                        "<a href=\"http://www.example.org\">www.example.org</a>"),
            std::string::npos);
  EXPECT_NE(modern.find("<td class=\"nk\">a&amp;b</td><td class=\"qt c2\">a &lt;topic&gt;</td>"),
            std::string::npos);
  EXPECT_EQ(modern.find("<font"), std::string::npos);
  EXPECT_EQ(modern.find("<img"), std::string::npos);
  // The sections in the classic page's order, each with its anchor.
  const char* sections[] = {"daily\">Daily statistics",  "hours\">Channel load by hours",
                            "activity\">Activity Statistics", "topics\">5 Random Topics",
                            "kicks\">5 Random Kicks",      "big-numbers\">Big Numbers",
                            "urls\">5 Random URLs",        "signoffs\">5 Random Signoffs",
                            "This page was created"};
  size_t at = 0;
  for (const char* section : sections) {
    size_t found = modern.find(section, at);
    ASSERT_NE(found, std::string::npos) << section;
    at = found;
  }
}

// Colours and fonts from the settings go into the modern page's style
// sheet; nothing in them can end a declaration or the style element.
TEST_F(ReportPage, ModernStyleSheetKeepsSettingsInsideTheirDeclarations) {
  EXPECT_EQ(CssColour("E0E0F0"), "E0E0F0");
  EXPECT_EQ(CssColour("abc"), "abc");
  for (const char* bad : {"", "red", "12345", "1234567", "0;}x{", "</st"}) {
    EXPECT_EQ(CssColour(bad), "808080") << bad;
  }
  EXPECT_EQ(CssFontName("Times New Roman"), "\"Times New Roman\",");
  EXPECT_EQ(CssFontName("a\";}</style><b>"), "\"astyleb\",");
  EXPECT_EQ(CssFontName("  "), "");
  EXPECT_EQ(CssFontName(""), "");

  StatsStore store;
  AddDay(store.days, "Unknown");
  for (SettingEntry& entry : settings_.entries) {
    if (std::string(entry.key) == "page_bg") entry.value = "}</st";
    if (std::string(entry.key) == "font2") entry.value = "x\"}</style>";
  }
  const std::string page = Write(store, PageLayout::kModern);
  EXPECT_NE(page.find(":root{--s-bg:#808080;"), std::string::npos);
  EXPECT_NE(page.find("--f2:\"xstyle\",system-ui,sans-serif;"), std::string::npos);
  EXPECT_EQ(page.find("</style>"), page.rfind("</style>"));
}

}  // namespace
