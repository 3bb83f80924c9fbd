#include "logformat/log_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "logformat/compressed_input.h"
#include "logformat/date_shapes.h"
#include "logformat/format_file.h"
#include "logformat/classification.h"
#include "run_binary.h"
#include "stats/tables.h"

#ifdef TALLYWICK_HAVE_ZLIB
#include <zlib.h>
#endif
#ifdef TALLYWICK_HAVE_BZIP2
#include <bzlib.h>
#endif
#ifdef TALLYWICK_HAVE_LZMA
#include <lzma.h>
#endif
#ifdef TALLYWICK_HAVE_ZSTD
#include <zstd.h>
#endif

namespace {

using test_support::StderrCapture;

// A small log layout with every line type:
//   "[hh] <nick> text"  (the "[hh] " is optional)   text
//   "* nick text"                                    action, no time
//   "-> nick joined" / "<- nick left"                join / part
//   "<- nick quit (message)"                         quit
//   "!! nick kicked other (reason)"                  kick
//   "!! nick set topic text" / "!! a is now b"       topic / nick
//   "!! mode text"                                   mode, no nick
//   "=== date" / "### channel"                       date_stamp / channel
const char kFormat[] =
    "; test layout\n"
    "text=^(\\[(-?[0-9]+)] )?<([^>]*)> (.*)$,null,time,nick,string\n"
    "act=^\\* ([^ ]+) (.*)$,nick,string\n"
    "join=^-> ([^ ]+) joined$,nick\n"
    "part=^<- ([^ ]+) left$,nick\n"
    "quit=^<- ([^ ]+) quit \\((.*)\\)$,nick,string\n"
    "kick=^!! ([^ ]+) kicked ([^ ]+) \\((.*)\\)$,nick,othernick,string\n"
    "topic=^!! ([^ ]+) set topic (.*)$,nick,string\n"
    "nick=^!! ([^ ]+) is now ([^ ]+)$,nick,othernick\n"
    "mode=^!! mode (.*)$,string\n"
    "date_stamp=^=== (.*)$,date\n"
    "channel=^### (.*)$,channel\n";

// A stream holding exactly `bytes`.
FILE* StreamOf(const std::string& bytes) {
  FILE* file = tmpfile();
  if (file == nullptr) return nullptr;
  fwrite(bytes.data(), 1, bytes.size(), file);
  rewind(file);
  return file;
}

std::string Repeat(const std::string& line, int times) {
  std::string lines;
  for (int i = 0; i < times; ++i) lines += line;
  return lines;
}

class LogReader : public ::testing::Test {
 protected:
  void SetUp() override { UseFormat(kFormat); }

  void UseFormat(const std::string& format) {
    table_ = std::make_unique<LineTypeTable>();
    FILE* in = StreamOf(format);
    ASSERT_NE(in, nullptr);
    StderrCapture capture;
    bool complete = ReadLogFormatSpec(in, 0, *table_);
    std::string complaints = capture.Text();
    capture.Restore();
    fclose(in);
    ASSERT_TRUE(complete);
    ASSERT_EQ(complaints, "");
  }

  // Reads `log` as one log file; what it writes to standard error is left
  // in errors_.
  bool Parse(const std::string& log) {
    FILE* in = StreamOf(log);
    if (in == nullptr) {
      ADD_FAILURE() << "tmpfile failed";
      return false;
    }
    StderrCapture capture;
    file_ = LogFileReading();
    file_.name = fileName_;
    file_.zones = zones_;
    bool ok = ParseLogFile(FileByteSource(in, fileName_), *table_, config_, bytes_, store_, workers_, &file_);
    errors_ = capture.Text();
    capture.Restore();
    fclose(in);
    lastLog_ = log;
    return ok;
  }

  // Reads `bytes` as the log file `name` is read by the program: told
  // compressed or not by its content. False when reading failed or the
  // build cannot read its kind.
  bool ParseInput(const std::string& bytes, const std::string& name) {
    FILE* in = StreamOf(bytes);
    if (in == nullptr) {
      ADD_FAILURE() << "tmpfile failed";
      return false;
    }
    LogInput input;
    bool opened = OpenLogInput(in, name, input);
    bool ok = false;
    StderrCapture capture;
    if (opened) {
      file_ = LogFileReading();
      file_.name = NameWithoutCompressionSuffix(name, input.compression);
      ok = ParseLogFile(LogInputByteSource(input), *table_, config_, bytes_, store_, workers_,
                        &file_);
    }
    errors_ = capture.Text();
    capture.Restore();
    fclose(in);
    return ok;
  }

  void Reset() {
    store_ = StatsStore();
    bytes_ = 0;
  }

  NickRecord& Nick(const char* name) {
    NickRecord* nick = FindNick(store_.nicks, name);
    if (nick == nullptr) {
      ADD_FAILURE() << "no nick " << name;
      static NickRecord none;
      none = NickRecord();
      return none;
    }
    return *nick;
  }

  DayRecord& Day(const char* name) {
    DayRecord* day = FindDay(store_.days, name, 0);
    if (day == nullptr) {
      ADD_FAILURE() << "no day " << name;
      static DayRecord none;
      none = DayRecord();
      return none;
    }
    return *day;
  }

  // The recent lines at the end of the last log read, oldest first, "-" for
  // none: seen as the context of a kick appended to that log, read again
  // into a store of its own.
  std::vector<std::string> Recent() {
    const std::string kick = "!! zz kicked zz (r)";
    StatsStore saved = std::move(store_);
    uint64_t savedBytes = bytes_;
    std::string savedLog = lastLog_, savedErrors = errors_;
    store_ = StatsStore();
    Parse(savedLog + "\n" + kick + "\n");
    std::string context;
    for (const std::optional<std::string>& item : store_.pools.kicks.items) {
      if (item && item->ends_with(kick)) context = *item;
    }
    store_ = std::move(saved);
    bytes_ = savedBytes;
    lastLog_ = savedLog;
    errors_ = savedErrors;
    std::vector<std::string> lines;
    EXPECT_TRUE(context.ends_with(kick)) << context;
    context.resize(context.size() - std::min(context.size(), kick.size()));
    // Each recent line is ended by a newline.
    for (size_t start = 0, end; (end = context.find('\n', start)) != std::string::npos;
         start = end + 1) {
      lines.push_back(context.substr(start, end - start));
    }
    while (lines.size() < 3) lines.insert(lines.begin(), "-");
    return lines;
  }

