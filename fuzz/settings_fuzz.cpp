// Fuzzes the settings reader with any bytes as a settings file, twice over
// one table as two -r files would. Every value must stay within its
// capacity and hold no newline and no zero byte; the StatWord is one of the
// candidates; and the page head, summary and footer are written with the
// values as they came.
#include <cstring>

#include "driver/run.h"
#include "driver/settings.h"
#include "fuzz/fuzz_support.h"
#include "report/page.h"
#include "stats/tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Settings settings = DefaultSettings();
  const size_t entries = settings.entries.size();
  int verbosity = size % 2 == 1 ? 2 : 0;
  {
    fuzz_support::InputStream first(data, size);
    ReadSettings(first.stream, settings, verbosity);
  }
  {
    // The second half again, as a later file that overrides the first.
    fuzz_support::InputStream second(data + size / 2, size - size / 2);
    ReadSettings(second.stream, settings, verbosity);
  }
  if (settings.entries.size() != entries) fuzz_support::Finding("the table changed its size");
  for (size_t i = 0; i < settings.entries.size(); ++i) {
    const SettingEntry& entry = settings.entries[i];
    if (entry.value.size() > static_cast<size_t>(entry.capacity)) {
      fuzz_support::Finding("a value over its capacity");
    }
    if (entry.value.find('\n') != std::string::npos) fuzz_support::Finding("a newline in a value");
    if (entry.value.find('\0') != std::string::npos)
      fuzz_support::Finding("a zero byte in a value");
    if (&SettingValue(settings, static_cast<SettingKey>(i)) != &entry.value) {
      fuzz_support::Finding("a key that does not find its own value");
    }
  }

  const std::string& candidates = SettingValue(settings, SettingKey::kStatWords);
  std::string statWord = candidates.empty() ? std::string("\n\n") : ChooseStatWord(candidates);
  if (!candidates.empty()) {
    std::string wrapped = "," + candidates + ",";
    if (wrapped.find("," + statWord + ",") == std::string::npos) {
      fuzz_support::Finding("a StatWord that is no candidate");
    }
  }

  // The driver writes a page only after a log was read, which leaves the
  // undated day in the table.
  StatsStore store;
  AddDay(store.days, UNDATED);
  const PageStyle style = PageStyleFromSettings(settings);
  PageContext context;
  context.style = &style;
  context.startTime = 1000000000;
  context.pageTime = 1000000000;
  const std::string undatedName = PutTablesInReportOrder(store, 0);
  const PageFacts facts = GatherPageFacts(store, undatedName, statWord, 0);
  WriteReportPage(fuzz_support::NullOutput(), context, store, facts);
  return 0;
}
