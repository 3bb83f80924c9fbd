#include "report/modern_page.h"

#include "report/modern_charts.h"
#include "report/modern_style.h"
#include "report/text_rendering.h"
#include "stats/tables.h"

namespace {

// The ctime text of `when` without its newline.
std::string PageTimeText(time_t when) {
  std::string text = CtimeText(when);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

void WriteHead(FILE* out, const PageStyle& style) {
  fputs("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n", out);
  if (!style.charset.empty()) {
    fprintf(out, "<meta charset=\"%s\">\n", EscapedText(style.charset).c_str());
  }
  fprintf(out,
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
          "<meta name=\"generator\" content=\"%s %s\">\n"
          "<title>#%s statistics created by %s and %s</title>\n",
          kProgramName, kProgramVersion, EscapedText(style.channame).c_str(),
          EscapedText(style.myname).c_str(), kProgramName);
  WriteModernStyleSheet(out, style);
  fputs("</head>\n", out);
}

// The user's header, the page title with its maker and the links to the
// sections.
void WriteTop(FILE* out, const PageStyle& style) {
  fprintf(out, "<body>\n%s\n<header>\n<h1>Channel stats for #%s</h1>\n"
          "<p>created by <a href=\"mailto:%s\">%s</a></p>\n",
          style.header.c_str(), EscapedText(style.channame).c_str(),
          EscapedText(style.myemail).c_str(), EscapedText(style.myname).c_str());
  fputs("<nav aria-label=\"Sections\"><a href=\"#daily\">Daily</a> <a href=\"#hours\">Hours</a> "
        "<a href=\"#activity\">Activity</a> <a href=\"#topics\">Topics</a> "
        "<a href=\"#kicks\">Kicks</a> <a href=\"#big-numbers\">Big Numbers</a> "
        "<a href=\"#urls\">URLs</a> <a href=\"#signoffs\">Signoffs</a></nav>\n</header>\n",
        out);
}

// The period, the page's time, the visitors, the current topic and the
// random day's line.
void WriteSummary(FILE* out, const PageStyle& style, const PageFacts& facts,
                  const std::string& pageTimeText) {
  const ReportPeriod& period = facts.period;
  int64_t days = DayNumber(period.last) - DayNumber(period.first) + 1;
  fprintf(out,
          "<section class=\"sum\" aria-label=\"Summary\">\n"
          "<p>Statistics generated from %s to %s</p>\n<p>Stats generated on %s</p>\n"
          "<p>During this %li-day reporting period a total of %i persons visited #%s</p>\n",
          EscapedText(period.first).c_str(), EscapedText(period.last).c_str(),
          pageTimeText.c_str(), static_cast<long>(days), static_cast<int>(facts.persons),
          EscapedText(style.channame).c_str());
  if (facts.currentTopic != nullptr) {
    fputs("<p>The current topic is <span class=\"tp\">", out);
    RenderText(out, *facts.currentTopic, TextMarkup::kHtml5);
    fputs("</span></p>\n", out);
  }
  const DayRecord* quoteDay = facts.quoteDay;
  if (quoteDay != nullptr && quoteDay->quote.text && !quoteDay->quote.text->empty()) {
    fputs("<p class=\"rnd\">", out);
    RenderText(out, *quoteDay->quote.text, TextMarkup::kHtml5);
    fputs("</p>\n", out);
  }
  fputs("</section>\n", out);
}

// A section's opening: its anchor and heading.
void WriteSectionHead(FILE* out, const char* id, const char* title) {
  fprintf(out, "<section id=\"%s\"><h2><a href=\"#%s\">%s</a></h2>\n", id, id, title);
}

void WritePool(FILE* out, const SamplePool& pool, const char* title) {
  const int32_t distinct = pool.offers - pool.duplicates;
  if (distinct <= 0) {
    fputs("<p>Nothing to show.</p>\n", out);
    return;
  }
  fprintf(out,
          "<table class=\"pool\"><thead><tr><th scope=\"col\" class=\"n\">#</th>"
          "<th scope=\"col\" class=\"hn\">Who by</th><th scope=\"col\">%s</th></tr></thead>\n<tbody>\n",
          title);
  for (int i = 0; i < distinct && i < kPoolSlots; ++i) {
    std::string whoBy = EscapedText(pool.whoBy[i] ? *pool.whoBy[i] : std::string());
    fprintf(out, "<tr><td class=\"n ix\">%i</td><td class=\"nk\">%s</td><td class=\"qt c2\">",
            i + 1, whoBy.c_str());
    if (pool.items[i]) RenderText(out, *pool.items[i], TextMarkup::kHtml5);
    fputs("</td></tr>\n", out);
  }
  fputs("</tbody></table>\n", out);
}

void WritePoolSection(FILE* out, const char* id, const char* heading, const SamplePool& pool,
                      const char* title) {
  WriteSectionHead(out, id, heading);
  WritePool(out, pool, title);
  fputs("</section>\n", out);
}

void WriteBigNumberRows(FILE* out, const std::vector<BigNumberFact>& facts) {
  fputs("<table class=\"big\"><thead><tr><th scope=\"col\" class=\"hn\">Who</th>"
        "<th scope=\"col\">Fact!</th><th scope=\"col\">Runner-up</th></tr></thead>\n<tbody>\n",
        out);
  for (const BigNumberFact& fact : facts) {
    const RankedRow& row = fact.row;
    fprintf(out, "<tr><td class=\"nk\">%s</td><td class=\"c2\">",
            EscapedText(row.winner->name).c_str());
    fputs(PhraseWithValue(fact.phrase, static_cast<long>(row.winnerValue)).c_str(), out);
    if (row.runnerUp != nullptr) {
      fprintf(out, "</td><td class=\"c3\">%s (%d)</td></tr>\n",
              EscapedText(row.runnerUp->name).c_str(), row.runnerUpValue);
    } else {
      fputs("</td><td class=\"c3\"></td></tr>\n", out);
    }
  }
  fputs("</tbody></table>\n", out);
}

void WriteBigNumbersSection(FILE* out, const PageFacts& facts) {
  WriteSectionHead(out, "big-numbers", "Big Numbers");
  if (!facts.haveBigNumbers) {
    fputs("<p>Nobody was seen.</p>\n", out);
  } else if (facts.bigNumbers.empty()) {
    fputs("<p>No statistic stood out.</p>\n", out);
  } else {
    WriteBigNumberRows(out, facts.bigNumbers);
  }
  fputs("</section>\n", out);
}

// The samples, with the Big Numbers between the kicks and the URLs.
void WriteSampleSections(FILE* out, const StatsStore& store, const PageFacts& facts) {
  WritePoolSection(out, "topics", "5 Random Topics", store.pools.topics, "Topic");
  WritePoolSection(out, "kicks", "5 Random Kicks", store.pools.kicks, "What happened");
  WriteBigNumbersSection(out, facts);
  WritePoolSection(out, "urls", "5 Random URLs", store.pools.urls, "URL");
  WritePoolSection(out, "signoffs", "5 Random Signoffs", store.pools.signoffs, "Quit message");
}

void WriteFooter(FILE* out, const PageStyle& style, const PageContext& context,
                 const std::string& pageTimeText) {
  fprintf(out,
          "<footer>\n<p>This page was created on %s, with <a href=\"%s\">%s</a> %s by %s. "
          "Processed %lldKiB in %llds.</p>\n",
          pageTimeText.c_str(), kHomePage, kProgramName, kProgramVersion, kCredit,
          static_cast<long long>(context.processedBytes >> 10),
          static_cast<long long>(context.pageTime - context.startTime));
  if (!style.credits.empty()) fprintf(out, "<p>%s</p>\n", style.credits.c_str());
  fputs("</footer>\n</body>\n</html>\n", out);
}

}  // namespace

void WriteModernPage(FILE* out, const PageContext& context, const StatsStore& store,
                     const PageFacts& facts) {
  const PageStyle& style = *context.style;
  const std::string pageTimeText = PageTimeText(context.pageTime);
  WriteHead(out, style);
  WriteTop(out, style);
  fputs("<main>\n", out);
  WriteSummary(out, style, facts, pageTimeText);
  WriteModernCharts(out, store.days, facts);
  WriteSampleSections(out, store, facts);
  fputs("</main>\n", out);
  WriteFooter(out, style, context, pageTimeText);
}