  std::unique_ptr<LineTypeTable> table_;
  StatsStore store_;
  std::string lastLog_;
  AccountingConfig config_;
  int workers_ = 1;
  uint64_t bytes_ = 0;
  std::string errors_;
  std::string fileName_;  // the name the log is read under; empty for standard input
  const ZoneShift* zones_ = nullptr;  // the clocks lines are moved between, if any
  LogFileReading file_;   // what the reader told of the last log
};

TEST_F(LogReader, ReadsLinesWholeWhateverTheirLength) {
  std::string log;
  uint64_t expectedBytes = 0;
  int64_t expectedLetters = 0;
  // Around the sizes a reader might buffer in, with each line followed by
  // a short one that must be read as a line of its own.
  const size_t lengths[] = {510,   511,    512,    513,    1023,   1024,    5000,    65535,  65536,
                            65537, 200000, 262143, 262144, 262145, 1048575, 1048576, 1048577};
  const int64_t count = sizeof lengths / sizeof lengths[0];
  for (size_t length : lengths) {
    log += "<bob> " + std::string(length - 6, 'x') + "\n";
    log += "<amy> hi\n";
    expectedBytes += length + 1 + 9;
    expectedLetters += static_cast<int64_t>(length - 6);
  }
  for (int workers : {1, 3}) {
    Reset();
    workers_ = workers;
    ASSERT_TRUE(Parse(log));
    EXPECT_EQ(errors_, "");
    EXPECT_EQ(bytes_, expectedBytes);
    EXPECT_EQ(bytes_, log.size());
    EXPECT_EQ(Nick("bob").lines, count);
    EXPECT_EQ(Nick("bob").letters, expectedLetters);
    EXPECT_EQ(Nick("amy").lines, count);
    EXPECT_EQ(Nick("amy").letters, 2 * count);
    EXPECT_EQ(store_.nicks.records.size(), 2u);
    EXPECT_EQ(Day(UNDATED).lines, 2 * count);
    EXPECT_EQ(Recent()[1], "<bob> " + std::string(1048577 - 6, 'x'));
    EXPECT_EQ(Recent()[2], "<amy> hi");
  }
}

TEST_F(LogReader, CountsEveryByteOfManyLinesMatchedOrNot) {
  // Short lines of varying length cross every boundary of the reading
  // buffer; every third line matches no type.
  std::string log;
  int64_t spoken = 0, letters = 0;
  for (int i = 0; i < 30000; ++i) {
    int length = 1 + (i * 7919) % 97;
    if (i % 3 == 2) {
      log += std::string(static_cast<size_t>(length), '.') + "\n";
    } else {
      log += "<n" + std::to_string(i % 5) + "> " + std::string(static_cast<size_t>(length), 'y') +
             "\n";
      ++spoken;
      letters += length;
    }
  }
  log += "<n0> end";  // the last line has no newline
  for (int workers : {1, 2}) {
    Reset();
    workers_ = workers;
    ASSERT_TRUE(Parse(log));
    EXPECT_EQ(bytes_, log.size());
    int64_t lines = 0, counted = 0;
    for (const NickRecord& nick : store_.nicks.records) {
      lines += nick.lines;
      counted += nick.letters;
    }
    EXPECT_EQ(store_.nicks.records.size(), 5u);
    EXPECT_EQ(lines, spoken + 1);
    EXPECT_EQ(counted, letters + 3);
    EXPECT_EQ(Recent()[2], "<n0> end");
  }
}

TEST_F(LogReader, KeepsCarriageReturnsAndReadsALastLineWithoutNewline) {
  const std::string log = "<bob> one\r\n<bob> http://example.org/x\r\n<bob> last";
  ASSERT_TRUE(Parse(log));
  EXPECT_EQ(bytes_, log.size());
  EXPECT_EQ(Nick("bob").lines, 3);
  EXPECT_EQ(Recent(), (std::vector<std::string>{"<bob> one\r", "<bob> http://example.org/x\r",
                                                "<bob> last"}));
  ASSERT_TRUE(store_.pools.urls.items[0].has_value());
  EXPECT_EQ(*store_.pools.urls.items[0], "http://example.org/x\r");

  // An empty file adds nothing but makes sure the undated day exists.
  Reset();
  ASSERT_TRUE(Parse(""));
  EXPECT_EQ(bytes_, 0u);
  ASSERT_EQ(store_.days.records.size(), 1u);
  EXPECT_EQ(store_.days.records[0].name, "Unknown");
  EXPECT_TRUE(store_.nicks.records.empty());
}

TEST_F(LogReader, StripsAnsiSequences) {
  ASSERT_TRUE(
      Parse("\x1b[0;31m<bob>\x1b[0m red \x1b[1;4mtext\x1b[m\n"
            "<bob> cut\x1b[1;3\n"
            "<bob> \x1b\x1b[mX\x1bmY\n"));
  EXPECT_EQ(Recent(), (std::vector<std::string>{"<bob> red text", "<bob> cut", "<bob> XY"}));
  EXPECT_EQ(Nick("bob").letters, 7 + 3 + 2);

  char text[] = "a\x1b[32mb\x1b[1;2;3mc\x1b[9";
  size_t length = StripAnsiCodes(text, sizeof text - 1);
  EXPECT_EQ(length, 3u);
  EXPECT_STREQ(text, "abc");
  char plain[] = "no escapes; m here";
  EXPECT_EQ(StripAnsiCodes(plain, sizeof plain - 1), sizeof plain - 1);
  EXPECT_STREQ(plain, "no escapes; m here");
  char only[] = "\x1b";
  EXPECT_EQ(StripAnsiCodes(only, 1), 0u);
  EXPECT_STREQ(only, "");
}

TEST_F(LogReader, FollowsTheHourAndQuarter) {
  ASSERT_TRUE(
      Parse("[0] <bob> a\n"
            "[5] <bob> b\n"
            "[6] <bob> c\n"
            "<bob> d\n"  // the time subexpression takes no part: still hour 6
            "[23] <bob> e\n"
            "* bob waves\n"  // no time part: still hour 23
            "[07] <amy> f\n"
            "nothing matches [3]\n"));
  const NickRecord& bob = Nick("bob");
  EXPECT_EQ(std::vector<int64_t>(bob.textLines, bob.textLines + 4),
            (std::vector<int64_t>{2, 2, 0, 1}));
  EXPECT_EQ(std::vector<int64_t>(bob.actionLines, bob.actionLines + 4),
            (std::vector<int64_t>{0, 0, 0, 1}));
  EXPECT_EQ(Nick("amy").textLines[1], 1);
  const DayRecord& unknown = Day(UNDATED);
  std::vector<int64_t> hours(unknown.hours, unknown.hours + 24);
  std::vector<int64_t> expected(24, 0);
  expected[0] = expected[5] = expected[7] = 1;
  expected[6] = expected[23] = 2;
  EXPECT_EQ(hours, expected);

  // The next file starts again at hour 0, on the undated day.
  ASSERT_TRUE(Parse("=== Mon Jan 01 2001\n* bob again\n<bob> more\n"));
  EXPECT_EQ(Nick("bob").actionLines[0], 1);
  EXPECT_EQ(Nick("bob").textLines[0], 3);
  EXPECT_EQ(Day("Mon Jan 01 2001").hours[0], 2);
  EXPECT_EQ(Day("Mon Jan 01 2001").lines, 2);
}

TEST_F(LogReader, ReadsTheHourAsAtoiDoesFromThePartOn) {
  // The time part is a single digit; the hour reads on past it.
  std::string format = kFormat;
  format.replace(format.find("text="), format.find("act=") - format.find("text="),
                 "text=^([0-9])[0-9]*:[0-9]+ <([^>]*)> (.*)$,time,nick,string\n");
  UseFormat(format);
  ASSERT_TRUE(
      Parse("15:30 <bob> a\n"
            "09:00 <bob> b\n"
            "23:59 <bob> c\n"));
  EXPECT_EQ(std::vector<int64_t>(Nick("bob").textLines, Nick("bob").textLines + 4),
            (std::vector<int64_t>{0, 1, 1, 1}));
  EXPECT_EQ(Day(UNDATED).hours[15], 1);
  EXPECT_EQ(Day(UNDATED).hours[9], 1);

  EXPECT_FALSE(Parse("24:00 <bob> late\n"));
  EXPECT_EQ(errors_, "Bad hour \"24:00 <bob> late\"\n");
}

TEST_F(LogReader, StopsAtABadHour) {
  EXPECT_FALSE(Parse("[3] <bob> fine\n[24] <bob> too late\n[4] <bob> never read\n"));
  EXPECT_EQ(errors_, "Bad hour \"24] <bob> too late\"\n");
  EXPECT_EQ(Nick("bob").lines, 1);
  EXPECT_EQ(Day(UNDATED).lines, 1);

  Reset();
  EXPECT_FALSE(Parse("[-1] <amy> before\n"));
  EXPECT_EQ(errors_, "Bad hour \"-1] <amy> before\"\n");
  EXPECT_EQ(bytes_, 18u);  // the line was read and counted before its hour was refused

  Reset();
  ASSERT_TRUE(Parse("[-0] <amy> x\n[0023] <amy> y\n"));
  EXPECT_EQ(Nick("amy").textLines[0], 1);
  EXPECT_EQ(Nick("amy").textLines[3], 1);
}

TEST_F(LogReader, CreditsLinesToTheCurrentDay) {
  ASSERT_TRUE(
      Parse("<bob> before any date\n"
            "=== Mon Jan 01 2001\n"
            "<bob> a\n"
            "=== mon jan 01 2001\n"
            "<bob> b\n"
            "=== Sun Mar  4 2001\n"
            "<bob> c\n"
            "garbage\n"
            "<bob> d\n"));
  EXPECT_EQ(Day(UNDATED).lines, 1);
  EXPECT_EQ(Day("Mon Jan 01 2001").lines, 2);
  EXPECT_EQ(Day("Sun Mar  4 2001").lines, 2);
  ASSERT_EQ(store_.days.records.size(), 3u);
  EXPECT_EQ(store_.days.records[1].name, "Mon Jan 01 2001");

  // A second file starts undated again.
  ASSERT_TRUE(Parse("<bob> e\n=== \n<bob> f\n=== Sun Mar  4 2001\n<bob> g\n"));
  EXPECT_EQ(Day(UNDATED).lines, 2);
  EXPECT_EQ(Day("").lines, 1);  // an empty date names a day like any other
  EXPECT_EQ(Day("Sun Mar  4 2001").lines, 3);
  EXPECT_EQ(store_.days.records.size(), 4u);
}

TEST_F(LogReader, CountsMonologues) {
  const struct {
    int lines;
    int64_t monologues;
  } runs[] = {{1, 0}, {9, 0}, {10, 1}, {18, 1}, {19, 2}, {27, 2}, {28, 3}, {100, 11}};
  for (const auto& run : runs) {
    Reset();
    ASSERT_TRUE(Parse(Repeat("<bob> hello\n", run.lines)));
    EXPECT_EQ(Nick("bob").monologues, run.monologues) << run.lines << " lines";
  }

  const struct {
    const char* between;
    int64_t monologues;
  } breaks[] = {
      {"<amy> interrupting\n", 0},                            // another nick
      {"!! mode +o bob\n", 0},                                // a matched line without a nick
      {"=== Mon Jan 01 2001\n", 0},                           // a date line has no nick either
      {"### #chan\n", 0},           {"not a log line\n", 1},  // unmatched lines do not count
      {"-> bob joined\n", 1},  // every matched type of the nick continues it
      {"<BOB> same nick\n", 1},
  };
  for (const auto& line : breaks) {
    Reset();
    ASSERT_TRUE(Parse(Repeat("<bob> hello\n", 9) + line.between + "<bob> again\n"));
    EXPECT_EQ(Nick("bob").monologues, line.monologues) << line.between;
  }

  // Runs do not carry over into the next file.
  Reset();
  ASSERT_TRUE(Parse(Repeat("<bob> hello\n", 9)));
  ASSERT_TRUE(Parse("<bob> next file\n"));
  EXPECT_EQ(Nick("bob").monologues, 0);
}

TEST_F(LogReader, NewNicksBeginNewRuns) {
  // Each nick speaks nine lines right after the previous one: a new nick
  // taken for the one before would earn a monologue on its first line.
  std::string log;
  for (int i = 0; i < 100; ++i) log += Repeat("<n" + std::to_string(i) + "> words\n", 9);
  ASSERT_TRUE(Parse(log));
  ASSERT_EQ(store_.nicks.records.size(), 100u);
  for (const NickRecord& nick : store_.nicks.records) {
    EXPECT_EQ(nick.monologues, 0) << nick.name;
    EXPECT_EQ(nick.lines, 9) << nick.name;
  }

  Reset();
  log.clear();
  for (int i = 0; i < 100; ++i) log += Repeat("<n" + std::to_string(i) + "> words\n", 10);
  ASSERT_TRUE(Parse(log));
  for (const NickRecord& nick : store_.nicks.records) EXPECT_EQ(nick.monologues, 1) << nick.name;

  // A nick with the empty name is created and then found.
  Reset();
  ASSERT_TRUE(Parse("<> one\n<> two\n"));
  ASSERT_EQ(store_.nicks.records.size(), 1u);
  EXPECT_EQ(Nick("").lines, 2);
}

TEST_F(LogReader, KeepsTheRecentLinesOfTheFileForKicks) {
  ASSERT_TRUE(
      Parse("<amy> one\n"
            "=== Mon Jan 01 2001\n"
            "<- amy left\n"
            "### #chan\n"
            "not a log line\n"
            "!! op kicked amy (bye)\n"));
  ASSERT_TRUE(store_.pools.kicks.items[0].has_value());
  EXPECT_EQ(*store_.pools.kicks.items[0], "<amy> one\n<- amy left\n!! op kicked amy (bye)");
  EXPECT_EQ(store_.pools.kicks.whoBy[0], std::optional<std::string>("op"));
  EXPECT_EQ(Recent(),
            (std::vector<std::string>{"<amy> one", "<- amy left", "!! op kicked amy (bye)"}));
  EXPECT_EQ(Nick("amy").timesKicked, 1);
  EXPECT_EQ(Nick("op").kicksGiven, 1);

  // The next file starts without recent lines.
  ASSERT_TRUE(Parse("!! op kicked bob (again)\n"));
  ASSERT_TRUE(store_.pools.kicks.items[1].has_value());
  EXPECT_EQ(*store_.pools.kicks.items[1], "!! op kicked bob (again)");
  EXPECT_EQ(Recent(), (std::vector<std::string>{"-", "-", "!! op kicked bob (again)"}));
  ASSERT_TRUE(Parse(""));
  EXPECT_EQ(Recent(), (std::vector<std::string>{"-", "-", "-"}));
}

TEST_F(LogReader, EndsALineAtAZeroByte) {
  const char bytes[] = "<bob> hi\0 there\n<bob> next\n\0<bob> hidden\n<bob> x\0yz";
  std::string log(bytes, sizeof bytes - 1);
  ASSERT_TRUE(Parse(log));
  // "<bob> hi", "<bob> next" and its newline, nothing of the third line,
  // "<bob> x".
  EXPECT_EQ(bytes_, 8u + 11u + 0u + 7u);
  EXPECT_EQ(Nick("bob").lines, 3);
  EXPECT_EQ(Nick("bob").letters, 2 + 4 + 1);
  EXPECT_EQ(Recent(), (std::vector<std::string>{"<bob> hi", "<bob> next", "<bob> x"}));
}

TEST_F(LogReader, ReportsUnmatchedLinesOnlyWhenVerbose) {
  const std::string log = "junk\n<bob> hi\nmore junk\n";
  config_.verbosity = 0;
  ASSERT_TRUE(Parse(log));
  EXPECT_EQ(errors_, "");

  config_.verbosity = 1;
  ASSERT_TRUE(Parse(log));
  EXPECT_EQ(errors_, "Failed to parse \"junk\"\nFailed to parse \"more junk\"\n");
  EXPECT_EQ(Nick("bob").lines, 2);
}

TEST_F(LogReader, ReportsEveryMatchedLineAboveVerbosityOne) {
  config_.verbosity = 2;
  ASSERT_TRUE(
      Parse("=== Mon Jan 01 2001\n"
            "[5] <bob> hi\n"
            "!! mode +o bob\n"
            "junk\n"
            "=== mon jan 01 2001\n"
            "!! bob kicked amy (bye)\n"
            "<bob> \n"));
  EXPECT_EQ(errors_,
            "Channel Name: 'Unknown' (Mon Jan 01 2001)\n"
            "Parsed line \"=== Mon Jan 01 2001\" as 10, (null),(null),(null)\n"
            "Parsed line \"[5] <bob> hi\" as 1, bob,(null),hi\n"
            "Parsed line \"!! mode +o bob\" as 9, (null),(null),+o bob\n"
            "Failed to parse \"junk\"\n"
            "Channel Name: 'Unknown' (mon jan 01 2001)\n"
            "Channel Name: 'Mon Jan 01 2001' (mon jan 01 2001)\n"
            "Parsed line \"=== mon jan 01 2001\" as 10, (null),(null),(null)\n"
            "Parsed line \"!! bob kicked amy (bye)\" as 6, bob,amy,bye\n"
            "Parsed line \"<bob> \" as 1, bob,(null),\n");

  ASSERT_TRUE(Parse("-> amy joined\n"));
  EXPECT_EQ(errors_,
            "Channel Name: 'Unknown' (Unknown)\n"
            "Parsed line \"-> amy joined\" as 3, amy,(null),(null)\n");
}

}  // namespace

