#include "report/page.h"

#include <cstdlib>
#include <cstring>

#include "report/big_numbers.h"
#include "report/charts.h"
#include "report/text_rendering.h"
#include "stats/tables.h"

namespace {

// Where the footer's program link points: the project's own documentation.
constexpr const char* kHomePage = "README.md";
// Who the footer and the leading comment credit.
constexpr const char* kCredit = "the tallywick contributors";

// The ctime text of `when`, newline included. A time that ctime cannot show
// (a year beyond 9999) gets a fixed text of the same shape.
std::string CtimeText(time_t when) {
  char buffer[64];
  if (ctime_r(&when, buffer) == nullptr) return "(time out of range)\n";
  return buffer;
}

bool IsUndated(const DayRecord& day) { return day.name == UNDATED; }

}  // namespace

void WritePoolTable(FILE* out, const Settings& settings, const SamplePool& pool,
                    const char* title) {
  const char* contrast = SettingValue(settings, "page_text_contrast").c_str();
  const char* font1 = SettingValue(settings, "font1").c_str();
  const char* font2 = SettingValue(settings, "font2").c_str();
  const char* indexBg = SettingValue(settings, "table_index_bg").c_str();
  const char* nickBg = SettingValue(settings, "table_nick_bg").c_str();
  const char* itemBg = SettingValue(settings, "table_2_bg").c_str();

  fputs("<Table border=0 cellpadding=2 cellspacing=2>\n", out);
  fprintf(out,
          "<tr><td></td><td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b>Who by</b></i></font></td>\n",
          SettingValue(settings, "table_head_nick").c_str(), contrast, font1);
  fprintf(out,
          "<td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b>%s</b></i></font></td>\n",
          SettingValue(settings, "table_head_other").c_str(), contrast, font1, title);
  fputs("</tr>\n", out);

  int32_t distinct = pool.offers - pool.duplicates;
  for (int i = 0; i < distinct && i < kPoolSlots; ++i) {
    std::string whoBy = EscapedText(pool.whoBy[i] ? *pool.whoBy[i] : std::string());
    fprintf(out,
            "<tr><td align=\"right\" bgcolor=\"#%s\"><font size=1 face=\"%s\">%i</font></td><td align=\"left\" bgcolor=\"#%s\"><font size=2 face=\"%s\">%s</font></td><td align=\"left\" bgcolor=\"#%s\"><font size=2 face=\"%s\"><i>",
            indexBg, font2, i + 1, nickBg, font2, whoBy.c_str(), itemBg, font1);
    if (pool.items[i]) RenderText(out, *pool.items[i]);
    fputs("</i></font></td></tr>\n", out);
  }
  fputs("</table>\n", out);
}

