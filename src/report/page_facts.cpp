#include "report/page_facts.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "report/text_rendering.h"

namespace {

constexpr size_t kActivityRows = 30;
constexpr int kTopNicks = 30;

bool IsUndated(const DayRecord& day) { return day.name == UNDATED; }

// The current topic: the latest day that has one, the undated day aside.
const std::string* FindCurrentTopic(const DayTable& days) {
  for (size_t i = days.records.size(); i-- > 1;) {
    if (days.records[i].topic) return &*days.records[i].topic;
  }
  return nullptr;
}

// A random dated day, drawing from rand() until one is found; the only day
// when there is one; none in an empty table.
const DayRecord* DrawQuoteDay(const DayTable& days, int verbosity) {
  const size_t dayCount = days.records.size();
  if (dayCount == 0) return nullptr;
  if (dayCount == 1) return &days.records[0];
  size_t candidate = 0;
  while (IsUndated(days.records[candidate])) {
    int drawn = static_cast<int>(static_cast<size_t>(rand()) % dayCount);
    candidate = static_cast<size_t>(drawn);
    if (verbosity > 1) {
      fprintf(stderr, "Random Channel Number: %i (%s)\n", drawn,
              days.records[candidate].name.c_str());
    }
  }
  return &days.records[candidate];
}

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
  // Judges only the nicks with lines: a row about what was said never
  // names a nick who said nothing.
  bool speakersOnly;
};

// The rows whose phrases the first draw picks, in page order.
constexpr BigNumberRow kFirstDrawRows[] = {
    {KicksGiven, false, 4, "was in a mood not to be messed with, and kicked %ld times",
     "was the channel bouncer, booting %ld people out", 1, false, false},
    {TimesKicked, false, 16, "wasn't very popular, and got booted out %ld times",
     "just didn't fit in, getting kicked %ld times", 1, false, false},
    {NickChanges, false, 64, "couldn't find the right nick, despite changing it %ld times",
     "is still looking for that perfect nick after %ld changes", 2, false, false},
    {Joins, false, 256, "couldn't decide whether to stay or go, and was in and out %ld times",
     "abused the door, coming and going %ld times", 7, false, false},
    {LettersPerLine, false, 0, "had the longest lines, averaging %ld in length", nullptr, 7,
     false, true},
    {ShoutPercent, false, 1024, "was the loud mouth, with %ld%% shouting",
     "was giving us earache, yelling %ld%% of the time", 5, false, true},
    {QuestionPercent, false, 4096, "seemed uncertain - %ld%% of lines were questions",
     "didn't know, so asked questions %ld%% of the time", 5, false, true},
    {Answers, false, 64, "was very helpful, answering %ld questions",
     "was a know-it-all, answering %ld questions", 1, true, true},
    {StatWordHits, false, 0, nullptr, nullptr, 10, false, true},
};

// The rows whose phrases the second draw picks, in page order.
constexpr BigNumberRow kSecondDrawRows[] = {
    {SeenRequests, false, 1, "couldn't find who he was looking for, and performed %ld seens",
     "missed his friends, he did %ld seens", 3, false, true},
    {LettersPerLine, true, 0, "wrote only %ld letters per line, despite talking our ears off",
     nullptr, 10, false, true},
    {Urls, false, 4, "was busy surfing the web, and found %ld cool URLs",
     "dug up %ld interesting web sites to visit", 5, false, true},
    {LinesIfAllQuarters, true, 0,
     "wrote only %ld lines, yet still managed to be around<br>morning, afternoon, evening, and the graveyard shift",
     nullptr, 100, true, true},
    {Monologues, false, 16, "talked to himself a lot, with %ld monologues",
     "delivered %ld monologues, although nobody listened", 1, true, true},
    {TopicChanges, false, 0, "wasn't satisfied with the topic, so changed it %ld times", nullptr, 4,
     false, false},
};

// Doubles every "%" so that the text reads as itself inside a phrase.
std::string LiteralInPhrase(const std::string& text) {
  std::string literal;
  literal.reserve(text.size());
  for (char ch : text) {
    literal += ch;
    if (ch == '%') literal += '%';
  }
  return literal;
}

// The StatWord row's phrase: the word escaped for the page and its "%"
// signs doubled, so that only the count is taken as the value's place.
std::string StatWordPhrase(const std::string& statWord, int draw) {
  const std::string word = LiteralInPhrase(EscapedText(statWord));
  std::vector<char> phrase(word.size() + 100);
  snprintf(phrase.data(), phrase.size(),
           (draw & 1) ? "knew the right word, and said \"%s\" %%ld times"
                      : "kept saying \"%s\", a whole %%ld times in fact",
           word.c_str());
  return phrase.data();
}

// The number of records before the first nick with no lines: in activity
// order, every nick who said something.
int Speakers(const NickTable& nicks) {
  size_t speakers = 0;
  while (speakers < nicks.records.size() && nicks.records[speakers].lines != 0) ++speakers;
  return static_cast<int>(std::min<size_t>(speakers, 0x7fffffff));
}

