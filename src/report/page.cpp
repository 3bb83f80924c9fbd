#include "report/page.h"

#include "report/big_numbers.h"
#include "report/charts.h"
#include "report/text_rendering.h"
#include "stats/tables.h"

namespace {

// The document type, the leading comment, the title and the page's top
// line with the channel and its maker.
void WritePageHead(FILE* out, const PageStyle& style) {
  const char* channame = style.channame.c_str();
  const char* myname = style.myname.c_str();
  const char* pageText = style.pageText.c_str();
  const char* contrast = style.contrast.c_str();
  const char* font2 = style.font2.c_str();
  fputs("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\" \"http://www.w3.org/TR/REC-html40/loose.dtd\">",
        out);
  fprintf(out, "<!-- %s %s ", kProgramName, kProgramVersion);
  fprintf(out, "release source, written by %s ", kCredit);
  fputs("-->\n", out);
  if (style.charset.empty()) {
    fprintf(out, "<html><head><title>#%s statistics created by %s and %s</title></head>\n",
            channame, myname, kProgramName);
  } else {
    fprintf(out,
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=%s\"><title>#%s statistics created by %s and %s</title></head>\n",
            style.charset.c_str(), channame, myname, kProgramName);
  }
  fprintf(out, "<body bgcolor=\"#%s\" text=\"#%s\" link=\"#%s\" vlink=\"#%s\"><center>\n%s\n",
          style.pageBg.c_str(), pageText, pageText, pageText, style.header.c_str());
  fprintf(out,
          "<font color=\"#%s\" size=5 face=\"%s\">Channel stats for #%s - created by <a href=\"mailto:%s\"><font color=\"#%s\" size=4 face=\"%s\">%s</font></a></font><br>\n",
          contrast, font2, channame, style.myemail.c_str(), contrast, font2, myname);
}

// The period, the page's time and the number of visitors.
void WriteSummary(FILE* out, const PageStyle& style, const ReportPeriod& period,
                  const std::string& pageTimeText, size_t persons) {
  const char* font2 = style.font2.c_str();
  fprintf(out,
          "<hr width=\"50%%\">\n<font size=2 face=\"%s\">Statistics generated from %s to %s</font><br>\n",
          font2, EscapedText(period.first).c_str(), EscapedText(period.last).c_str());
  fprintf(out, "<font size=2 face=\"%s\">Stats generated on %s</font><br>\n", font2,
          pageTimeText.c_str());
  int64_t days = DayNumber(period.last) - DayNumber(period.first) + 1;
  fprintf(out,
          "<font size=2 face=\"%s\">During this %li-day reporting period a total of %i persons visited #%s</font><br>\n",
          font2, static_cast<long>(days), static_cast<int>(persons), style.channame.c_str());
}

// The current topic, when a dated day has one.
void WriteCurrentTopic(FILE* out, const PageStyle& style, const std::string* topic) {
  if (topic == nullptr) return;
  fprintf(out, "<font size=1 face=\"%s\">", style.font2.c_str());
  fputs("The current topic is <b>", out);
  RenderText(out, *topic);
  fputs("</b></font><br>\n", out);
}

// The random day line: the random day's random line, closing the summary.
void WriteRandomDayLine(FILE* out, const PageStyle& style, const DayRecord* quoteDay) {
  fputs("<font size=1 face=\"", out);
  fputs(style.font2.c_str(), out);
  fputs("\"><b><i>", out);
  if (quoteDay != nullptr && quoteDay->quote.text) RenderText(out, *quoteDay->quote.text);
  fputs("</i></b></font><br>\n", out);
  fprintf(out, "<hr width=\"50%%\">\n");
  fprintf(out, "<hr width=\"90%%\">\n");
}

// The rule and heading above each section after the charts.
void WriteSectionTitle(FILE* out, const PageStyle& style, const char* title) {
  fprintf(out,
          "<hr width=\"90%%\"><font color=\"#%s\" size=4 face=\"%s\"><i><u>%s</u></i></font>\n",
          style.contrast.c_str(), style.font2.c_str(), title);
}

// The samples, with the Big Numbers between the kicks and the URLs.
void WriteSampleSections(FILE* out, const PageStyle& style, const StatsStore& store,
                         const PageFacts& facts) {
  WriteSectionTitle(out, style, "5 Random Topics");
  WritePoolTable(out, style, store.pools.topics, "Topic");
  WriteSectionTitle(out, style, "5 Random Kicks");
  WritePoolTable(out, style, store.pools.kicks, "What happened");
  WriteSectionTitle(out, style, "Big Numbers");
  if (facts.haveBigNumbers) WriteBigNumbers(out, style, facts.bigNumbers);
  WriteSectionTitle(out, style, "5 Random URLs");
  WritePoolTable(out, style, store.pools.urls, "URL");
  WriteSectionTitle(out, style, "5 Random Signoffs");
  WritePoolTable(out, style, store.pools.signoffs, "Quit message");
}

// The footer: when and with what the page was made, the run's figures and
// the user's credits. The sizes and the elapsed time are 64-bit so that
// they stay right for inputs beyond 2 TiB and runs of any length.
void WritePageFooter(FILE* out, const PageStyle& style, const PageContext& context,
                     const std::string& pageTimeText) {
  const char* font2 = style.font2.c_str();
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
          static_cast<long long>(context.pageTime - context.startTime));
  fputs("<td><a href=\"", out);
  fputs("https://validator.w3.org/check/referer", out);
  fputs("\"><img border=0 src=\"", out);
  fputs("https://validator.w3.org/images/vh40", out);
  fputs("\" alt=\"Valid HTML 4.0!\" height=31 width=88></a></td>", out);
  fprintf(out, "<td align=\"right\" valign=\"middle\"><font size=2 face=\"%s\">%s</font></td></tr>\n",
          font2, style.credits.c_str());
  fputs("</table></td></tr></table>", out);
  fputs("</center></body></html>", out);
}

}  // namespace