void WriteReportPage(FILE* out, const PageContext& context, StatsStore& store) {
  static const std::string kNoStatWord;
  const Settings& settings = *context.settings;
  const std::string& statWord = context.statWord ? *context.statWord : kNoStatWord;
  DayTable& days = store.days;
  NickTable& nicks = store.nicks;

  // The undated day, looked up while the days are still in the order they
  // were met (the lookup reports each comparison at high verbosity). Kept by
  // name: sorting moves the records.
  std::string fallbackFirst = UNDATED;
  if (const DayRecord* undated = FindDay(days, UNDATED, context.verbosity)) {
    fallbackFirst = undated->name;
  }

  const time_t pageTime = context.pageTime;
  const std::string pageTimeText = CtimeText(pageTime);

  SortDaysForPage(days);
  SortNicksForPage(nicks);

  const size_t dayCount = days.records.size();
  std::string firstName = fallbackFirst;
  for (const DayRecord& day : days.records) {
    if (!IsUndated(day)) {
      firstName = day.name;
      break;
    }
  }
  std::string lastName = dayCount > 0 ? days.records[dayCount - 1].name : fallbackFirst;

  const char* channame = SettingValue(settings, "channame").c_str();
  const char* myname = SettingValue(settings, "myname").c_str();
  const char* pageText = SettingValue(settings, "page_text").c_str();
  const char* contrast = SettingValue(settings, "page_text_contrast").c_str();
  const char* font2 = SettingValue(settings, "font2").c_str();

  // Head and summary.
  fputs("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\" \"http://www.w3.org/TR/REC-html40/loose.dtd\">",
        out);
  fprintf(out, "<!-- %s %s ", kProgramName, kProgramVersion);
  fprintf(out, "release source, written by %s ", kCredit);
  fputs("-->\n", out);
  const std::string& charset = SettingValue(settings, "charset");
  if (charset.empty()) {
    fprintf(out, "<html><head><title>#%s statistics created by %s and %s</title></head>\n",
            channame, myname, kProgramName);
  } else {
    fprintf(out,
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=%s\"><title>#%s statistics created by %s and %s</title></head>\n",
            charset.c_str(), channame, myname, kProgramName);
  }
  fprintf(out, "<body bgcolor=\"#%s\" text=\"#%s\" link=\"#%s\" vlink=\"#%s\"><center>\n%s\n",
          SettingValue(settings, "page_bg").c_str(), pageText, pageText, pageText,
          SettingValue(settings, "header").c_str());
  fprintf(out,
          "<font color=\"#%s\" size=5 face=\"%s\">Channel stats for #%s - created by <a href=\"mailto:%s\"><font color=\"#%s\" size=4 face=\"%s\">%s</font></a></font><br>\n",
          contrast, font2, channame, SettingValue(settings, "myemail").c_str(), contrast, font2,
          myname);
  fprintf(out,
          "<hr width=\"50%%\">\n<font size=2 face=\"%s\">Statistics generated from %s to %s</font><br>\n",
          font2, EscapedText(firstName).c_str(), EscapedText(lastName).c_str());
  fprintf(out, "<font size=2 face=\"%s\">Stats generated on %s</font><br>\n", font2,
          pageTimeText.c_str());
  int64_t period = DayNumber(lastName) - DayNumber(firstName) + 1;
  fprintf(out,
          "<font size=2 face=\"%s\">During this %li-day reporting period a total of %i persons visited #%s</font><br>\n",
          font2, static_cast<long>(period), static_cast<int>(nicks.records.size()), channame);

  // The current topic: the latest day that has one, the undated day aside.
  for (size_t i = dayCount; i-- > 1;) {
    const DayRecord& day = days.records[i];
    if (!day.topic) continue;
    fprintf(out, "<font size=1 face=\"%s\">", font2);
    fputs("The current topic is <b>", out);
    RenderText(out, *day.topic);
    fputs("</b></font><br>\n", out);
    break;
  }

  // The random day line: a random dated day's random line.
  const DayRecord* quoteDay = nullptr;
  if (dayCount == 1) {
    quoteDay = &days.records[0];
  } else if (dayCount > 1) {
    size_t candidate = 0;
    while (IsUndated(days.records[candidate])) {
      int drawn = static_cast<int>(static_cast<size_t>(rand()) % dayCount);
      candidate = static_cast<size_t>(drawn);
      if (context.verbosity > 1) {
        fprintf(stderr, "Random Channel Number: %i (%s)\n", drawn,
                days.records[candidate].name.c_str());
      }
    }
    quoteDay = &days.records[candidate];
  }
  fputs("<font size=1 face=\"", out);
  fputs(font2, out);
  fputs("\"><b><i>", out);
  if (quoteDay != nullptr && quoteDay->quote.text) RenderText(out, *quoteDay->quote.text);
  fputs("</i></b></font><br>\n", out);
  fprintf(out, "<hr width=\"50%%\">\n");
  fprintf(out, "<hr width=\"90%%\">\n");

  WriteActivityCharts(out, settings, days, nicks);

  // The samples, with the Big Numbers between the kicks and the URLs.
  fprintf(out,
          "<hr width=\"90%%\"><font color=\"#%s\" size=4 face=\"%s\"><i><u>5 Random Topics</u></i></font>\n",
          contrast, font2);
  WritePoolTable(out, settings, store.pools.topics, "Topic");
  fprintf(out,
          "<hr width=\"90%%\"><font color=\"#%s\" size=4 face=\"%s\"><i><u>5 Random Kicks</u></i></font>\n",
          contrast, font2);
  WritePoolTable(out, settings, store.pools.kicks, "What happened");
  fprintf(out,
          "<hr width=\"90%%\"><font color=\"#%s\" size=4 face=\"%s\"><i><u>Big Numbers</u></i></font>\n",
          contrast, font2);
  if (!nicks.records.empty()) WriteBigNumbers(out, settings, nicks, statWord);
  fprintf(out,
          "<hr width=\"90%%\"><font color=\"#%s\" size=4 face=\"%s\"><i><u>5 Random URLs</u></i></font>\n",
          contrast, font2);
  WritePoolTable(out, settings, store.pools.urls, "URL");
  fprintf(out,
          "<hr width=\"90%%\"><font color=\"#%s\" size=4 face=\"%s\"><i><u>5 Random Signoffs</u></i></font>\n",
          contrast, font2);
  WritePoolTable(out, settings, store.pools.signoffs, "Quit message");

  // Footer. The sizes and the elapsed time are 64-bit so that they stay
  // right for inputs beyond 2 TiB and runs of any length.
  fprintf(out, "<hr width=\"100%%\"><Table width=\"95%%\" border=2><tr><td><Table width=\"100%%\" border=0 cellpadding=5 cellspacing=0>\n");
  fprintf(out,
          "<tr><td align=\"left\" valign=\"middle\"><font size=2 face=\"%s\">This page was created on %s,\n",
          font2, pageTimeText.c_str());
  fputs("with <a href=\"", out);
  fputs(kHomePage, out);
  fprintf(out, "\">%s</a> %s by ", kProgramName, kProgramVersion);
  fputs(kCredit, out);
  fputs(".</font><br>", out);
  fprintf(out, "<font size=1 face=\"%s\">Processed %lldKiB in %llds.</font></td>\n", font2,
          static_cast<long long>(context.processedBytes >> 10),
          static_cast<long long>(pageTime - context.startTime));
  fputs("<td><a href=\"", out);
  fputs("https://validator.w3.org/check/referer", out);
  fputs("\"><img border=0 src=\"", out);
  fputs("https://validator.w3.org/images/vh40", out);
  fputs("\" alt=\"Valid HTML 4.0!\" height=31 width=88></a></td>", out);
  fprintf(out, "<td align=\"right\" valign=\"middle\"><font size=2 face=\"%s\">%s</font></td></tr>\n",
          font2, SettingValue(settings, "credits").c_str());
  fputs("</table></td></tr></table>", out);
  fputs("</center></body></html>", out);
}