// Ranks `rows` in order with the phrases `draw` picks.
void RankRows(const NickTable& nicks, std::span<const BigNumberRow> rows, int draw,
              const std::string& statWordPhrase, std::vector<BigNumberFact>& facts) {
  const int all = static_cast<int>(std::min<size_t>(nicks.records.size(), 0x7fffffff));
  const int speakers = Speakers(nicks);
  for (const BigNumberRow& row : rows) {
    const char* phrase = row.phraseIfSet;
    if (row.bit != 0 && (draw & row.bit) == 0) phrase = row.phraseIfClear;
    int scanLimit = row.everyNick ? all : kTopNicks;
    if (row.speakersOnly) scanLimit = std::min(scanLimit, speakers);
    std::optional<RankedRow> ranked =
        RankRow(nicks, row.metric, row.lowest, row.threshold, scanLimit);
    if (!ranked) continue;
    facts.push_back({*ranked, phrase != nullptr ? std::string(phrase) : statWordPhrase});
  }
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

ReportPeriod FindReportPeriod(const DayTable& days, const std::string& fallback) {
  ReportPeriod period{fallback, fallback};
  for (const DayRecord& day : days.records) {
    if (!IsUndated(day)) {
      period.first = day.name;
      break;
    }
  }
  if (!days.records.empty()) period.last = days.records.back().name;
  return period;
}

HourTotals ComputeHourTotals(const DayTable& days) {
  HourTotals totals;
  for (const DayRecord& day : days.records) {
    for (int h = 0; h < 24; ++h) totals.hours[h] += day.hours[h];
  }
  return totals;
}

std::vector<const NickRecord*> ActivityRows(const NickTable& nicks, size_t rows) {
  std::vector<const NickRecord*> ranked;
  for (const NickRecord& nick : nicks.records) {
    if (ranked.size() >= rows) break;
    if (nick.lines != 0) ranked.push_back(&nick);
  }
  return ranked;
}

std::vector<ShareBar> ShareColumn(const NickTable& nicks, const HourTotals& totals) {
  int64_t shareTotal = 0;
  for (int64_t hour : totals.hours) shareTotal += hour;
  std::vector<ShareBar> bars;
  if (shareTotal <= 0) return bars;
  for (const NickRecord& nick : nicks.records) {
    if (nick.lines * 64 > shareTotal) {
      bars.push_back({&nick, static_cast<int>(bars.size() % 4)});
    }
  }
  return bars;
}

std::optional<RankedRow> RankRow(const NickTable& nicks, NickMetric metric, bool lowest,
                                 int32_t threshold, int scanLimit) {
  const std::deque<NickRecord>& records = nicks.records;
  const size_t n = std::min(static_cast<size_t>(std::max(scanLimit, 0)), records.size());
  if (n == 0) return std::nullopt;
  // `beats(x, y)`: value x strictly better than value y.
  auto beats = [lowest](int32_t x, int32_t y) { return lowest ? x < y : x > y; };

  RankedRow ranked;
  size_t winner = 0;
  ranked.winnerValue = RowValue(metric, records[0]);
  if (n >= 2) {
    int32_t second = RowValue(metric, records[1]);
    size_t runner = 1;
    if (beats(second, ranked.winnerValue)) {
      runner = 0;
      winner = 1;
      std::swap(ranked.winnerValue, second);
    }
    ranked.runnerUpValue = second;
    for (size_t i = 2; i < n; ++i) {
      int32_t v = RowValue(metric, records[i]);
      if (lowest && v == 0) continue;
      if (!beats(v, ranked.runnerUpValue)) continue;
      if (!beats(v, ranked.winnerValue)) {
        runner = i;
        ranked.runnerUpValue = v;
      } else {
        runner = winner;
        ranked.runnerUpValue = ranked.winnerValue;
        winner = i;
        ranked.winnerValue = v;
      }
    }
    ranked.runnerUp = &records[runner];
  }
  ranked.winner = &records[winner];
  const bool passes =
      lowest ? ranked.winnerValue < threshold : ranked.winnerValue >= threshold;
  if (!passes) return std::nullopt;
  return ranked;
}

std::vector<BigNumberFact> RankBigNumbers(const NickTable& nicks, const std::string& statWord) {
  std::vector<BigNumberFact> facts;
  const int r1 = rand();
  const std::string statWordPhrase = StatWordPhrase(statWord, r1);
  RankRows(nicks, kFirstDrawRows, r1, statWordPhrase, facts);
  const int r2 = rand();
  RankRows(nicks, kSecondDrawRows, r2, statWordPhrase, facts);
  return facts;
}

std::string CtimeText(time_t when) {
  char buffer[64];
  if (ctime_r(&when, buffer) == nullptr) return "(time out of range)\n";
  return buffer;
}

std::string PhraseWithValue(const std::string& phrase, long value) {
  std::string text;
  text.reserve(phrase.size() + 20);
  for (size_t i = 0; i < phrase.size(); ++i) {
    if (phrase[i] != '%') {
      text += phrase[i];
    } else if (phrase.compare(i, 3, "%ld") == 0) {
      text += std::to_string(value);
      i += 2;
    } else if (phrase.compare(i, 2, "%%") == 0) {
      text += '%';
      i += 1;
    } else {
      text += '%';
    }
  }
  return text;
}

PageFacts GatherPageFacts(const StatsStore& store, const std::string& undatedName,
                          const std::string& statWord, int verbosity) {
  PageFacts facts;
  facts.period = FindReportPeriod(store.days, undatedName);
  facts.persons = store.nicks.records.size();
  facts.currentTopic = FindCurrentTopic(store.days);
  facts.quoteDay = DrawQuoteDay(store.days, verbosity);
  facts.hourTotals = ComputeHourTotals(store.days);
  facts.activityRows = ActivityRows(store.nicks, kActivityRows);
  facts.shareColumn = ShareColumn(store.nicks, facts.hourTotals);
  facts.haveBigNumbers = !store.nicks.records.empty();
  if (facts.haveBigNumbers) facts.bigNumbers = RankBigNumbers(store.nicks, statWord);
  return facts;
}
