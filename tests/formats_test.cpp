// End-to-end runs of every bundled format file on its sample log: each line
// must be recognised, every line type must occur, and the parts taken out of
// the lines must be the speaker, the other nick and the message.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "logformat/format_file.h"
#include "run_binary.h"

using test_support::FolderEntries;
using test_support::ReadFile;
using test_support::RunProgram;
using test_support::TempDir;
using test_support::Visible;

namespace {

const std::string kSource = TALLYWICK_SOURCE_DIR;

struct BundledFormat {
  const char* name;       // formats/<name>.txt; examples/<name>.log or examples/<name>/
  const char* secondDay;  // the name the sample's second day gets on the page
  bool writesDateLines;   // the client writes lines of type date_stamp
};

const BundledFormat kFormats[] = {
    {"irssi", "Tue Mar 05 2024", true},       {"weechat", "2024-03-05", true},
    {"hexchat", "Tue Mar 05 2024", true},     {"hexchat-iso", "2024-03-05", true},
    {"mirc", "Tue Mar 05 2024", true},        {"eggdrop", "Tue Mar 05 2024", false},
    {"energymech", "2024-03-05", false},      {"znc", "2024-03-05", false},
    {"limnoria", "2024-03-05", false},        {"textual", "2024-03-05", false},
    {"xchat", "Tue Mar 05 2024", true},
};

// The sample of a format: examples/<name>.log, or for the clients that
// write one file a day, the files of examples/<name>/ in name order.
std::vector<std::string> SampleFiles(const BundledFormat& format) {
  std::string single = kSource + "/examples/" + format.name + ".log";
  if (test_support::FileExists(single)) return {single};
  std::vector<std::string> files;
  std::string folder = kSource + "/examples/" + format.name;
  if (!std::filesystem::is_directory(folder)) return files;
  for (const std::string& name : FolderEntries(folder)) files.push_back(folder + "/" + name);
  return files;
}

// Names the format in test messages.
void PrintTo(const BundledFormat& format, std::ostream* out) { *out << format.name; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// What the "Parsed line" diagnostics of one run said: per line type, the
// "nick,othernick,message" tails in the order they came.
struct Classification {
  std::map<int, std::vector<std::string>> tailsByType;
  int parsedLines = 0;
  std::vector<std::string> unreadable;  // diagnostics that name no sample line
};

// Reads the diagnostics of a run over `sample`. The line text is found by
// trying each '" as ' in the diagnostic until the text before it is a line
// of the sample, so quotes inside log lines do not mislead the reading.
Classification Classify(const std::string& err, const std::set<std::string>& sample) {
  const std::string prefix = "Parsed line \"";
  Classification result;
  for (const std::string& line : Lines(err)) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    bool read = false;
    for (size_t at = line.find("\" as ", prefix.size()); at != std::string::npos;
         at = line.find("\" as ", at + 1)) {
      if (sample.count(line.substr(prefix.size(), at - prefix.size())) == 0) continue;
      std::string rest = line.substr(at + 5);  // "<type>, <nick>,<othernick>,<message>"
      size_t comma = rest.find(", ");
      if (comma == std::string::npos) break;
      result.tailsByType[atoi(rest.substr(0, comma).c_str())].push_back(rest.substr(comma + 2));
      ++result.parsedLines;
      read = true;
      break;
    }
    if (!read) result.unreadable.push_back(line);
  }
  return result;
}

class BundledFormatTest : public testing::TestWithParam<BundledFormat> {};

TEST_P(BundledFormatTest, ParsesItsSampleLogCompletely) {
  const BundledFormat& format = GetParam();
  std::string formatPath = kSource + "/formats/" + format.name + ".txt";
  std::vector<std::string> sampleFiles = SampleFiles(format);
  std::string sampleText;
  for (const std::string& file : sampleFiles) sampleText += ReadFile(file);
  std::string samplePath = "examples/" + std::string(format.name);
  ASSERT_FALSE(sampleText.empty()) << samplePath;

  // The sample shows what real logs hold: colour and bold codes, URLs and
  // questions.
  EXPECT_NE(sampleText.find('\x03'), std::string::npos) << "no colour code in " << samplePath;
  EXPECT_NE(sampleText.find('\x02'), std::string::npos) << "no bold code in " << samplePath;
  EXPECT_NE(sampleText.find("http://"), std::string::npos) << samplePath;
  EXPECT_NE(sampleText.find('?'), std::string::npos) << samplePath;

  std::vector<std::string> sampleLines = Lines(sampleText);
  std::set<std::string> sampleSet(sampleLines.begin(), sampleLines.end());

  TempDir dir;
  std::string page = dir / "page.html";
  std::vector<std::string> args = {"-p", formatPath, "-v", "-v", "-o", page};
  // In reverse name order: the page sorts the days by date all the same.
  args.insert(args.end(), sampleFiles.rbegin(), sampleFiles.rend());
  auto run = RunProgram(TALLYWICK_BINARY, args);
  EXPECT_EQ(run.status, 0) << run.err;
  for (const std::string& line : Lines(run.err)) {
    EXPECT_EQ(line.rfind("Failed to parse", 0), std::string::npos) << Visible(line);
    EXPECT_EQ(line.rfind("Unknown line part", 0), std::string::npos) << Visible(line);
    EXPECT_EQ(line.rfind("Error in", 0), std::string::npos) << Visible(line);
  }

  Classification seen = Classify(run.err, sampleSet);
  EXPECT_TRUE(seen.unreadable.empty()) << Visible(seen.unreadable.front());
  EXPECT_EQ(seen.parsedLines, static_cast<int>(sampleLines.size()))
      << "every line of the sample must be classified once";
  for (int type = 1; type <= 11; ++type) {
    if (type == 10 && !format.writesDateLines) continue;
    EXPECT_FALSE(seen.tailsByType[type].empty()) << "no line of type " << type;
  }

  // Every sample tells the same story, so the parts are the same whatever
  // the layout.
  auto expectTail = [&](int type, const std::string& tail) {
    const std::vector<std::string>& tails = seen.tailsByType[type];
    EXPECT_NE(std::find(tails.begin(), tails.end(), tail), tails.end())
        << "type " << type << " never gave " << Visible(tail);
  };
  expectTail(1, "alice,(null),good morning, is anyone around?");
  expectTail(1, "carol,(null),HEY EVERYONE!! \x03" "4,1colours\x03 are \x02" "fun\x02!");
  expectTail(1, "alice,(null),anyone knows ftp://ftp.example.net/pub? the \x03" "12blue\x03 link");
  expectTail(2, "bob,(null),waves at everyone");
  expectTail(2, "dave_away,(null),yawns");
  expectTail(3, "carol,(null),(null)");
  expectTail(4, "alice,(null),lunch");
  expectTail(5, "bob,(null),Leaving for dinner");
  expectTail(5, "dave_away,(null),Ping timeout: 240 seconds");
  expectTail(6, "bob,carol,too loud");
  expectTail(7, "alice,(null),Coffee and code | http://tallywick.example/");
  expectTail(8, "dave,dave_away,(null)");
  expectTail(9, "bob,(null),(null)");
  for (int type : {10, 11}) {
    for (const std::string& tail : seen.tailsByType[type]) {
      EXPECT_EQ(tail, "(null),(null),(null)") << "type " << type;
    }
  }

  // The day change of the sample names the second day, whose lines make
  // it appear in the daily chart.
  std::string html = ReadFile(page);
  EXPECT_NE(html.find(format.secondDay), std::string::npos) << "no day " << format.secondDay;
  EXPECT_NE(html.find("</html>"), std::string::npos);
  // Every spoken line of the sample is on a dated day: no "Unknown" column.
  EXPECT_EQ(html.find(">Unknown<"), std::string::npos) << "lines on the day Unknown";

  // Classifying with regexec alone gives the same page, messages and status
  // at one and at two threads.
  for (const char* threads : {"1", "2"}) {
    std::string libcPage = dir / "libc.html";
    std::vector<std::string> libcArgs = args;
    libcArgs[5] = libcPage;
    test_support::RunOptions options;
    options.env["TALLYWICK_MATCHER"] = "libc";
    options.env["TALLYWICK_THREADS"] = threads;
    auto libc = RunProgram(TALLYWICK_BINARY, libcArgs, options);
    EXPECT_EQ(libc.status, run.status);
    EXPECT_EQ(libc.err, run.err) << threads << " thread(s)";
    EXPECT_EQ(ReadFile(libcPage), html) << threads << " thread(s)";
  }
}

// Every expression of the bundled formats is taken by the program's own
// matcher, so none of them is matched with regexec.
TEST(BundledFormats, EveryExpressionTakesTheOwnMatcher) {
  std::vector<std::string> paths{kSource + "/bench/bench-format.txt",
                                 kSource + "/examples/demo/format.txt"};
  for (const BundledFormat& format : kFormats) {
    paths.push_back(kSource + "/formats/" + format.name + ".txt");
  }
  for (const std::string& path : paths) {
    FILE* in = fopen(path.c_str(), "r");
    ASSERT_NE(in, nullptr) << path;
    LineTypeTable table;
    EXPECT_TRUE(ReadLogFormatSpec(in, 0, table)) << path;
    fclose(in);
    for (int type = kTypeText; type < kLineTypeCount; ++type) {
      EXPECT_NE(table.types[type].own, nullptr) << path << " " << LineTypeKeyword(type);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, BundledFormatTest, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<BundledFormat>& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// Variants of a client's layout that its format reads too: settings,
// versions and languages. Each sample tells the story of the client's own
// sample, so every spoken line and event must read as it does there.
struct VariantSamples {
  const char* format;  // formats/<format>.txt; examples/<format>.log is the base
  const char* sample;  // a file, or a folder of one sample per language
  // Samples whose lines of one type the format cannot read: "<file>:<type>".
  std::vector<std::string> unread;
};

const VariantSamples kVariants[] = {
    {"weechat", "weechat-prefixes.log", {}},
    {"weechat", "weechat-languages", {"de.weechatlog:6", "tr.weechatlog:6", "ja.weechatlog:9"}},
    {"mirc", "mirc-one-star.log", {}},
    {"limnoria", "limnoria-supybot.log", {}},
    {"hexchat", "hexchat-languages", {}},
    {"hexchat-iso", "hexchat-iso-languages", {}},
    {"xchat", "xchat-languages", {}},
};

// The tails of the "Parsed line" diagnostics by type, sorted, and the
// lines no type read, of a run of `format` over one sample file.
struct SampleReading {
  std::map<int, std::vector<std::string>> tails;
  int failed = 0;
  std::string err;
};

SampleReading ReadSample(const std::string& format, const std::string& path) {
  std::vector<std::string> lines = Lines(ReadFile(path));
  auto run = RunProgram(TALLYWICK_BINARY,
                        {"-p", kSource + "/formats/" + format + ".txt", "-v", "-v", "-o",
                         "/dev/null", path});
  EXPECT_EQ(run.status, 0) << path << run.err;
  SampleReading reading;
  reading.err = run.err;
  Classification seen = Classify(run.err, std::set<std::string>(lines.begin(), lines.end()));
  reading.tails = seen.tailsByType;
  for (auto& [type, tails] : reading.tails) std::sort(tails.begin(), tails.end());
  for (const std::string& line : Lines(run.err)) {
    if (line.rfind("Failed to parse", 0) == 0) ++reading.failed;
  }
  return reading;
}

TEST(BundledFormats, VariantsReadLikeTheirClientsSample) {
  for (const VariantSamples& variant : kVariants) {
    SampleReading base =
        ReadSample(variant.format, kSource + "/examples/" + variant.format + ".log");
    ASSERT_EQ(base.failed, 0) << base.err;
    std::string path = kSource + "/examples/" + variant.sample;
    std::vector<std::pair<std::string, std::string>> files;  // name, path
    if (std::filesystem::is_directory(path)) {
      for (const std::string& name : FolderEntries(path)) files.emplace_back(name, path + "/" + name);
      EXPECT_GE(files.size(), 11u) << path;
    } else {
      files.emplace_back(variant.sample, path);
    }
    for (const auto& [name, file] : files) {
      SampleReading read = ReadSample(variant.format, file);
      int unreadType = 0;
      for (const std::string& unread : variant.unread) {
        if (unread.rfind(name + ":", 0) == 0) unreadType = atoi(unread.c_str() + name.size() + 1);
      }
      // Spoken lines, actions, events and the client's own lines read as
      // in the client's own sample: no event as an action or as "channel".
      for (int type = kTypeText; type <= kTypeChannel; ++type) {
        if (type == unreadType) {
          EXPECT_TRUE(read.tails[type].empty()) << file << " type " << type;
          continue;
        }
        if (type >= kTypeDateStamp) {
          EXPECT_EQ(read.tails[type].size(), base.tails[type].size()) << file << " type " << type;
        } else {
          EXPECT_EQ(read.tails[type], base.tails[type]) << file << " type " << type;
        }
      }
      // What it cannot read is a misfit, reported like an unmatched line.
      int expectedFailures = unreadType == 0 ? 0 : static_cast<int>(base.tails[unreadType].size());
      EXPECT_EQ(read.failed, expectedFailures) << file << read.err;
      EXPECT_NE(read.err.find("(misfits " + std::to_string(expectedFailures) + ")\n"),
                std::string::npos)
          << file << read.err;
    }
  }
}

// A log in a language no format reads: its joins and parts are misfits,
// and the warning tells.
TEST(BundledFormats, ALogInALanguageNoFormatReadsRaisesTheWarning) {
  std::string log = kSource + "/examples/hexchat-unknown-language.log";
  std::vector<std::string> lines = Lines(ReadFile(log));
  size_t joinsAndParts = 0;
  for (const std::string& line : lines) {
    if (line.find(") alvenis") != std::string::npos || line.find(") foriris") != std::string::npos) {
      ++joinsAndParts;
    }
  }
  ASSERT_GE(joinsAndParts, 5u);
  auto run = RunProgram(TALLYWICK_BINARY, {"-p", kSource + "/formats/hexchat.txt", "-v", "-o",
                                           "/dev/null", log});
  EXPECT_EQ(run.status, 0) << run.err;
  std::string counts = std::to_string(joinsAndParts);
  EXPECT_NE(run.err.find("Warning: " + counts + " of " + std::to_string(lines.size()) + " lines of " +
                         log + " matched no line type\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("  join 0\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("  unmatched " + counts + " (misfits " + counts + ")\n"),
            std::string::npos)
      << run.err;
}

// A format file added to formats/ needs a sample log and a place above.
TEST(BundledFormats, EveryFormatFileHasASampleAndIsTested) {
  std::set<std::string> tested;
  for (const BundledFormat& format : kFormats) tested.insert(std::string(format.name) + ".txt");
  std::set<std::string> shipped;
  for (const std::string& name : FolderEntries(kSource + "/formats")) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) shipped.insert(name);
  }
  EXPECT_EQ(shipped, tested);
  for (const BundledFormat& format : kFormats) {
    EXPECT_FALSE(SampleFiles(format).empty()) << format.name;
  }
}

// Lines without a date stay on the undated day until a "--- date" line,
// which the undated layouts read in both date shapes.
TEST(BundledFormats, UndatedLayoutsReadJoinedDailyFiles) {
  TempDir dir;
  std::string log = dir / "joined.log";
  test_support::WriteFile(log,
                          "[10:00:00] <alice> before any date\n"
                          "--- 2024-03-04\n"
                          "[11:00:00] <alice> first day\n"
                          "--- Tue Mar  5 2024\n"
                          "[12:00:00] <alice> second day\n");
  std::string page = dir / "page.html";
  auto run = RunProgram(TALLYWICK_BINARY,
                        {"-p", kSource + "/formats/znc.txt", "-v", "-o", page, log});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("Failed to parse"), std::string::npos) << run.err;
  std::string html = ReadFile(page);
  size_t first = html.find("2024-03-04");
  size_t second = html.find("Tue Mar  5 2024");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, second) << "days come out in calendar order";
}

}  // namespace