namespace {

TEST(DateShapes, NameOneDayPerCalendarDayInOneOfTheTwoDayNameShapes) {
  struct Case {
    const char* text;
    int64_t yearBefore;  // 0: no full date read before
    int monthBefore;
    DayNaming naming;
    const char* name;  // the renamed day; for kAsWritten, the text itself
  };
  const Case cases[] = {
      // The shapes day names take, and texts in no shape read here, stay.
      {"Sat Aug 15 2015", 0, 0, DayNaming::kAsWritten, "Sat Aug 15 2015"},
      {"Fri Jun  2 2017", 0, 0, DayNaming::kAsWritten, "Fri Jun  2 2017"},
      {"2015-08-15", 0, 0, DayNaming::kAsWritten, "2015-08-15"},
      {"Unknown", 0, 0, DayNaming::kAsWritten, "Unknown"},
      {"", 0, 0, DayNaming::kAsWritten, ""},
      {"yesterday", 2015, 8, DayNaming::kAsWritten, "yesterday"},
      {"2015-13-01T10:00", 0, 0, DayNaming::kAsWritten, "2015-13-01T10:00"},
      {"Xyz Aug 15 02:06:23 2015", 0, 0, DayNaming::kAsWritten, "Xyz Aug 15 02:06:23 2015"},
      {"xyz 15", 2015, 8, DayNaming::kAsWritten, "xyz 15"},
      {"Aug 15 2015", 2015, 8, DayNaming::kAsWritten, "Aug 15 2015"},
      // The time inside the date; the weekday is the date's own.
      {"Sat Aug 15 02:06:23 2015", 0, 0, DayNaming::kRenamed, "Sat Aug 15 2015"},
      {"Mon Jan  5 09:41:07 2026", 0, 0, DayNaming::kRenamed, "Mon Jan 05 2026"},
      {"Sun Jan 01 10:00 2017", 0, 0, DayNaming::kRenamed, "Sun Jan 01 2017"},
      {"Mon Aug 15 02:06:23 2015", 0, 0, DayNaming::kRenamed, "Sat Aug 15 2015"},
      // Compact and ISO with a time.
      {"20160601", 0, 0, DayNaming::kRenamed, "2016-06-01"},
      {"01Mar2012", 0, 0, DayNaming::kRenamed, "Thu Mar 01 2012"},
      {"29Feb2000", 0, 0, DayNaming::kRenamed, "Tue Feb 29 2000"},
      {"2019-10-01T04:09:36", 0, 0, DayNaming::kRenamed, "2019-10-01"},
      {"2021-04-23T00:13:25+0200", 0, 0, DayNaming::kRenamed, "2021-04-23"},
      {"2025-12-01 12:34:56.123456Z", 0, 0, DayNaming::kRenamed, "2025-12-01"},
      // A month and a day: the year of the last full date, the next one
      // once the month comes before that date's.
      {"Apr 22", 0, 0, DayNaming::kNoYear, ""},
      {"Apr 22", 2019, 4, DayNaming::kRenamed, "Mon Apr 22 2019"},
      {"Jun  2", 2017, 5, DayNaming::kRenamed, "Fri Jun 02 2017"},
      {"Jun 2", 2017, 5, DayNaming::kRenamed, "Fri Jun 02 2017"},
      {"Jan 01", 2025, 12, DayNaming::kRenamed, "Thu Jan 01 2026"},
      {"Dec 31", 2025, 12, DayNaming::kRenamed, "Wed Dec 31 2025"},
      // Dates the calendar lacks are no dates; 29 February only in leap years.
      {"31Feb2015", 0, 0, DayNaming::kAsWritten, "31Feb2015"},
      {"20150230", 0, 0, DayNaming::kAsWritten, "20150230"},
      {"20151301", 0, 0, DayNaming::kAsWritten, "20151301"},
      {"2015-02-29T10:00:00", 0, 0, DayNaming::kAsWritten, "2015-02-29T10:00:00"},
      {"Mon Apr 31 10:00:00 2015", 0, 0, DayNaming::kAsWritten, "Mon Apr 31 10:00:00 2015"},
      {"Feb 30", 2016, 1, DayNaming::kAsWritten, "Feb 30"},
      {"Feb 29", 2015, 1, DayNaming::kAsWritten, "Feb 29"},
      {"Feb 29", 2016, 1, DayNaming::kRenamed, "Mon Feb 29 2016"},
      {"29Feb2016", 0, 0, DayNaming::kRenamed, "Mon Feb 29 2016"},
      // Months named in the languages clients run in.
      {"aug 15", 2015, 8, DayNaming::kRenamed, "Sat Aug 15 2015"},
      {"juil. 04", 2024, 7, DayNaming::kRenamed, "Thu Jul 04 2024"},
      {"jui 04", 2024, 7, DayNaming::kRenamed, "Thu Jul 04 2024"},
      {"JUIN  4", 2024, 6, DayNaming::kRenamed, "Tue Jun 04 2024"},
      {"févr. 05", 2024, 2, DayNaming::kRenamed, "Mon Feb 05 2024"},
      {"Mär 05", 2024, 3, DayNaming::kRenamed, "Tue Mar 05 2024"},
      {"mrt 05", 2024, 3, DayNaming::kRenamed, "Tue Mar 05 2024"},
      {"dic 24", 2024, 12, DayNaming::kRenamed, "Tue Dec 24 2024"},
      {"Şub 05", 2024, 2, DayNaming::kRenamed, "Mon Feb 05 2024"},
      {"říj 05", 2024, 10, DayNaming::kRenamed, "Sat Oct 05 2024"},
      {"мая 05", 2024, 5, DayNaming::kRenamed, "Sun May 05 2024"},
      {"12月 31", 2024, 12, DayNaming::kRenamed, "Tue Dec 31 2024"},
      {"1月 01", 2024, 12, DayNaming::kRenamed, "Wed Jan 01 2025"},
      {"gen 05", 0, 0, DayNaming::kNoYear, ""},
      {"janvier 05", 2024, 1, DayNaming::kAsWritten, "janvier 05"},
      {"juil. 123", 2024, 7, DayNaming::kAsWritten, "juil. 123"},
  };
  for (const Case& c : cases) {
    DateContext context;
    context.haveYear = c.yearBefore != 0;
    context.year = c.yearBefore;
    context.month = c.monthBefore;
    std::string name;
    DayNaming naming = NameDayOfDate(c.text, context, name);
    EXPECT_EQ(naming, c.naming) << c.text;
    if (naming == DayNaming::kRenamed) {
      EXPECT_EQ(name, c.name) << c.text;
    }
  }
}

TEST(DateShapes, EveryDayNameHasItsTwinInTheOtherShape) {
  const std::pair<const char*, const char*> cases[] = {
      {"Thu Mar 01 2012", "2012-03-01"}, {"2012-03-01", "Thu Mar 01 2012"},
      {"Fri Jun  2 2017", "2017-06-02"}, {"Unknown", ""},
      {"2012-03-01T10:00", ""},          {"", ""},
  };
  for (const auto& [name, twin] : cases) {
    std::string other = "stale";
    OtherDayName(name, other);
    EXPECT_EQ(other, twin) << name;
  }
}

TEST(DateShapes, ADayNameKnowsEveryOtherNameOfItsDay) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"2002-03-04", {"Mon Mar 04 2002", "Mon Mar  4 2002"}},
      {"Mon Mar 04 2002", {"2002-03-04", "Mon Mar  4 2002"}},
      {"Mon Mar  4 2002", {"2002-03-04", "Mon Mar 04 2002"}},
      {"Sat Mar 16 2002", {"2002-03-16"}},
      {"Tue Mar 04 2002", {"2002-03-04", "Mon Mar 04 2002", "Mon Mar  4 2002"}},  // its own weekday
      {"10000-01-01", {"Sat Jan 01 10000", "Sat Jan  1 10000"}},
      {"2015-02-30", {}}, {"Mon Feb 30 2015", {}}, {"Unknown", {}}, {"20020304", {}},
  };
  for (const auto& [name, expected] : cases) {
    std::vector<std::string> twins{"stale"};
    DayNameTwins(name, twins);
    EXPECT_EQ(twins, expected) << name;
  }
}

