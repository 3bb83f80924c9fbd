// The user-adjustable texts of a run: a fixed table of keys, each with a
// capacity and a built-in default, overwritten by key=value settings files.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

struct SettingEntry {
  const char* key;
  int capacity;  // the most characters the value keeps
  std::string value;
};

struct Settings {
  std::vector<SettingEntry> entries;  // in the table's fixed order
};

// The table with every key at its built-in default.
Settings DefaultSettings();

// Reads key=value lines from `in` to its end and updates `settings`.
// Never fails: unknown keys and lines without "=" are skipped silently.
void ReadSettings(FILE* in, Settings& settings, int verbosity);

// The value of `key`; the empty text for a key the table does not have.
const std::string& SettingValue(const Settings& settings, std::string_view key);
