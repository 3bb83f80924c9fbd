#include "report/big_numbers.h"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <vector>

#include "report/text_rendering.h"

namespace {

constexpr int kTopNicks = 30;

int64_t KicksGiven(const NickRecord& nick) { return nick.kicksGiven; }
int64_t TimesKicked(const NickRecord& nick) { return nick.timesKicked; }
int64_t NickChanges(const NickRecord& nick) { return nick.nickChanges; }
int64_t Joins(const NickRecord& nick) { return nick.joins; }
int64_t Answers(const NickRecord& nick) { return nick.answers; }
int64_t StatWordHits(const NickRecord& nick) { return nick.statWordHits; }
int64_t SeenRequests(const NickRecord& nick) { return nick.seenRequests; }
int64_t Urls(const NickRecord& nick) { return nick.urls; }
int64_t Monologues(const NickRecord& nick) { return nick.monologues; }
int64_t TopicChanges(const NickRecord& nick) { return nick.topicChanges; }

// The rows compare and print the low 32 bits of every metric.
int32_t RowValue(NickMetric metric, const NickRecord& nick) {
  return static_cast<int32_t>(metric(nick));
}

// One row of the table. With a single nick there is no runner-up, and its
// cell is left empty.
void WriteRow(FILE* out, const PageStyle& style, const NickRecord& winner, int32_t winnerValue,
              const NickRecord* runnerUp, int32_t runnerUpValue, const char* phrase) {
  const char* font2 = style.font2.c_str();
  fprintf(out, "<tr><td align=\"center\" bgcolor=\"#%s\"><font size=2 face=\"%s\">%s</font></td><td align=\"left\" bgcolor=\"#%s\"><font size=3 face=\"%s\">",
          style.nickBg.c_str(), font2, EscapedText(winner.name).c_str(), style.secondBg.c_str(),
          style.font1.c_str());
  // The phrase holds exactly one "%ld" and otherwise only "%%".
  fprintf(out, phrase, static_cast<long>(winnerValue));
  const char* runnerBg = style.thirdBg.c_str();
  if (runnerUp != nullptr) {
    fprintf(out, "</font></td><td align=\"left\" bgcolor=\"#%s\"><font size=1 face=\"%s\">%s (%d)</font></td></tr>\n",
            runnerBg, font2, EscapedText(runnerUp->name).c_str(), runnerUpValue);
  } else {
    fprintf(out, "</font></td><td align=\"left\" bgcolor=\"#%s\"><font size=1 face=\"%s\"></font></td></tr>\n",
            runnerBg, font2);
  }
}

// Finds the winner and the runner-up among the first min(scanLimit, nicks)
// records and writes the row when the winner passes the threshold. A lowest
// row is won by the smallest value and passes over zeros from the third
// record on; ties go to the earlier record.
void WriteRankedRow(FILE* out, const PageStyle& style, const NickTable& nicks,
                    NickMetric metric, const char* phrase, int32_t threshold, int scanLimit,
                    bool lowest) {
  const std::vector<NickRecord>& records = nicks.records;
  const size_t n = std::min(static_cast<size_t>(std::max(scanLimit, 0)), records.size());
  if (n == 0) return;
  // `beats(x, y)`: value x strictly better than value y.
  auto beats = [lowest](int32_t x, int32_t y) { return lowest ? x < y : x > y; };

  size_t winner = 0;
  int32_t winnerValue = RowValue(metric, records[0]);
  const NickRecord* runnerUp = nullptr;
  int32_t runnerUpValue = 0;
  if (n >= 2) {
    int32_t second = RowValue(metric, records[1]);
    size_t runner = 1;
    if (beats(second, winnerValue)) {
      runner = 0;
      winner = 1;
      std::swap(winnerValue, second);
    }
    runnerUpValue = second;
    for (size_t i = 2; i < n; ++i) {
      int32_t v = RowValue(metric, records[i]);
      if (lowest && v == 0) continue;
      if (!beats(v, runnerUpValue)) continue;
      if (!beats(v, winnerValue)) {
        runner = i;
        runnerUpValue = v;
      } else {
        runner = winner;
        runnerUpValue = winnerValue;
        winner = i;
        winnerValue = v;
      }
    }
    runnerUp = &records[runner];
  }
  const bool passes = lowest ? winnerValue < threshold : winnerValue >= threshold;
  if (passes) WriteRow(out, style, records[winner], winnerValue, runnerUp, runnerUpValue, phrase);
}

// Doubles every "%" so that the text reads as itself inside a format.
std::string LiteralInFormat(const std::string& text) {
  std::string literal;
  literal.reserve(text.size());
  for (char ch : text) {
    literal += ch;
    if (ch == '%') literal += '%';
  }
  return literal;
}

// One row of the table. The row's draw picks between its two phrases by
// one bit; a row with no bit has one phrase, and a row with no phrase takes
// the StatWord's.
struct BigNumberRow {
  NickMetric metric;
  bool lowest;  // won by the smallest value
  int bit;  // the bit of the draw that picks phraseIfSet; 0: always
  const char* phraseIfSet;
  const char* phraseIfClear;
  int32_t threshold;
  bool everyNick;  // scans every nick, not only the most active ones
};

// The rows whose phrases the first draw picks, in page order.
constexpr BigNumberRow kFirstDrawRows[] = {
    {KicksGiven, false, 4, "was in a mood not to be messed with, and kicked %ld times",
     "was the channel bouncer, booting %ld people out", 1, false},
    {TimesKicked, false, 16, "wasn't very popular, and got booted out %ld times",
     "just didn't fit in, getting kicked %ld times", 1, false},
    {NickChanges, false, 64, "couldn't find the right nick, despite changing it %ld times",
     "is still looking for that perfect nick after %ld changes", 2, false},
    {Joins, false, 256, "couldn't decide whether to stay or go, and was in and out %ld times",
     "abused the door, coming and going %ld times", 7, false},
    {LettersPerLine, false, 0, "had the longest lines, averaging %ld in length", nullptr, 7,
     false},
    {ShoutPercent, false, 1024, "was the loud mouth, with %ld%% shouting",
     "was giving us earache, yelling %ld%% of the time", 5, false},
    {QuestionPercent, false, 4096, "seemed uncertain - %ld%% of lines were questions",
     "didn't know, so asked questions %ld%% of the time", 5, false},
    {Answers, false, 64, "was very helpful, answering %ld questions",
     "was a know-it-all, answering %ld questions", 1, true},
    {StatWordHits, false, 0, nullptr, nullptr, 10, false},
};

// The rows whose phrases the second draw picks, in page order.
constexpr BigNumberRow kSecondDrawRows[] = {
    {SeenRequests, false, 1, "couldn't find who he was looking for, and performed %ld seens",
     "missed his friends, he did %ld seens", 3, false},
    {LettersPerLine, true, 0, "wrote only %ld letters per line, despite talking our ears off",
     nullptr, 10, false},
    {Urls, false, 4, "was busy surfing the web, and found %ld cool URLs",
     "dug up %ld interesting web sites to visit", 5, false},
    {LinesIfAllQuarters, true, 0,
     "wrote only %ld lines, yet still managed to be around<br>morning, afternoon, evening, and the graveyard shift",
     nullptr, 100, true},
    {Monologues, false, 16, "talked to himself a lot, with %ld monologues",
     "delivered %ld monologues, although nobody listened", 1, true},
    {TopicChanges, false, 0, "wasn't satisfied with the topic, so changed it %ld times", nullptr, 4,
     false},
};

// Writes `rows` in order with the phrases `draw` picks.
void WriteRows(FILE* out, const PageStyle& style, const NickTable& nicks,
               std::span<const BigNumberRow> rows, int draw, const char* statWordPhrase) {
  const int all = static_cast<int>(std::min<size_t>(nicks.records.size(), 0x7fffffff));
  for (const BigNumberRow& row : rows) {
    const char* phrase = row.phraseIfSet;
    if (phrase == nullptr) phrase = statWordPhrase;
    if (row.bit != 0 && (draw & row.bit) == 0) phrase = row.phraseIfClear;
    WriteRankedRow(out, style, nicks, row.metric, phrase, row.threshold,
                   row.everyNick ? all : kTopNicks, row.lowest);
  }
}

// The StatWord row's phrase: the word escaped for the page and its "%"
// signs doubled, so that only the count is taken as a conversion.
std::vector<char> StatWordPhrase(const std::string& statWord, int draw) {
  const std::string word = LiteralInFormat(EscapedText(statWord));
  std::vector<char> phrase(word.size() + 100);
  snprintf(phrase.data(), phrase.size(),
           (draw & 1) ? "knew the right word, and said \"%s\" %%ld times"
                      : "kept saying \"%s\", a whole %%ld times in fact",
           word.c_str());
  return phrase;
}

void WriteTableHead(FILE* out, const PageStyle& style) {
  const char* contrast = style.contrast.c_str();
  const char* font1 = style.font1.c_str();
  const char* headOther = style.headOtherBg.c_str();
  fprintf(out, "<Table border=0 cellpadding=2 cellspacing=2>\n<tr><td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b>Who</b></i></font></td>\n<td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b>Fact!</b></i></font></td><td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b>Runner-up</b></i></font></td></tr>\n",
          style.headNickBg.c_str(), contrast, font1, headOther, contrast, font1, headOther,
          contrast, font1);
}

}  // namespace