TEST(DateShapes, AYearlessDateCarriesTheYearOnIntoTheNextDates) {
  DateContext context;
  std::string name;
  EXPECT_EQ(NameDayOfDate("Wed Dec 31 11:52:14 2025", context, name), DayNaming::kRenamed);
  EXPECT_EQ(NameDayOfDate("Jan 01", context, name), DayNaming::kRenamed);
  EXPECT_EQ(name, "Thu Jan 01 2026");
  EXPECT_EQ(NameDayOfDate("Jan 02", context, name), DayNaming::kRenamed);
  EXPECT_EQ(name, "Fri Jan 02 2026");  // the move to 2026 happens once
  EXPECT_EQ(NameDayOfDate("Sun Mar 04 2001", context, name), DayNaming::kAsWritten);
  EXPECT_EQ(NameDayOfDate("Mar 05", context, name), DayNaming::kRenamed);
  EXPECT_EQ(name, "Mon Mar 05 2001");
}

// The test layout with a month and day on every action ("[Mmm dd] * nick
// text"), after `extra`.
std::string DatedFormat(const std::string& extra) {
  std::string format = kFormat;
  size_t act = format.find("act=");
  format.replace(act, format.find('\n', act) - act,
                 "act=^\\[([A-Z][a-z][a-z] [ 0-9][0-9])] \\* ([^ ]+) (.*)$,date,nick,string");
  return extra + format;
}