void WritePoolTable(FILE* out, const PageStyle& style, const SamplePool& pool, const char* title) {
  const char* contrast = style.contrast.c_str();
  const char* font1 = style.font1.c_str();
  const char* font2 = style.font2.c_str();

  fputs("<Table border=0 cellpadding=2 cellspacing=2>\n", out);
  fprintf(out,
          "<tr><td></td><td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b>Who by</b></i></font></td>\n",
          style.headNickBg.c_str(), contrast, font1);
  fprintf(out,
          "<td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b>%s</b></i></font></td>\n",
          style.headOtherBg.c_str(), contrast, font1, title);
  fputs("</tr>\n", out);

  int32_t distinct = pool.offers - pool.duplicates;
  for (int i = 0; i < distinct && i < kPoolSlots; ++i) {
    std::string whoBy = EscapedText(pool.whoBy[i] ? *pool.whoBy[i] : std::string());
    fprintf(out,
            "<tr><td align=\"right\" bgcolor=\"#%s\"><font size=1 face=\"%s\">%i</font></td><td align=\"left\" bgcolor=\"#%s\"><font size=2 face=\"%s\">%s</font></td><td align=\"left\" bgcolor=\"#%s\"><font size=2 face=\"%s\"><i>",
            style.indexBg.c_str(), font2, i + 1, style.nickBg.c_str(), font2, whoBy.c_str(),
            style.secondBg.c_str(), font1);
    if (pool.items[i]) RenderText(out, *pool.items[i]);
    fputs("</i></font></td></tr>\n", out);
  }
  fputs("</table>\n", out);
}

void WriteReportPage(FILE* out, const PageContext& context, const StatsStore& store,
                     const PageFacts& facts) {
  const PageStyle& style = *context.style;
  const std::string pageTimeText = CtimeText(context.pageTime);
  WritePageHead(out, style);
  WriteSummary(out, style, facts.period, pageTimeText, facts.persons);
  WriteCurrentTopic(out, style, facts.currentTopic);
  WriteRandomDayLine(out, style, facts.quoteDay);
  WriteActivityCharts(out, style, store.days, facts);
  WriteSampleSections(out, style, store, facts);
  WritePageFooter(out, style, context, pageTimeText);
}
