#include "driver/settings.h"

#include <cstring>

#include "stats/text_basics.h"

Settings DefaultSettings() {
  Settings settings;
  settings.entries = {
      {"channame", 30, ""},
      {"myname", 30, ""},
      {"myemail", 30, ""},
      {"statwords", 100, ""},
      {"page_text", 6, "181C18"},
      {"page_text_contrast", 6, "000000"},
      {"page_bg", 6, "E0E0F0"},
      {"date_bg", 6, "90A0D8"},
      {"table_head_nick", 6, "A07088"},
      {"table_head_other", 6, "70A098"},
      {"table_index_bg", 6, "889480"},
      {"table_nick_bg", 6, "C090A8"},
      {"table_2_bg", 6, "90C0B8"},
      {"table_3_bg", 6, "90A0D8"},
      {"botname", 9, "bramblet"},
      {"botname2", 9, "unused1"},
      {"botname3", 9, "unused2"},
      {"picext", 9, ".png"},
      {"credits", 199, ""},
      {"max_quote_len", 6, "1000"},
      {"min_quote_len", 6, "2"},
      {"ignore_kicks", 1000, "Public flood"},
      {"ignore_quits", 1000, "Ping timeout"},
      {"header", 199, ""},
      {"font1", 19, "Times New Roman"},
      {"font2", 19, "Verdana"},
      {"font3", 19, "Arial Narrow"},
      {"charset", 30, ""},
  };
  return settings;
}

// Handles one line (or one piece of a long line) of a settings file.
static void ApplySettingsLine(char* line, Settings& settings, int verbosity) {
  size_t length = strlen(line);
  if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
  if (line[0] == '#') return;
  char* equals = strchr(line, '=');
  if (equals == nullptr) return;
  std::string_view key(line, static_cast<size_t>(equals - line));
  const char* value = equals + 1;
  // Keys are unique, but every entry is compared so that the table alone
  // decides what a key sets.
  for (SettingEntry& entry : settings.entries) {
    if (!NamesEqualIgnoringCase(key, entry.key)) continue;
    if (verbosity > 1) fprintf(stderr, "Setting %s to %s\n", entry.key, value);
    entry.value.assign(value, strnlen(value, static_cast<size_t>(entry.capacity)));
  }
}

void ReadSettings(FILE* in, Settings& settings, int verbosity) {
  // A 200-byte buffer: longer lines arrive in pieces, each handled as a line.
  char line[200];
  while (fgets(line, sizeof line, in) != nullptr) ApplySettingsLine(line, settings, verbosity);
}

const std::string& SettingValue(const Settings& settings, std::string_view key) {
  static const std::string kEmpty;
  for (const SettingEntry& entry : settings.entries) {
    if (key == entry.key) return entry.value;
  }
  return kEmpty;
}