TEST_F(LogReader, DatesInOtherShapesNameOneDayPerCalendarDay) {
  UseFormat(kFormat);
  ASSERT_TRUE(Parse("<amy> before any date\n"
                    "=== Sat Aug 15 02:06:23 2015\n"
                    "<amy> one\n"
                    "=== Sat Aug 15 2015\n"
                    "<amy> two\n"
                    "=== 2015-08-16T00:00:01\n"
                    "<amy> three\n"
                    "=== 20150816\n"
                    "<amy> four\n"));
  EXPECT_EQ(Day(UNDATED).lines, 1);
  EXPECT_EQ(Day("Sat Aug 15 2015").lines, 2);
  EXPECT_EQ(Day("2015-08-16").lines, 2);
  EXPECT_EQ(store_.days.records.size(), 3u);
  EXPECT_EQ(FindDay(store_.days, "Sat Aug 15 02:06:23 2015", 0), nullptr);
}

TEST_F(LogReader, ADayMetUnderTwoNameShapesIsOneDay) {
  for (int workers : {1, 2}) {
    Reset();
    workers_ = workers;
    UseFormat(kFormat);
    ASSERT_TRUE(Parse("=== Mon Mar 04 2002\n<amy> one\n=== Sun Mar  3 2002\n<amy> two\n"));
    ASSERT_TRUE(Parse("=== 2002-03-04\n<amy> three\n=== Sun Mar 03 2002\n<amy> four\n"
                      "=== 2002-03-03T10:00:00\n<amy> five\n=== MON MAR 04 2002\n<amy> six\n"));
    // Impossible dates name their days as written, each a day of its own.
    ASSERT_TRUE(Parse("=== 2002-02-30\n<amy> seven\n=== Sat Feb 30 2002\n<amy> eight\n"
                      "=== 2002-03-02\n<amy> nine\n"));
    EXPECT_EQ(Day("Mon Mar 04 2002").lines, 3) << workers;
    EXPECT_EQ(Day("Sun Mar  3 2002").lines, 3) << workers;
    EXPECT_EQ(Day("2002-02-30").lines, 1) << workers;
    EXPECT_EQ(Day("Sat Feb 30 2002").lines, 1) << workers;
    EXPECT_EQ(Day("2002-03-02").lines, 1) << workers;
    EXPECT_EQ(store_.days.records.size(), 6u) << workers;  // with the undated day
  }
}

