// The user-adjustable texts of a run: a fixed table of keys, each with a
// capacity and a built-in default, overwritten by key=value settings files.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "report/page_style.h"

// Every key of the table, in the table's fixed order. The program looks a
// value up by one of these, so a mistyped key does not compile.
enum class SettingKey {
  kChanName,
  kMyName,
  kMyEmail,
  kStatWords,
  kPageText,
  kPageTextContrast,
  kPageBg,
  kDateBg,
  kTableHeadNick,
  kTableHeadOther,
  kTableIndexBg,
  kTableNickBg,
  kTable2Bg,
  kTable3Bg,
  kBotName,
  kBotName2,
  kBotName3,
  kPicExt,
  kCredits,
  kMaxQuoteLen,
  kMinQuoteLen,
  kIgnoreKicks,
  kIgnoreQuits,
  kHeader,
  kFont1,
  kFont2,
  kFont3,
  kCharset,
  kPageLayout,
  kUsers,
  kLogCharset,
  kLogCharsetFallback,
  kLogTimezone,
  kPageTimezone,
  kCount  // the number of keys, not a key
};

// One key of the table with its current value.
struct SettingEntry {
  const char* key;  // as settings files write it
  int capacity;     // the most characters the value keeps
  std::string value;
};

// Every key of the table, found by its SettingKey.
struct Settings {
  std::vector<SettingEntry> entries;  // in the table's fixed order
};

// The table with every key at its built-in default.
Settings DefaultSettings();

// Reads key=value lines from `in` to its end and updates `settings`.
// Never fails: unknown keys and lines without "=" are skipped silently.
void ReadSettings(FILE* in, Settings& settings, int verbosity);

// The value of `key`. REQUIRES: `settings` came from DefaultSettings.
const std::string& SettingValue(const Settings& settings, SettingKey key);

// The colours, fonts and texts of the page as `settings` give them.
PageStyle PageStyleFromSettings(const Settings& settings);
