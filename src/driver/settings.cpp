#include "driver/settings.h"

#include <cstring>
#include <iterator>
#include <string_view>

#include "stats/text_basics.h"

namespace {

// One key of the table: what it is called in files, its capacity and its
// built-in default.
struct SettingSpec {
  SettingKey key;
  const char* name;
  int capacity;
  const char* defaultValue;
};

constexpr SettingSpec kSettingTable[] = {
    {SettingKey::kChanName, "channame", 30, ""},
    {SettingKey::kMyName, "myname", 30, ""},
    {SettingKey::kMyEmail, "myemail", 30, ""},
    {SettingKey::kStatWords, "statwords", 100, ""},
    {SettingKey::kPageText, "page_text", 6, "181C18"},
    {SettingKey::kPageTextContrast, "page_text_contrast", 6, "000000"},
    {SettingKey::kPageBg, "page_bg", 6, "E0E0F0"},
    {SettingKey::kDateBg, "date_bg", 6, "90A0D8"},
    {SettingKey::kTableHeadNick, "table_head_nick", 6, "A07088"},
    {SettingKey::kTableHeadOther, "table_head_other", 6, "70A098"},
    {SettingKey::kTableIndexBg, "table_index_bg", 6, "889480"},
    {SettingKey::kTableNickBg, "table_nick_bg", 6, "C090A8"},
    {SettingKey::kTable2Bg, "table_2_bg", 6, "90C0B8"},
    {SettingKey::kTable3Bg, "table_3_bg", 6, "90A0D8"},
    {SettingKey::kBotName, "botname", 9, "bramblet"},
    {SettingKey::kBotName2, "botname2", 9, "unused1"},
    {SettingKey::kBotName3, "botname3", 9, "unused2"},
    {SettingKey::kPicExt, "picext", 9, ".png"},
    {SettingKey::kCredits, "credits", 199, ""},
    {SettingKey::kMaxQuoteLen, "max_quote_len", 6, "1000"},
    {SettingKey::kMinQuoteLen, "min_quote_len", 6, "2"},
    {SettingKey::kIgnoreKicks, "ignore_kicks", 1000, "Public flood"},
    {SettingKey::kIgnoreQuits, "ignore_quits", 1000, "Ping timeout"},
    {SettingKey::kHeader, "header", 199, ""},
    {SettingKey::kFont1, "font1", 19, "Times New Roman"},
    {SettingKey::kFont2, "font2", 19, "Verdana"},
    {SettingKey::kFont3, "font3", 19, "Arial Narrow"},
    {SettingKey::kCharset, "charset", 30, ""},
    {SettingKey::kPageLayout, "page_layout", 9, "classic"},
    {SettingKey::kUsers, "users", 199, ""},
    {SettingKey::kLogCharset, "log_charset", 30, ""},
    {SettingKey::kLogCharsetFallback, "log_charset_fallback", 30, ""},
    {SettingKey::kLogTimezone, "log_timezone", 64, ""},
    {SettingKey::kPageTimezone, "page_timezone", 64, ""},
};

constexpr size_t kSettingCount = static_cast<size_t>(SettingKey::kCount);
static_assert(std::size(kSettingTable) == kSettingCount, "one table row per key");

// True when every row sits at the position of its own key, so that a value
// is found by indexing with the key.
constexpr bool RowsFollowTheKeys() {
  for (size_t i = 0; i < kSettingCount; ++i) {
    if (static_cast<size_t>(kSettingTable[i].key) != i) return false;
  }
  return true;
}
static_assert(RowsFollowTheKeys(), "the table rows are in the order of SettingKey");

}  // namespace

Settings DefaultSettings() {
  Settings settings;
  settings.entries.reserve(kSettingCount);
  for (const SettingSpec& spec : kSettingTable) {
    settings.entries.push_back({spec.name, spec.capacity, spec.defaultValue});
  }
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

const std::string& SettingValue(const Settings& settings, SettingKey key) {
  return settings.entries[static_cast<size_t>(key)].value;
}

PageStyle PageStyleFromSettings(const Settings& settings) {
  auto value = [&settings](SettingKey key) { return SettingValue(settings, key); };
  PageStyle style;
  style.pageText = value(SettingKey::kPageText);
  style.contrast = value(SettingKey::kPageTextContrast);
  style.pageBg = value(SettingKey::kPageBg);
  style.dateBg = value(SettingKey::kDateBg);
  style.headNickBg = value(SettingKey::kTableHeadNick);
  style.headOtherBg = value(SettingKey::kTableHeadOther);
  style.indexBg = value(SettingKey::kTableIndexBg);
  style.nickBg = value(SettingKey::kTableNickBg);
  style.secondBg = value(SettingKey::kTable2Bg);
  style.thirdBg = value(SettingKey::kTable3Bg);
  style.font1 = value(SettingKey::kFont1);
  style.font2 = value(SettingKey::kFont2);
  style.font3 = value(SettingKey::kFont3);
  style.picext = value(SettingKey::kPicExt);
  style.channame = value(SettingKey::kChanName);
  style.myname = value(SettingKey::kMyName);
  style.myemail = value(SettingKey::kMyEmail);
  style.header = value(SettingKey::kHeader);
  style.credits = value(SettingKey::kCredits);
  style.charset = value(SettingKey::kCharset);
  // Only "modern" picks the second layout; anything else keeps the classic page.
  style.layout = NamesEqualIgnoringCase(value(SettingKey::kPageLayout), "modern")
                     ? PageLayout::kModern
                     : PageLayout::kClassic;
  return style;
}