TEST_F(LogReader, MonthAndDayLinesTakeTheYearOfTheLastFullDate) {
  UseFormat(DatedFormat(""));
  ASSERT_TRUE(Parse("[Dec 30] * amy no year known yet\n"
                    "=== Wed Dec 31 11:52:14 2025\n"
                    "[Dec 31] * amy old year\n"
                    "[Jan 01] * amy new year\n"
                    "[Jan 01] * bob still new\n"
                    "=== Mon Jan  5 09:41:07 2026\n"
                    "[Jan 05] * amy later\n"));
  EXPECT_EQ(Day(UNDATED).lines, 1);
  EXPECT_EQ(Day("Wed Dec 31 2025").lines, 1);
  EXPECT_EQ(Day("Thu Jan 01 2026").lines, 2);
  EXPECT_EQ(Day("Mon Jan 05 2026").lines, 1);
  EXPECT_EQ(store_.days.records.size(), 4u);
  // Every date in a file starts from no year again.
  ASSERT_TRUE(Parse("[Jan 06] * amy undated again\n"));
  EXPECT_EQ(Day(UNDATED).lines, 2);
}

TEST_F(LogReader, AFileNameDatesTheLinesBeforeTheFirstDateInside) {
  struct Case {
    const char* fileName;
    const char* firstDay;    // the day of the lines before "=== ..."
    const char* yearlessDay;  // the day of "[Dec 30]", with the file name's year
  };
  const Case cases[] = {
      {"logs/#chan_20160601.log", "2016-06-01", "Fri Dec 30 2016"},
      {"2016-06-02.log", "2016-06-02", "Fri Dec 30 2016"},
      {"#chan.log.01Mar2012", "Thu Mar 01 2012", "Sun Dec 30 2012"},
      {"dir_20160601.log/other.log", UNDATED, UNDATED},  // only the last component counts
      {"notes.log", UNDATED, UNDATED},
      {"", UNDATED, UNDATED},  // standard input has no name
  };
  for (const Case& c : cases) {
    Reset();
    fileName_ = c.fileName;
    UseFormat(DatedFormat("filename=([0-9]{8}|[0-9]{4}-[0-9]{2}-[0-9]{2}|[0-9]{2}[A-Z][a-z]{2}"
                          "[0-9]{4})(\\.log)?$,date\n"));
    ASSERT_TRUE(Parse("<amy> first\n"
                      "[Dec 30] * amy a later day of the same year\n"
                      "=== 2017-01-01\n"
                      "<amy> dated inside\n"));
    bool dated = std::string(c.firstDay) != UNDATED;
    EXPECT_EQ(Day(c.firstDay).lines, dated ? 1 : 2) << c.fileName;
    EXPECT_EQ(Day(c.yearlessDay).lines, dated ? 1 : 2) << c.fileName;
    EXPECT_EQ(Day("2017-01-01").lines, 1) << c.fileName;
    EXPECT_NE(FindDay(store_.days, UNDATED, 0), nullptr);  // it exists all the same
  }
}

// `text` compressed in `kind` by its own library; empty when the build
// lacks it.
std::string Compressed(Compression kind, [[maybe_unused]] const std::string& text) {
  std::string out;
  switch (kind) {
#ifdef TALLYWICK_HAVE_ZLIB
    case Compression::kGzip: {
      z_stream z{};
      if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) break;
      out.resize(deflateBound(&z, text.size()) + 64);
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
      z.avail_in = static_cast<uInt>(text.size());
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = static_cast<uInt>(out.size());
      EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
      out.resize(z.total_out);
      deflateEnd(&z);
      break;
    }
#endif
#ifdef TALLYWICK_HAVE_BZIP2
    case Compression::kBzip2: {
      unsigned size = static_cast<unsigned>(text.size() + text.size() / 50 + 1024);
      out.resize(size);
      // Blocks of 100 kB, so that a long text makes several.
      EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(text.data()),
                                         static_cast<unsigned>(text.size()), 1, 0, 0),
                BZ_OK);
      out.resize(size);
      break;
    }
#endif
#ifdef TALLYWICK_HAVE_LZMA
    case Compression::kXz: {
      size_t used = 0;
      out.resize(lzma_stream_buffer_bound(text.size()));
      EXPECT_EQ(lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr,
                                        reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                        reinterpret_cast<uint8_t*>(out.data()), &used, out.size()),
                LZMA_OK);
      out.resize(used);
      break;
    }
#endif
#ifdef TALLYWICK_HAVE_ZSTD
    case Compression::kZstd: {
      ZSTD_CCtx* context = ZSTD_createCCtx();
      ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
      out.resize(ZSTD_compressBound(text.size()));
      size_t size = ZSTD_compress2(context, out.data(), out.size(), text.data(), text.size());
      EXPECT_FALSE(ZSTD_isError(size));
      out.resize(ZSTD_isError(size) ? 0 : size);
      ZSTD_freeCCtx(context);
      break;
    }
#endif
    default:
      break;
  }
  return out;
}

