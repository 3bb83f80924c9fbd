#include "report/charts.h"

#include <algorithm>
#include <string>

#include "report/text_rendering.h"

// Every figure here is computed in 64 bits, so the charts stay right for
// channels whose counters pass 2^31; below that the numbers are the same as
// with 32-bit arithmetic.

namespace {

// Lines of quarter q (hours 6q to 6q+5) of one day.
int64_t QuarterSum(const DayRecord& day, int q) {
  int64_t sum = 0;
  for (int h = 6 * q; h < 6 * q + 6; ++h) sum += day.hours[h];
  return sum;
}

int64_t NickQuarterLines(const NickRecord& nick, int q) {
  return nick.textLines[q] + nick.actionLines[q];
}

void WriteDailyChart(FILE* out, const PageStyle& style,
                     const DayTable& days) {
  fprintf(out, "<font color=\"#%s\" size=4 face=\"%s\"><i><u>Daily statistics</u></i></font><font color=\"#%s\" size=2 face=\"%s\"> <i>(Number of lines / 6 hours)</i></font><br>\n",
          style.contrast.c_str(), style.font2.c_str(), style.contrast.c_str(), style.font2.c_str());
  fputs("<Table border=0><tr>\n", out);

  int64_t chartMax = 0;
  for (const DayRecord& day : days.records) {
    for (int q = 0; q < 4; ++q) {
      int64_t sum = QuarterSum(day, q);
      if (sum > chartMax) chartMax = sum;
    }
  }
  for (const DayRecord& day : days.records) {
    if (day.lines == 0) continue;
    for (int q = 0; q < 4; ++q) {
      int64_t sum = QuarterSum(day, q);
      int64_t height = chartMax > 0 ? sum * 128 / chartMax : 0;
      fprintf(out, "<td align=\"center\" valign=\"bottom\"><font size=1 face=\"%s\">%lld<br><img src=\"pipe%iv%s\" width=22 height=%lld alt=\"Bar\"></font></td>\n",
              style.font3.c_str(), static_cast<long long>(sum), q + 1, style.picext.c_str(),
              static_cast<long long>(height));
    }
  }
  fputs("</tr><tr>\n", out);
  for (const DayRecord& day : days.records) {
    if (day.lines == 0) continue;
    fprintf(out, "<td colspan=4 bgcolor=\"#%s\" align=\"center\" valign=\"bottom\"><font size=1 face=\"%s\">%s</font></td>\n",
            style.dateBg.c_str(), style.font3.c_str(), EscapedText(day.name).c_str());
  }
  fputs("</tr></table>\n", out);
}

void WriteLegend(FILE* out, const PageStyle& style) {
  fprintf(out, "<br><hr width=\"90%%\">\n<Table border=0><tr>\n");
  fprintf(out, "<td width=150><img src=\"pipe1h%s\" height=15 width=30 align=top alt=\"Pink\"><font color=\"#%s\" size=2 face=\"%s\"> Hours %.2i-%.2i</font></td>\n",
          style.picext.c_str(), style.contrast.c_str(), style.font2.c_str(), 0, 6);
  fprintf(out, "<td width=150><img src=\"pipe2h%s\" height=15 width=30 align=top alt=\"Pink\"><font color=\"#%s\" size=2 face=\"%s\"> Hours %.2i-%.2i</font></td>\n",
          style.picext.c_str(), style.contrast.c_str(), style.font2.c_str(), 6, 12);
  fprintf(out, "<td width=150><img src=\"pipe3h%s\" height=15 width=30 align=top alt=\"Pink\"><font color=\"#%s\" size=2 face=\"%s\"> Hours %.2i-%.2i</font></td>\n",
          style.picext.c_str(), style.contrast.c_str(), style.font2.c_str(), 12, 18);
  fprintf(out, "<td width=150><img src=\"pipe4h%s\" height=15 width=30 align=top alt=\"Pink\"><font color=\"#%s\" size=2 face=\"%s\"> Hours %.2i-%.2i</font></td>\n",
          style.picext.c_str(), style.contrast.c_str(), style.font2.c_str(), 18, 24);
  fputs("</tr></table>\n", out);
  fprintf(out, "<hr width=\"90%%\">\n");
}

void WriteHourLoad(FILE* out, const PageStyle& style, const HourTotals& totals) {
  fprintf(out, "<font color=\"#%s\" size=4 face=\"%s\"><i><u>Channel load by hours</u></i></font><br>\n",
          style.contrast.c_str(), style.font2.c_str());
  fputs("<Table border=0><tr>\n", out);

  // T and M start at 1 so that an empty channel divides by 1.
  int64_t total = 1;
  int64_t maximum = 1;
  for (int64_t hour : totals.hours) {
    total += hour;
    if (hour > maximum) maximum = hour;
  }
  for (int h = 0; h < 24; ++h) {
    int64_t permille = totals.hours[h] * 1000 / total;
    float percent = static_cast<float>(permille) / 10.0f;
    int64_t height = totals.hours[h] * 192 / maximum;
    fprintf(out, "<td align=\"center\" valign=\"bottom\"><font size=1 face=\"%s\">%.1f%%<br><img src=\"pipe%iv%s\" width=20 height=%lld alt=\"Bar\"></font></td>\n",
            style.font3.c_str(), static_cast<double>(percent), h / 6 + 1, style.picext.c_str(),
            static_cast<long long>(height));
  }
  fputs("</tr><tr>\n", out);
  for (int h = 0; h < 24; ++h) {
    unsigned red = static_cast<unsigned>(totals.hours[h] * 192 / maximum + 63);
    unsigned blue = static_cast<unsigned>(128 - totals.hours[h] * 128 / maximum);
    fprintf(out, "<td bgcolor=\"#%.2x00%.2x\" align=\"center\"><font color=\"#%.2x%.2x%.2x\" size=1 face=\"%s\">%i</font></td>\n",
            red, blue, 255u, 255u, 255u, style.font3.c_str(), h);
  }
  fputs("</tr></table>\n", out);
  fprintf(out, "<hr width=\"90%%\"><br>\n");
}

void WriteActivityTable(FILE* out, const PageStyle& style,
                        const std::vector<const NickRecord*>& ranked) {
  fprintf(out, "<font color=\"#%s\" size=4 face=\"%s\"><i><u>Activity Statistics</u></i></font><br><font size=2 face=\"%s\"> <i>(Nicks sorted by number of lines written)</i></font><br><br>\n",
          style.contrast.c_str(), style.font2.c_str(), style.font2.c_str());
  fputs("<Table border=0 cellspacing=10><tr valign=\"top\"><td>\n", out);
  fputs("<Table border=0 cellpadding=2 cellspacing=2>\n", out);
  const char* headOther = style.headOtherBg.c_str();
  fprintf(out, "<tr><td></td><td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b> Nick</b></i></font></td>\n",
          style.headNickBg.c_str(), style.contrast.c_str(), style.font1.c_str());
  fprintf(out, "<td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b> Number of Lines</b></i></font></td>\n",
          headOther, style.contrast.c_str(), style.font1.c_str());
  fprintf(out, "<td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b> Quote</b></i></font></td>\n",
          headOther, style.contrast.c_str(), style.font1.c_str());
  fputs("</tr>\n", out);

  int64_t mostLines = 0;
  for (const NickRecord* nick : ranked) mostLines = std::max(mostLines, nick->lines);
  const char* indexBg = style.indexBg.c_str();
  const char* nickBg = style.nickBg.c_str();
  const char* barBg = style.secondBg.c_str();
  const char* quoteBg = style.thirdBg.c_str();

  for (size_t i = 0; i < ranked.size(); ++i) {
    const NickRecord& nick = *ranked[i];
    const int rank = static_cast<int>(i) + 1;
    fprintf(out, "<tr><td align=\"right\" bgcolor=\"#%s\"><font size=1 face=\"%s\">%i</font></td>",
            indexBg, style.font2.c_str(), rank);
    fprintf(out, "<td align=\"left\" bgcolor=\"#%s\"><font size=2 face=\"%s\">%s</font></td>\n",
            nickBg, style.font2.c_str(), EscapedText(nick.name).c_str());
    fprintf(out, "<td valign=\"middle\" bgcolor=\"#%s\">\n", barBg);
    for (int q = 0; q < 4; ++q) {
      int64_t quarterLines = NickQuarterLines(nick, q);
      if (quarterLines == 0) continue;
      int64_t width = mostLines > 0 ? quarterLines * 100 / mostLines : 0;
      fprintf(out, "<img src=\"pipe%ih%s\" height=15 width=%lld align=top alt=\"%li\">", q + 1,
              style.picext.c_str(), static_cast<long long>(width), static_cast<long>(quarterLines));
    }
    const bool first = rank == 1;
    fprintf(out, "<font size=2 face=\"%s\"> %s%li%s</font></td>\n", style.font2.c_str(), first ? "<b>" : "",
            static_cast<long>(nick.lines), first ? "</b>" : "");
    fprintf(out, "<td width=\"75%%\" align=\"left\" bgcolor=\"#%s\"><font size=2 face=\"%s\"><i>",
            quoteBg, style.font1.c_str());
    if (nick.quote.text) RenderText(out, *nick.quote.text);
    fputs("</i></font></td>\n</tr>\n", out);
  }
  fputs("</table></td><td>\n", out);
}

void WriteShareColumn(FILE* out, const PageStyle& style, const std::vector<ShareBar>& bars,
                      const HourTotals& totals) {
  fputs("<Table border=0 cellpadding=0 cellspacing=0>\n", out);
  int64_t shareTotal = 0;
  for (int64_t hour : totals.hours) shareTotal += hour;
  for (const ShareBar& bar : bars) {
    const NickRecord& nick = *bar.nick;
    std::string name = EscapedText(nick.name);
    fprintf(out, "<tr><td align=\"center\" nowrap><font color=\"#%s\" size=1 face=\"%s\">%s</font></td><td><img src=\"pipe%iv%s\" height=%lld width=22 alt=\"%s (%lld)\"></td></tr>\n",
            style.contrast.c_str(), style.font3.c_str(), name.c_str(), bar.colour + 1, style.picext.c_str(),
            static_cast<long long>(nick.lines * 1024 / shareTotal), name.c_str(),
            static_cast<long long>(nick.lines));
  }
  fputs("</table></td></tr></table>\n", out);
}

}  // namespace

void WriteActivityCharts(FILE* out, const PageStyle& style, const DayTable& days,
                         const PageFacts& facts) {
  WriteDailyChart(out, style, days);
  WriteLegend(out, style);
  WriteHourLoad(out, style, facts.hourTotals);
  WriteActivityTable(out, style, facts.activityRows);
  WriteShareColumn(out, style, facts.shareColumn, facts.hourTotals);
}
