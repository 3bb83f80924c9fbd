#include "report/modern_charts.h"

#include <algorithm>
#include <string>

#include "report/chart_buckets.h"
#include "report/text_rendering.h"

namespace {

// One column of the daily chart: its quarters stacked from the bottom, as
// shares of the busiest column's height.
void WriteDayColumn(FILE* out, const char* kind, const std::string& label,
                    const int64_t quarters[4], int64_t chartMax) {
  const long long total = quarters[0] + quarters[1] + quarters[2] + quarters[3];
  fprintf(out,
          "<div class=\"%s\" title=\"%s: %lld lines (00-06: %lld, 06-12: %lld, 12-18: %lld, 18-24: %lld)\">",
          kind, label.c_str(), total, static_cast<long long>(quarters[0]),
          static_cast<long long>(quarters[1]), static_cast<long long>(quarters[2]),
          static_cast<long long>(quarters[3]));
  for (int q = 0; q < 4; ++q) {
    if (quarters[q] == 0) continue;
    double height = static_cast<double>(quarters[q]) * 100.0 / static_cast<double>(chartMax);
    fprintf(out, "<span class=\"q%d\" style=\"height:%.2f%%\"></span>", q + 1, height);
  }
  fputs("</div>\n", out);
}

int64_t ChartMaximum(const DayBuckets& chart) {
  int64_t most = chart.undated[0] + chart.undated[1] + chart.undated[2] + chart.undated[3];
  for (const ChartBucket& bucket : chart.buckets) most = std::max(most, BucketLines(bucket));
  return std::max<int64_t>(most, 1);
}

void WriteDayColumns(FILE* out, const DayBuckets& chart) {
  const int64_t chartMax = ChartMaximum(chart);
  fputs("<div class=\"bars\">\n", out);
  if (chart.haveUndated) WriteDayColumn(out, "c u", "Without a date", chart.undated, chartMax);
  const size_t busiest = BusiestBucket(chart.buckets);
  const size_t quietest = QuietestBucket(chart.buckets);
  const bool marked = chart.buckets.size() > 2;
  for (size_t i = 0; i < chart.buckets.size(); ++i) {
    const char* kind = !marked ? "c" : i == busiest ? "c top" : i == quietest ? "c low" : "c";
    WriteDayColumn(out, kind, BucketLabel(chart.buckets[i].firstDay, chart.size),
                   chart.buckets[i].quarters, chartMax);
  }
  fputs("</div>\n", out);
}

// The first, the middle and the last column's dates under the chart.
void WriteAxis(FILE* out, const DayBuckets& chart) {
  const std::vector<ChartBucket>& buckets = chart.buckets;
  fputs("<div class=\"axis\">", out);
  if (chart.haveUndated) fputs("<span>undated</span>", out);
  const size_t count = buckets.size();
  const size_t ticks[3] = {0, count / 2, count - 1};
  for (size_t t = 0; t < 3 && count > 0; ++t) {
    if (t > 0 && ticks[t] == ticks[t - 1]) continue;
    fprintf(out, "<span>%s</span>", BucketTick(buckets[ticks[t]].firstDay, chart.size).c_str());
  }
  fputs("</div>\n", out);
}

void WriteCaption(FILE* out, const DayBuckets& chart) {
  const std::vector<ChartBucket>& buckets = chart.buckets;
  fputs("<figcaption>", out);
  if (buckets.empty() && !chart.haveUndated) {
    fputs("No lines in these logs.</figcaption>\n", out);
    return;
  }
  const char* noun = BucketNoun(chart.size);
  if (!buckets.empty()) {
    fprintf(out, "One column per %s%s, %zu in all, from %s to %s. ", noun,
            chart.size == BucketSize::kWeek ? " (Monday to Sunday)" : "", buckets.size(),
            BucketLabel(buckets.front().firstDay, chart.size).c_str(),
            BucketLabel(buckets.back().firstDay, chart.size).c_str());
  }
  if (chart.haveUndated) fputs("The first column holds the lines without a date. ", out);
  fputs("Each column stacks its lines by quarter of the day (number of lines / 6 hours).", out);
  if (buckets.size() > 2) {
    const ChartBucket& busiest = buckets[BusiestBucket(buckets)];
    const ChartBucket& quietest = buckets[QuietestBucket(buckets)];
    fprintf(out, " Busiest %s (shaded): %s, %lld lines; quietest (grey): %s, %lld lines.", noun,
            BucketLabel(busiest.firstDay, chart.size).c_str(),
            static_cast<long long>(BucketLines(busiest)),
            BucketLabel(quietest.firstDay, chart.size).c_str(),
            static_cast<long long>(BucketLines(quietest)));
  }
  fputs("</figcaption>\n", out);
}

void WriteLegend(FILE* out) {
  fputs("<ul class=\"legend\"><li><span class=\"sw q1\"></span>Hours 00-06</li>"
        "<li><span class=\"sw q2\"></span>Hours 06-12</li>"
        "<li><span class=\"sw q3\"></span>Hours 12-18</li>"
        "<li><span class=\"sw q4\"></span>Hours 18-24</li></ul>\n",
        out);
}

void WriteDailyChart(FILE* out, const DayTable& days) {
  const DayBuckets chart = BucketDays(days);
  fputs("<section id=\"daily\"><h2><a href=\"#daily\">Daily statistics</a></h2>\n<figure>\n", out);
  WriteDayColumns(out, chart);
  WriteAxis(out, chart);
  WriteCaption(out, chart);
  fputs("</figure>\n", out);
  WriteLegend(out);
  fputs("</section>\n", out);
}

// The load by hour: the share of all lines of each hour, with the bar's
// height relative to the busiest hour and the hour cell's heat colour, as
// the classic page computes them.
void WriteHourLoad(FILE* out, const HourTotals& totals) {
  fputs("<section id=\"hours\"><h2><a href=\"#hours\">Channel load by hours</a></h2>\n"
        "<div class=\"hours\">\n",
        out);
  int64_t total = 1;
  int64_t maximum = 1;
  for (int64_t hour : totals.hours) {
    total += hour;
    maximum = std::max(maximum, hour);
  }
  for (int h = 0; h < 24; ++h) {
    const float percent = static_cast<float>(totals.hours[h] * 1000 / total) / 10.0f;
    const double height = static_cast<double>(totals.hours[h]) * 80.0 / static_cast<double>(maximum);
    fprintf(out,
            "<div class=\"h\" title=\"%.2i:00-%.2i:59: %lld lines\"><small>%.1f%%</small><span class=\"q%d\" style=\"height:%.2f%%\"></span></div>\n",
            h, h, static_cast<long long>(totals.hours[h]), static_cast<double>(percent), h / 6 + 1,
            height);
  }
  fputs("</div>\n<div class=\"hl\">", out);
  for (int h = 0; h < 24; ++h) {
    unsigned red = static_cast<unsigned>(totals.hours[h] * 192 / maximum + 63);
    unsigned blue = static_cast<unsigned>(128 - totals.hours[h] * 128 / maximum);
    fprintf(out, "<span style=\"background:#%.2x00%.2x\">%i</span>", red, blue, h);
  }
  fputs("</div>\n</section>\n", out);
}

int64_t NickQuarterLines(const NickRecord& nick, int q) {
  return nick.textLines[q] + nick.actionLines[q];
}

// The lines of a nick as four bars, one per quarter, relative to the most
// active nick's lines.
void WriteQuarterBar(FILE* out, const NickRecord& nick, int64_t mostLines) {
  fprintf(out, "<span class=\"qb\" title=\"00-06: %lld, 06-12: %lld, 12-18: %lld, 18-24: %lld\">",
          static_cast<long long>(NickQuarterLines(nick, 0)),
          static_cast<long long>(NickQuarterLines(nick, 1)),
          static_cast<long long>(NickQuarterLines(nick, 2)),
          static_cast<long long>(NickQuarterLines(nick, 3)));
  for (int q = 0; q < 4; ++q) {
    const int64_t lines = NickQuarterLines(nick, q);
    if (lines == 0) continue;
    double width = static_cast<double>(lines) * 100.0 / static_cast<double>(mostLines);
    fprintf(out, "<span class=\"q%d\" style=\"width:%.2f%%\"></span>", q + 1, width);
  }
  fputs("</span>", out);
}

void WriteActivityRow(FILE* out, const NickRecord& nick, int rank, int64_t mostLines) {
  fprintf(out, "<tr><td class=\"n ix\">%i</td><td class=\"nk\">%s</td><td class=\"n c2\">", rank,
          EscapedText(nick.name).c_str());
  WriteQuarterBar(out, nick, mostLines);
  const bool first = rank == 1;
  fprintf(out, "%s%li%s</td><td class=\"qt c3\">", first ? "<b>" : "", static_cast<long>(nick.lines),
          first ? "</b>" : "");
  if (nick.quote.text) RenderText(out, *nick.quote.text, TextMarkup::kHtml5);
  fputs("</td></tr>\n", out);
}

void WriteActivityTable(FILE* out, const std::vector<const NickRecord*>& ranked) {
  if (ranked.empty()) {
    fputs("<p>Nobody wrote a line.</p>\n", out);
    return;
  }
  fputs("<table class=\"act\"><thead><tr><th scope=\"col\" class=\"n\">#</th>"
        "<th scope=\"col\" class=\"hn\">Nick</th><th scope=\"col\" class=\"n\">Number of Lines</th>"
        "<th scope=\"col\">Quote</th></tr></thead>\n<tbody>\n",
        out);
  int64_t mostLines = 1;
  for (const NickRecord* nick : ranked) mostLines = std::max(mostLines, nick->lines);
  for (size_t i = 0; i < ranked.size(); ++i) {
    WriteActivityRow(out, *ranked[i], static_cast<int>(i) + 1, mostLines);
  }
  fputs("</tbody></table>\n", out);
}

// Everybody who wrote more than 1/64 of all lines, with a bar relative to
// the largest share and the share of all lines in per cent.
void WriteShare(FILE* out, const std::vector<ShareBar>& bars, const HourTotals& totals) {
  if (bars.empty()) return;
  int64_t shareTotal = 0;
  for (int64_t hour : totals.hours) shareTotal += hour;
  int64_t mostLines = 1;
  for (const ShareBar& bar : bars) mostLines = std::max(mostLines, bar.nick->lines);
  fputs("<aside class=\"share\"><h3>Share of all lines</h3><ul>\n", out);
  for (const ShareBar& bar : bars) {
    const double lines = static_cast<double>(bar.nick->lines);
    fprintf(out, "<li><span>%s</span><span class=\"q%d\" style=\"width:%.2f%%\"></span><span class=\"n\">%.1f%%</span></li>\n",
            EscapedText(bar.nick->name).c_str(), bar.colour + 1,
            lines * 100.0 / static_cast<double>(mostLines),
            lines * 100.0 / static_cast<double>(shareTotal));
  }
  fputs("</ul></aside>\n", out);
}

void WriteActivity(FILE* out, const PageFacts& facts) {
  fputs("<section id=\"activity\"><h2><a href=\"#activity\">Activity Statistics</a></h2>\n"
        "<p class=\"note\">Nicks sorted by number of lines written</p>\n<div class=\"act-wrap\">\n",
        out);
  WriteActivityTable(out, facts.activityRows);
  WriteShare(out, facts.shareColumn, facts.hourTotals);
  fputs("</div>\n</section>\n", out);
}

}  // namespace

void WriteModernCharts(FILE* out, const DayTable& days, const PageFacts& facts) {
  WriteDailyChart(out, days);
  WriteHourLoad(out, facts.hourTotals);
  WriteActivity(out, facts);
}