TEST_F(LogReader, ReadsCompressedLogsByTheirContent) {
  // Lines that differ, so that the compressed data is long enough for
  // several blocks of every kind and a cut falls well inside it.
  std::string log;
  for (int i = 0; i < 6000; ++i) {
    log += "<amy> line " + std::to_string(i * 7919 % 100003) + " of a long log, " +
           std::to_string(i) + "\n";
  }
  UseFormat(DatedFormat("filename=([0-9]{4}-[0-9]{2}-[0-9]{2})\\.log$,date\n"));
  enum class Damage { kNone, kTwoMembers, kTruncated, kCorrupt };
  struct Case {
    Compression kind;
    Damage damage;
    const char* name;
    const char* error;  // what the message says after the name; "" for none
    const char* day;    // the day the lines are credited to
  };
  const Case cases[] = {
      {Compression::kGzip, Damage::kNone, "2016-06-01.log.gz", "", "2016-06-01"},
      {Compression::kBzip2, Damage::kNone, "2016-06-02.log.bz2", "", "2016-06-02"},
      {Compression::kXz, Damage::kNone, "2016-06-03.log.xz", "", "2016-06-03"},
      {Compression::kZstd, Damage::kNone, "2016-06-04.log.zst", "", "2016-06-04"},
      // The content decides, not the name; a name without a suffix keeps its date.
      {Compression::kGzip, Damage::kNone, "2016-06-05.log", "", "2016-06-05"},
      {Compression::kGzip, Damage::kNone, "", "", UNDATED},  // standard input
      {Compression::kGzip, Damage::kTwoMembers, "a.gz", "", UNDATED},
      {Compression::kBzip2, Damage::kTwoMembers, "a.bz2", "", UNDATED},
      {Compression::kXz, Damage::kTwoMembers, "a.xz", "", UNDATED},
      {Compression::kZstd, Damage::kTwoMembers, "a.zst", "", UNDATED},
      {Compression::kGzip, Damage::kTruncated, "t.gz", "truncated gzip data", UNDATED},
      {Compression::kBzip2, Damage::kTruncated, "t.bz2", "truncated bzip2 data", UNDATED},
      {Compression::kXz, Damage::kTruncated, "t.xz", "truncated xz data", UNDATED},
      {Compression::kZstd, Damage::kTruncated, "t.zst", "truncated zstd data", UNDATED},
      {Compression::kGzip, Damage::kCorrupt, "c.gz", "corrupt gzip data", UNDATED},
      {Compression::kBzip2, Damage::kCorrupt, "c.bz2", "corrupt bzip2 data", UNDATED},
      {Compression::kXz, Damage::kCorrupt, "c.xz", "corrupt xz data", UNDATED},
      {Compression::kZstd, Damage::kCorrupt, "c.zst", "corrupt zstd data", UNDATED},
  };
  std::string missing;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!CompressionBuiltIn(c.kind)) {
      if (missing.find(CompressionName(c.kind)) == std::string::npos) {
        missing += std::string(" ") + CompressionName(c.kind);
      }
      continue;
    }
    std::string bytes = Compressed(c.kind, log);
    ASSERT_FALSE(bytes.empty());
    uint64_t expected = 6000;
    if (c.damage == Damage::kTwoMembers) {
      bytes += bytes;
      expected = 12000;
    } else if (c.damage == Damage::kTruncated) {
      bytes.resize(bytes.size() * 3 / 4);
    } else if (c.damage == Damage::kCorrupt) {
      for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 16; ++i) bytes[i] ^= 0x55;
    }
    Reset();
    bool ok = ParseInput(bytes, c.name);
    uint64_t lines = FindNick(store_.nicks, "amy") ? Nick("amy").lines : 0;
    if (*c.error == '\0') {
      EXPECT_TRUE(ok) << errors_;
      EXPECT_EQ(errors_, "");
      EXPECT_EQ(lines, expected);
      EXPECT_EQ(Day(c.day).lines, static_cast<int64_t>(expected));
      EXPECT_EQ(bytes_, log.size() * (expected / 6000));
      continue;
    }
    // A read error naming the input and the reason; the lines before the
    // damage count.
    EXPECT_FALSE(ok);
    EXPECT_EQ(errors_.rfind(std::string("fgets: ") + c.name + ": " + c.error, 0), 0u) << errors_;
    EXPECT_LT(lines, expected);
    if (c.damage == Damage::kTruncated) {
      EXPECT_GT(lines, 0u);
    }
  }
  if (!missing.empty()) GTEST_SKIP() << "built without support for:" << missing;
}

TEST_F(LogReader, TellsCompressionByTheMagicBytes) {
  const Compression kinds[] = {Compression::kGzip, Compression::kBzip2, Compression::kXz,
                               Compression::kZstd};
  const char* magics[] = {"\x1f\x8b\x08", "BZh9", "\xfd" "7zXZ", "\x28\xb5\x2f\xfd"};
  for (size_t i = 0; i < std::size(kinds); ++i) {
    FILE* in = StreamOf(std::string(magics[i]) + std::string("\0\0\0\0", 4));
    ASSERT_NE(in, nullptr);
    LogInput input;
    bool opened = OpenLogInput(in, "x", input);
    fclose(in);
    EXPECT_EQ(input.compression, kinds[i]);
    // Refused, before any byte is handed out, when the build lacks the kind.
    EXPECT_EQ(opened, CompressionBuiltIn(kinds[i]));
  }
  // "BZh" without a block size is text.
  FILE* in = StreamOf("BZhello\n");
  LogInput input;
  EXPECT_TRUE(OpenLogInput(in, "x", input));
  fclose(in);
  EXPECT_EQ(input.compression, Compression::kNone);
}

TEST(CompressedLogRun, StandardInputADailyNameAndADamagedFileThroughTheProgram) {
  if (!CompressionBuiltIn(Compression::kGzip)) {
    // The program says what it lacks and skips the file.
    test_support::TempDir dir;
    test_support::WriteFile(dir / "format.txt", test_support::kFormat);
    test_support::WriteFile(dir / "old.log.gz", std::string("\x1f\x8b\x08\0\0\0\0\0", 8));
    test_support::RunOptions options;
    options.workDir = dir.path.string();
    auto run = test_support::RunProgram(TALLYWICK_BINARY,
                                        {"-p", "format.txt", "-o", "out.html", "old.log.gz"}, options);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err,
              "old.log.gz is gzip-compressed, and this tallywick was built without gzip support "
              "(zlib)\nNo logs parsed. Nothing to output");
    GTEST_SKIP() << "built without gzip support (zlib): compressed runs not tried";
  }
  using test_support::ReadFile;
  using test_support::RunOptions;
  using test_support::RunProgram;
  using test_support::WriteFile;
  test_support::TempDir dir;
  const std::string log =
      "10:00 <quillon> good morning\n"
      "11:00 <marrowby> a second line\n"
      "--- Day changed Tue Mar 05 2002\n"
      "09:00 <quillon> the next day\n";
  WriteFile(dir / "format.txt", std::string("filename=^([0-9]{4}-[0-9]{2}-[0-9]{2})\\.log$,date\n") +
                                    test_support::kFormat);
  WriteFile(dir / "2002-03-04.log", log);
  WriteFile(dir / "2002-03-04.log.gz", Compressed(Compression::kGzip, log));
  auto run = [&](const std::vector<std::string>& args, RunOptions options) {
    options.workDir = dir.path.string();
    return RunProgram(TALLYWICK_BINARY, args, options);
  };
  // The plain daily file and its rotated copy give the same page: the date
  // comes from the name without ".gz".
  ASSERT_EQ(run({"-p", "format.txt", "-o", "plain.html", "2002-03-04.log"}, RunOptions()).status, 0);
  auto gz = run({"-p", "format.txt", "-o", "gz.html", "2002-03-04.log.gz"}, RunOptions());
  EXPECT_EQ(gz.status, 0) << gz.err;
  std::string plain = ReadFile(dir / "plain.html");
  EXPECT_NE(plain.find("2002-03-04"), std::string::npos);
  EXPECT_EQ(test_support::FirstDifference(plain, ReadFile(dir / "gz.html")), "");
  // Standard input is told compressed by its content too; it has no name.
  RunOptions fromStdin;
  fromStdin.stdinText = Compressed(Compression::kGzip, log);
  auto piped = run({"-p", "format.txt", "-o", "stdin.html", "-"}, fromStdin);
  EXPECT_EQ(piped.status, 0) << piped.err;
  std::string stdinPage = ReadFile(dir / "stdin.html");
  EXPECT_NE(stdinPage.find("quillon"), std::string::npos);
  EXPECT_EQ(stdinPage.find("2002-03-04"), std::string::npos);
  // A truncated file is a read error: the file and the reason, status 255.
  std::string cut = Compressed(Compression::kGzip, log);
  cut.resize(cut.size() - 12);
  WriteFile(dir / "cut.log.gz", cut);
  auto damaged = run({"-p", "format.txt", "-o", "cut.html", "cut.log.gz"}, RunOptions());
  EXPECT_EQ(damaged.status, 255);
  EXPECT_EQ(damaged.err, "fgets: cut.log.gz: truncated gzip data (the file ends inside it)\n");
  EXPECT_FALSE(test_support::FileExists(dir / "cut.html"));
  fromStdin.stdinText = cut;
  auto damagedStdin = run({"-p", "format.txt", "-o", "cut.html", "-"}, fromStdin);
  EXPECT_EQ(damagedStdin.status, 255);
  EXPECT_EQ(damagedStdin.err,
            "fgets: standard input: truncated gzip data (the file ends inside it)\n");
}