int64_t LettersPerLine(const NickRecord& nick) {
  return nick.lines == 0 ? 0 : nick.letters / nick.lines;
}

int64_t ShoutPercent(const NickRecord& nick) {
  return nick.letters == 0 ? 0 : nick.shouts * 100 / nick.letters;
}

int64_t QuestionPercent(const NickRecord& nick) {
  return nick.lines == 0 ? 0 : nick.questions * 100 / nick.lines;
}

int64_t LinesIfAllQuarters(const NickRecord& nick) {
  for (int q = 0; q < 4; ++q) {
    if (nick.textLines[q] + nick.actionLines[q] == 0) return 101;
  }
  return nick.lines;
}

void WriteHighestRow(FILE* out, const PageStyle& style, const NickTable& nicks,
                     NickMetric metric, const char* phrase, int32_t threshold, int scanLimit) {
  WriteRankedRow(out, style, nicks, metric, phrase, threshold, scanLimit, false);
}

void WriteLowestRow(FILE* out, const PageStyle& style, const NickTable& nicks,
                    NickMetric metric, const char* phrase, int32_t threshold, int scanLimit) {
  WriteRankedRow(out, style, nicks, metric, phrase, threshold, scanLimit, true);
}

void WriteBigNumbers(FILE* out, const PageStyle& style, const NickTable& nicks,
                     const std::string& statWord) {
  const int r1 = rand();
  const std::vector<char> statWordPhrase = StatWordPhrase(statWord, r1);
  WriteTableHead(out, style);
  WriteRows(out, style, nicks, kFirstDrawRows, r1, statWordPhrase.data());
  const int r2 = rand();
  WriteRows(out, style, nicks, kSecondDrawRows, r2, statWordPhrase.data());
  fputs("</table>\n", out);
}
