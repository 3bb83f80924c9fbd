#include "driver/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "run_binary.h"

using test_support::StderrCapture;
using test_support::TextStream;

namespace {

// Reads `text` as a settings file into `settings`; returns what was written
// to standard error.
std::string Read(const std::string& text, Settings& settings, int verbosity = 0) {
  TextStream in(text);
  StderrCapture capture;
  ReadSettings(in.stream, settings, verbosity);
  return capture.Text();
}

TEST(Settings, DefaultsAndCapacitiesInTableOrder) {
  struct Expected {
    const char* key;
    int capacity;
    const char* value;
  };
  const Expected expected[] = {
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
      {"page_layout", 9, "classic"},
      {"users", 199, ""},
      // The logs' character sets and time zones: empty leaves bytes and
      // clocks as they are.
      {"log_charset", 30, ""},
      {"log_charset_fallback", 30, ""},
      {"log_timezone", 64, ""},
      {"page_timezone", 64, ""},
  };
  Settings settings = DefaultSettings();
  ASSERT_EQ(settings.entries.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_STREQ(settings.entries[i].key, expected[i].key) << "entry " << i;
    EXPECT_EQ(settings.entries[i].capacity, expected[i].capacity) << expected[i].key;
    EXPECT_EQ(settings.entries[i].value, expected[i].value) << expected[i].key;
    EXPECT_EQ(SettingValue(settings, static_cast<SettingKey>(i)), expected[i].value);
  }
  EXPECT_EQ(settings.entries.size(), static_cast<size_t>(SettingKey::kCount));
}

TEST(Settings, PageLayoutPicksTheModernPageOnlyByName) {
  Settings settings = DefaultSettings();
  EXPECT_EQ(PageStyleFromSettings(settings).layout, PageLayout::kClassic);
  for (const char* value : {"modern", "Modern", "MODERN"}) {
    Read(std::string("page_layout=") + value + "\n", settings);
    EXPECT_EQ(PageStyleFromSettings(settings).layout, PageLayout::kModern) << value;
  }
  for (const char* value : {"classic", "", "modern ", "fancy"}) {
    Read(std::string("page_layout=") + value + "\n", settings);
    EXPECT_EQ(PageStyleFromSettings(settings).layout, PageLayout::kClassic) << value;
  }
}

TEST(Settings, KeysMatchWithoutCaseAndNothingIsTrimmed) {
  Settings settings = DefaultSettings();
  std::string err = Read(
      "PAGE_BG=123456\n"
      "Font1=Courier\n"
      "channame =ignored\n"  // the blank belongs to the key, which then matches nothing
      " myname=ignored\n"
      "myemail= padded \n"  // blanks around the value are kept
      "credits=\n"          // the empty value
      "header=a=b=c\n"      // split at the first "="
      "font2=Lucida\r\n"    // the carriage return is part of the value
      "no_such_key=whatever\n"
      "a line without an equals sign\n"
      "\n",
      settings);
  EXPECT_EQ(err, "");
  EXPECT_EQ(SettingValue(settings, SettingKey::kPageBg), "123456");
  EXPECT_EQ(SettingValue(settings, SettingKey::kFont1), "Courier");
  EXPECT_EQ(SettingValue(settings, SettingKey::kChanName), "");
  EXPECT_EQ(SettingValue(settings, SettingKey::kMyName), "");
  EXPECT_EQ(SettingValue(settings, SettingKey::kMyEmail), " padded ");
  EXPECT_EQ(SettingValue(settings, SettingKey::kCredits), "");
  EXPECT_EQ(SettingValue(settings, SettingKey::kHeader), "a=b=c");
  EXPECT_EQ(SettingValue(settings, SettingKey::kFont2), "Lucida\r");
  EXPECT_EQ(SettingValue(settings, SettingKey::kFont3), "Arial Narrow");
}

TEST(Settings, CommentsStartOnlyAtTheFirstCharacter) {
  Settings settings = DefaultSettings();
  Read(
      "#page_bg=111111\n"
      " #page_text=222222\n"  // key " #page_text" matches nothing
      "channame=#tallywick\n",
      settings);
  EXPECT_EQ(SettingValue(settings, SettingKey::kPageBg), "E0E0F0");
  EXPECT_EQ(SettingValue(settings, SettingKey::kPageText), "181C18");
  EXPECT_EQ(SettingValue(settings, SettingKey::kChanName), "#tallywick");
}

TEST(Settings, ValuesAreCutToTheirCapacity) {
  Settings settings = DefaultSettings();
  std::string forty(40, 'n');
  std::string longPattern(1100, 'k');
  Read("myname=" + forty + "\n" + "page_bg=1234567890\n" + "botname=abcdefghijkl\n" +
           "ignore_kicks=" + longPattern + "\n" + "font1=" + std::string(25, 'f') + "\n" +
           "max_quote_len=12345678\n",
       settings);
  EXPECT_EQ(SettingValue(settings, SettingKey::kMyName), std::string(30, 'n'));
  EXPECT_EQ(SettingValue(settings, SettingKey::kPageBg), "123456");
  EXPECT_EQ(SettingValue(settings, SettingKey::kBotName), "abcdefghi");
  EXPECT_EQ(SettingValue(settings, SettingKey::kFont1), std::string(19, 'f'));
  EXPECT_EQ(SettingValue(settings, SettingKey::kMaxQuoteLen), "123456");
  // 1100 characters arrive in 199-byte pieces: the first piece keeps 186
  // characters of the value, the rest are pieces without "=".
  EXPECT_EQ(SettingValue(settings, SettingKey::kIgnoreKicks), std::string(199 - 13, 'k'));
}

TEST(Settings, LongLinesArriveInPiecesOf199Bytes) {
  // A header line of 250 characters: the first 199 bytes are one line,
  // giving header the first 192 characters of its value; the remaining 51
  // characters are a line of their own, here a channame setting.
  std::string first = "header=" + std::string(192, 'h');
  std::string rest = "channame=" + std::string(42, 'c');
  ASSERT_EQ(first.size() + rest.size(), 250u);
  Settings settings = DefaultSettings();
  Read(first + rest + "\nmyname=after\n", settings);
  EXPECT_EQ(SettingValue(settings, SettingKey::kHeader), std::string(192, 'h'));
  EXPECT_EQ(SettingValue(settings, SettingKey::kChanName), std::string(30, 'c'));
  EXPECT_EQ(SettingValue(settings, SettingKey::kMyName), "after");

  // A line of exactly 199 characters fills one piece; its newline is a
  // piece of its own and changes nothing.
  Settings exact = DefaultSettings();
  Read("credits=" + std::string(191, 'x') + "\nfont3=Serif\n", exact);
  EXPECT_EQ(SettingValue(exact, SettingKey::kCredits), std::string(191, 'x'));
  EXPECT_EQ(SettingValue(exact, SettingKey::kFont3), "Serif");
}

TEST(Settings, LaterFilesWinKeyByKey) {
  Settings settings = DefaultSettings();
  Read("page_bg=111111\nchanname=first\n", settings);
  Read("PAGE_BG=222222\nmyname=second\n", settings);
  EXPECT_EQ(SettingValue(settings, SettingKey::kPageBg), "222222");
  EXPECT_EQ(SettingValue(settings, SettingKey::kChanName), "first");
  EXPECT_EQ(SettingValue(settings, SettingKey::kMyName), "second");
  // Within one file the last line wins as well.
  Read("font2=one\nfont2=two\n", settings);
  EXPECT_EQ(SettingValue(settings, SettingKey::kFont2), "two");
}

TEST(Settings, VerboseReadingNamesTheTableKeyAndTheWholeValue) {
  Settings settings = DefaultSettings();
  std::string text = "PAGE_BG=1234567890\nunknown=1\n#channame=x\nheader=\n";
  EXPECT_EQ(Read(text, settings, 1), "");
  Settings again = DefaultSettings();
  EXPECT_EQ(Read(text, again, 2),
            "Setting page_bg to 1234567890\n"
            "Setting header to \n");
  EXPECT_EQ(SettingValue(again, SettingKey::kPageBg), "123456");
}

TEST(Settings, ReadErrorEndsReadingSilently) {
  // Reading a folder fails at once; nothing changes and nothing is said.
  test_support::TempDir dir;
  FILE* in = fopen(dir.path.c_str(), "rt");
  ASSERT_NE(in, nullptr);
  Settings settings = DefaultSettings();
  StderrCapture capture;
  ReadSettings(in, settings, 2);
  fclose(in);
  EXPECT_EQ(capture.Text(), "");
  EXPECT_EQ(SettingValue(settings, SettingKey::kPageBg), "E0E0F0");
}

}  // namespace
