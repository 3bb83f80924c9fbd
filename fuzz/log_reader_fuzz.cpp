// Fuzzes the log reader and the line accounting with any bytes as a log,
// read with one of the bundled formats, then writes the page from what was
// gathered. The first byte picks the format and whether the log is read a
// second time with two classifying threads, which must gather exactly what
// one thread gathered.
//
// Checked: the processed-bytes total is the log's size (up to a zero byte,
// which ends a line's text), and the undated day exists.
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "driver/settings.h"
#include "fuzz/fuzz_support.h"
#include "logformat/format_file.h"
#include "logformat/log_reader.h"
#include "report/page.h"
#include "stats/tables.h"

#ifndef FUZZ_SOURCE_DIR
#error "FUZZ_SOURCE_DIR must name the source folder"
#endif

namespace {

const char* const kFormatFiles[] = {
    "formats/irssi.txt", "formats/weechat.txt",      "formats/hexchat.txt",
    "formats/mirc.txt",  "formats/eggdrop.txt",      "formats/energymech.txt",
    "formats/znc.txt",   "examples/demo/format.txt",
};
constexpr size_t kFormatCount = sizeof kFormatFiles / sizeof kFormatFiles[0];

struct Fixture {
  LineTypeTable formats[kFormatCount];
  Settings settings = DefaultSettings();
  CompiledRegex quitIgnore;
  CompiledRegex kickIgnore;
  AccountingConfig config;
};

Fixture& TheFixture() {
  static Fixture* fixture = [] {
    auto* f = new Fixture;
    for (size_t i = 0; i < kFormatCount; ++i) {
      std::string path = std::string(FUZZ_SOURCE_DIR) + "/" + kFormatFiles[i];
      FILE* in = fopen(path.c_str(), "r");
      if (in == nullptr || !ReadLogFormatSpec(in, 0, f->formats[i])) {
        fprintf(stderr, "cannot load the format %s\n", path.c_str());
        abort();
      }
      fclose(in);
    }
    const std::string& quits = SettingValue(f->settings, SettingKey::kIgnoreQuits);
    const std::string& kicks = SettingValue(f->settings, SettingKey::kIgnoreKicks);
    if (regcomp(&f->quitIgnore.re, quits.c_str(), 0) != 0 ||
        regcomp(&f->kickIgnore.re, kicks.c_str(), 0) != 0) {
      abort();
    }
    f->quitIgnore.compiled = f->kickIgnore.compiled = true;
    f->config.statWord = "is";
    f->config.quitIgnore = &f->quitIgnore.re;
    f->config.kickIgnore = &f->kickIgnore.re;
    f->config.botNames[0] = "bramblet";
    f->config.botNames[1] = "unused1";
    f->config.botNames[2] = "unused2";
    return f;
  }();
  return *fixture;
}

void DigestSample(std::ostringstream& out, const QuoteSample& sample) {
  out << sample.count << ':' << (sample.text ? *sample.text : "(none)") << '\n';
}

void DigestPool(std::ostringstream& out, const SamplePool& pool) {
  out << pool.offers << ' ' << pool.duplicates << '\n';
  for (int i = 0; i < kPoolSlots; ++i) {
    out << (pool.items[i] ? *pool.items[i] : "(none)") << '|'
        << (pool.whoBy[i] ? *pool.whoBy[i] : "(none)") << '\n';
  }
}

// Everything a read gathered, as text, so that two reads can be compared.
std::string Digest(const StatsStore& store, uint64_t bytes) {
  std::ostringstream out;
  out << bytes << '\n';
  for (const NickRecord& n : store.nicks.records) {
    out << n.name << ' ' << n.lines << ' ' << n.letters << ' ' << n.questions << ' ' << n.shouts
        << ' ' << n.statWordHits << ' ' << n.joins << ' ' << n.timesKicked << ' ' << n.kicksGiven
        << ' ' << n.nickChanges << ' ' << n.seenRequests << ' ' << n.urls << ' ' << n.topicChanges
        << ' ' << n.monologues << ' ' << n.answers << ' ' << n.flags;
    for (int q = 0; q < 4; ++q) out << ' ' << n.textLines[q] << '/' << n.actionLines[q];
    out << '\n';
    DigestSample(out, n.quote);
  }
  for (const DayRecord& d : store.days.records) {
    out << d.name << ' ' << d.lines << ' ' << (d.topic ? *d.topic : "(none)");
    for (int64_t h : d.hours) out << ' ' << h;
    out << '\n';
    DigestSample(out, d.quote);
  }
  DigestPool(out, store.pools.topics);
  DigestPool(out, store.pools.kicks);
  DigestPool(out, store.pools.urls);
  DigestPool(out, store.pools.signoffs);
  return out.str();
}

struct ReadOutcome {
  bool ok = false;
  std::string digest;
};

ReadOutcome ReadLog(const std::string& log, const LineTypeTable& format, int workers,
                    bool writePage) {
  Fixture& f = TheFixture();
  srand(1);
  fuzz_support::InputStream in(log);
  StatsStore store;
  uint64_t bytes = 0;
  ReadOutcome outcome;
  outcome.ok = ParseLogFile(FileByteSource(in.stream, "log"), format, f.config, bytes, store, workers);
  if (FindDay(store.days, UNDATED, 0) == nullptr) fuzz_support::Finding("no undated day");
  if (outcome.ok) {
    // A zero byte ends its line's text, and the rest of that line counts
    // for nothing; without one every byte counts.
    if (log.find('\0') == std::string::npos && bytes != log.size()) {
      fuzz_support::Finding("the processed-bytes total is not the log's size");
    }
    if (bytes > log.size()) fuzz_support::Finding("more bytes processed than read");
  }
  outcome.digest = Digest(store, bytes);
  if (writePage && outcome.ok) {
    std::string statWord = f.config.statWord;
    const PageStyle style = PageStyleFromSettings(f.settings);
    PageContext context;
    context.style = &style;
    context.startTime = 1000000000;
    context.pageTime = 1000000000;
    context.processedBytes = bytes;
    const std::string undatedName = PutTablesInReportOrder(store, 0);
    const PageFacts facts = GatherPageFacts(store, undatedName, statWord, 0);
    WriteReportPage(fuzz_support::NullOutput(), context, store, facts);
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const LineTypeTable& format = TheFixture().formats[data[0] % kFormatCount];
  bool compareThreads = (data[0] & 0x80) != 0;
  std::string log(reinterpret_cast<const char*>(data + 1), size - 1);

  ReadOutcome single = ReadLog(log, format, 1, true);
  if (compareThreads) {
    ReadOutcome parallel = ReadLog(log, format, 2, false);
    if (single.ok != parallel.ok) fuzz_support::Finding("two threads end differently");
    if (single.digest != parallel.digest) fuzz_support::Finding("two threads gather differently");
  }
  return 0;
}