TEST_F(LogReader, MovesLinesFromTheLoggersZoneToThePages) {
  std::string format = DatedFormat("");
  size_t text = format.find("text=");
  format.replace(text, format.find('\n', text) - text,
                 "text=^\\[([0-9]+:[0-9]+)] <([^>]*)> (.*)$,time,nick,string");
  UseFormat(format);
  constexpr int64_t kSummer = 1719835200;  // 2024-07-01 12:00 UTC
  constexpr int64_t kWinter = 1705320000;  // 2024-01-15 12:00 UTC
  struct Case {
    const char* logZone;
    const char* pageZone;
    const char* date;  // the "=== " line before the line; "" for none
    const char* time;
    int64_t reference;    // the instant that moves lines of unknown day
    const char* day;      // where the line lands
    int hour;
  };
  const Case cases[] = {
      // Across midnight, in summer and in winter time.
      {"UTC", "Europe/Berlin", "2024-07-01", "23:30", kSummer, "2024-07-02", 1},
      {"UTC", "Europe/Berlin", "2024-01-15", "23:30", kSummer, "2024-01-16", 0},
      {"America/New_York", "UTC", "Mon Jul 01 2024", "21:00", kSummer, "Tue Jul 02 2024", 1},
      {"Europe/Berlin", "UTC", "2024-01-01", "00:30", kSummer, "2023-12-31", 23},
      {"UTC", "America/New_York", "Sun Mar 01 2020", "02:00", kSummer, "Sat Feb 29 2020", 21},
      // Across a daylight-saving change: Berlin moves its clocks at 01:00 UTC.
      {"UTC", "Europe/Berlin", "2024-03-31", "00:59", kSummer, "2024-03-31", 1},
      {"UTC", "Europe/Berlin", "2024-03-31", "01:00", kSummer, "2024-03-31", 3},
      {"UTC", "Europe/Berlin", "2024-10-27", "00:59", kSummer, "2024-10-27", 2},
      {"UTC", "Europe/Berlin", "2024-10-27", "01:00", kSummer, "2024-10-27", 2},
      // New York is on summer time three weeks before Berlin.
      {"America/New_York", "Europe/Berlin", "2024-03-20", "20:00", kSummer, "2024-03-21", 1},
      // Half an hour: the minutes count.
      {"Asia/Kolkata", "UTC", "2024-07-01", "05:15", kSummer, "2024-06-30", 23},
      {"Asia/Kolkata", "UTC", "2024-07-01", "05:45", kSummer, "2024-07-01", 0},
      // Unknown day: the hour moves by the offsets at the reference time,
      // around the clock, and the day stays.
      {"UTC", "Europe/Berlin", "", "23:30", kSummer, UNDATED, 1},
      {"UTC", "Europe/Berlin", "", "23:30", kWinter, UNDATED, 0},
      {"America/New_York", "UTC", "", "22:00", kWinter, UNDATED, 3},
      // A day text that names no calendar day is an unknown day too.
      {"UTC", "Europe/Berlin", "day one", "23:30", kSummer, "day one", 1},
      {"UTC", "UTC", "2024-07-01", "23:30", kSummer, "2024-07-01", 23},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.logZone) + " -> " + c.pageZone + " " + c.date + " " + c.time);
    ZoneShift zones;
    std::string error;
    if (!LoadZone(c.logZone, zones.log, error) || !LoadZone(c.pageZone, zones.page, error)) {
      GTEST_SKIP() << "the system's zone files are missing (Debian's tzdata): " << error;
    }
    zones.referenceTime = c.reference;
    zones_ = &zones;
    Reset();
    std::string log = *c.date ? std::string("=== ") + c.date + "\n" : "";
    ASSERT_TRUE(Parse(log + "[" + c.time + "] <amy> hello\n")) << errors_;
    EXPECT_EQ(Day(c.day).lines, 1);
    EXPECT_EQ(Day(c.day).hours[c.hour], 1);
    EXPECT_EQ(Nick("amy").textLines[c.hour / 6], 1);
  }
  zones_ = nullptr;
  // A name that is no zone, or that tries to leave the zone folder.
  ZoneRules zone;
  std::string error;
  EXPECT_FALSE(LoadZone("Mars/Olympus_Mons", zone, error));
  EXPECT_EQ(error, "no such time zone");
  EXPECT_FALSE(LoadZone("../../etc/passwd", zone, error));
  EXPECT_FALSE(LoadZone("/etc/passwd", zone, error));
}

TEST_F(LogReader, TellsTheLinesOfEachTypeAndTheUnmatched) {
  ASSERT_TRUE(Parse("<amy> hi\n"
                    "\n"
                    "nothing matches this\n"
                    "* amy waves\n"
                    "-> bob joined\n"
                    "=== Sat Aug 15 2015\n"
                    "### #chan\n"
                    "<bob> last line without newline"));
  EXPECT_EQ(file_.lines, 8u);
  EXPECT_EQ(file_.linesOfType[kTypeNull], 2u);
  EXPECT_EQ(file_.linesOfType[kTypeText], 2u);
  EXPECT_EQ(file_.linesOfType[kTypeAction], 1u);
  EXPECT_EQ(file_.linesOfType[kTypeJoin], 1u);
  EXPECT_EQ(file_.linesOfType[kTypeDateStamp], 1u);
  EXPECT_EQ(file_.linesOfType[kTypeChannel], 1u);
  EXPECT_EQ(file_.linesOfType[kTypeQuit], 0u);
}

TEST_F(LogReader, AnOrderTriesItsTypesFirst) {
  // "* bob has joined" is an action in table order and a join when joins
  // are tried first.
  std::string format = kFormat;
  size_t join = format.find("join=");
  format.replace(join, format.find('\n', join) - join, "join=^\\* ([^ ]+) has joined$,nick");
  const std::string log = "* bob has joined\n* bob waves\n";
  for (int workers : {1, 2}) {
    Reset();
    workers_ = workers;
    UseFormat(format);
    ASSERT_TRUE(Parse(log));
    EXPECT_EQ(Nick("bob").lines, 2);
    EXPECT_EQ(Nick("bob").joins, 0);
    Reset();
    UseFormat("order=join\n" + format);
    ASSERT_TRUE(Parse(log));
    EXPECT_EQ(Nick("bob").lines, 1);
    EXPECT_EQ(Nick("bob").joins, 1);
  }
}

}  // namespace
