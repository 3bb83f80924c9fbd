#include "logformat/line_batches.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// A stream over the given bytes.
FILE* StreamOf(const std::string& bytes) {
  FILE* stream = tmpfile();
  fwrite(bytes.data(), 1, bytes.size(), stream);
  rewind(stream);
  return stream;
}

std::vector<std::string> LinesOf(const LineBatch& batch) {
  std::vector<std::string> lines;
  for (const BatchLine& line : batch.lines) {
    lines.emplace_back(batch.bytes.data() + line.offset, line.length);
  }
  return lines;
}

TEST(ReadBatchTest, CutsOnlyAtNewlinesAndCountsEveryByte) {
  // Lines far longer than a batch, a CR kept, a zero byte, ANSI codes, and a
  // last line without newline.
  std::string longLine(700000, 'x');
  std::string input = longLine + "\nshort\r\n" + std::string("ab\0cd", 5) + "\n" +
                      "\x1b[1;31mred\x1b[0m text\n" + longLine + "y\nlast";
  FILE* in = StreamOf(input);
  BatchSource source;
  source.bytes = FileByteSource(in, "log");
  std::vector<std::string> lines;
  uint64_t counted = 0;
  LineBatch batch;
  do {
    ReadBatch(source, 1000, batch);
    for (const BatchLine& line : batch.lines) counted += line.countedBytes;
    for (std::string& line : LinesOf(batch)) lines.push_back(line);
  } while (!batch.endOfStream);
  fclose(in);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], longLine);
  EXPECT_EQ(lines[1], "short\r");
  EXPECT_EQ(lines[2], "ab");
  EXPECT_EQ(lines[3], "red text");
  EXPECT_EQ(lines[4], longLine + "y");
  EXPECT_EQ(lines[5], "last");
  // The zero-byte line counts up to its zero byte only.
  EXPECT_EQ(counted, input.size() - 4);
}

TEST(ReadBatchTest, EmptyStreamGivesOneEmptyFinalBatch) {
  FILE* in = StreamOf("");
  BatchSource source;
  source.bytes = FileByteSource(in, "log");
  LineBatch batch;
  ReadBatch(source, 1000, batch);
  EXPECT_TRUE(batch.endOfStream);
  EXPECT_TRUE(batch.lines.empty());
  fclose(in);
}

TEST(ReadBatchTest, BytesAfterAZeroByteAreNeverStored) {
  // Each line's text ends at its zero byte; the megabytes after it, in one
  // read or over many, are dropped as they are read.
  std::string tail(3 << 20, 'z');
  std::string input = std::string("ab\0", 3) + tail + "\n" + std::string("\0\0\0", 3) + tail +
                      std::string("\0", 1) + "x\nnext line\n" + std::string("cd\0", 3) + tail;
  FILE* in = StreamOf(input);
  BatchSource source;
  source.bytes = FileByteSource(in, "log");
  std::vector<std::string> lines;
  uint64_t counted = 0;
  size_t largest = 0;
  LineBatch batch;
  do {
    ReadBatch(source, 1000, batch);
    for (const BatchLine& line : batch.lines) counted += line.countedBytes;
    for (std::string& line : LinesOf(batch)) lines.push_back(line);
    largest = std::max(largest, batch.bytes.size());
  } while (!batch.endOfStream);
  fclose(in);
  EXPECT_EQ(lines, (std::vector<std::string>{"ab", "", "next line", "cd"}));
  EXPECT_EQ(counted, 2u + 0u + 10u + 2u);
  EXPECT_LT(largest, size_t{1} << 20) << "the bytes after a zero byte were stored";
}

TEST(ReadBatchTest, ABatchHoldsAtMostOneLinePerFewBytes) {
  // Empty lines cost a record each: a batch stops at its share of them, and
  // the rest follow in the next batches.
  FILE* in = StreamOf(std::string(100000, '\n') + "last");
  BatchSource source;
  source.bytes = FileByteSource(in, "log");
  size_t lines = 0, most = 0;
  LineBatch batch;
  do {
    ReadBatch(source, 3200, batch);
    lines += batch.lines.size();
    most = std::max(most, batch.lines.size());
  } while (!batch.endOfStream);
  fclose(in);
  EXPECT_EQ(lines, 100001u);
  EXPECT_EQ(most, 3200 / kBytesPerBatchLine);
}

TEST(ReadBatchTest, AReadErrorKeepsItsReason) {
  // A folder opens as a stream, and its first read fails.
  FILE* in = fopen(testing::TempDir().c_str(), "r");
  ASSERT_NE(in, nullptr);
  BatchSource source;
  source.bytes = FileByteSource(in, "log");
  LineBatch batch;
  errno = 0;
  ReadBatch(source, 1000, batch);
  fclose(in);
  EXPECT_TRUE(batch.endOfStream);
  EXPECT_TRUE(batch.readError);
  EXPECT_EQ(batch.readErrno, EISDIR);
  EXPECT_TRUE(batch.lines.empty());
}

TEST(ParallelClassificationTest, AFormatTooLargeToCopyForEveryWorkerGetsFewerWorkers) {
  LineTypeTable small;
  std::string demo = std::string(TALLYWICK_SOURCE_DIR) + "/examples/demo/format.txt";
  FILE* in = fopen(demo.c_str(), "r");
  ASSERT_NE(in, nullptr);
  ASSERT_TRUE(ReadLogFormatSpec(in, 0, small));
  fclose(in);
  EXPECT_EQ(AffordableWorkers(small, 1), 1);
  EXPECT_EQ(AffordableWorkers(small, 64), 64);

  // About 45,000 pieces: some 23 MB for each copy of the format.
  std::string large;
  for (int type = 1; type < kLineTypeCount; ++type) {
    large += std::string(LineTypeKeyword(type)) + "=^" + (type == 1 ? "z{30000}z{15000}" : "y") +
             "<(.*)>$,nick\n";
  }
  LineTypeTable big;
  in = fmemopen(large.data(), large.size(), "r");
  ASSERT_NE(in, nullptr);
  ASSERT_TRUE(ReadLogFormatSpec(in, 0, big));
  fclose(in);
  int workers = AffordableWorkers(big, 64);
  EXPECT_GE(workers, 1);
  EXPECT_LE(static_cast<uint64_t>(workers - 1) * 45000 * kCopyBytesPerPiece, kCopiesBudgetBytes);
  EXPECT_LT(workers, 64);
  EXPECT_EQ(AffordableWorkers(big, 1), 1);
}

struct RunResult {
  int status = -1;
  std::string out, err, page;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// A folder of this test's own under the temporary folder, so that runs of
// the suite side by side (plain and sanitized, or in two checkouts) never
// share files.
const std::string& OwnTempDir() {
  static const std::string dir = [] {
    std::string pattern = testing::TempDir() + "tallywick-threads-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return testing::TempDir();
    return pattern;
  }();
  return dir;
}

RunResult RunWithThreads(const std::string& args, int threads, const std::string& tag) {
  std::string dir = OwnTempDir();
  std::string page = dir + "/threads-page-" + tag + ".html";
  std::string out = dir + "/threads-out-" + tag, err = dir + "/threads-err-" + tag;
  std::string command = "SOURCE_DATE_EPOCH=1000000000 TZ=UTC TALLYWICK_THREADS=" +
                        std::to_string(threads) + " " TALLYWICK_BINARY " -o " + page + " " +
                        args + " >" + out + " 2>" + err;
  remove(page.c_str());
  RunResult result;
  int raw = system(command.c_str());
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  result.page = ReadFile(page);
  return result;
}

// A log of every line type over many days, with unparsed lines and long
// lines, several megabytes long so that it spans many batches.
std::string GeneratedLog(bool withBadHour) {
  std::string log;
  unsigned state = 12345;
  auto next = [&state] { return state = state * 1103515245u + 12345u, (state >> 16) & 0x7fff; };
  const char* days[] = {"Mon Mar 04 2002", "Tue Mar 05 2002", "Wed Mar 06 2002"};
  for (int day = 0; day < 3; ++day) {
    log += std::string("--- Day changed ") + days[day] + "\n";
    for (int i = 0; i < 12000; ++i) {
      char line[256];
      int hour = static_cast<int>(next() % 24);
      int nick = static_cast<int>(next() % 50);
      switch (next() % 12) {
        case 0: snprintf(line, sizeof line, "%02d:00  * n%d waves lol\n", hour, nick); break;
        case 1: snprintf(line, sizeof line, "%02d:00 -!- n%d [u@h] has joined #c\n", hour, nick); break;
        case 2: snprintf(line, sizeof line, "%02d:00 -!- n%d [u@h] has left #c []\n", hour, nick); break;
        case 3: snprintf(line, sizeof line, "%02d:00 -!- n%d [u@h] has quit [bye %d]\n", hour, nick, i); break;
        case 4: snprintf(line, sizeof line, "%02d:00 -!- n%d was kicked from #c by n%d [r%d]\n", hour, nick, nick + 1, i); break;
        case 5: snprintf(line, sizeof line, "%02d:00 -!- n%d changed the topic of #c to: t%d\n", hour, nick, i); break;
        case 6: snprintf(line, sizeof line, "%02d:00 -!- n%d is now known as n%d\n", hour, nick, nick + 2); break;
        case 7: snprintf(line, sizeof line, "%02d:00 -!- mode/#c [+o n1] by n%d\n", hour, nick); break;
        case 8: snprintf(line, sizeof line, "garbage line %d that no type matches\n", i); break;
        default: snprintf(line, sizeof line, "%02d:00 <n%d> n%d: see http://x.org/%d lol?\n", hour, nick, nick + 3, i); break;
      }
      log += line;
      if (i % 4999 == 0) log += "12:00 <n1> " + std::string(300000, 'z') + "\n";
      if (withBadHour && day == 2 && i == 6000) log += "25:00 <n1> too late\n";
    }
  }
  return log;
}

TEST(ParallelClassificationTest, OneAndFourWorkersGiveTheSameRun) {
  std::string dir = OwnTempDir();
  std::string log = dir + "/threads.log", badLog = dir + "/threads-bad.log";
  std::ofstream(log, std::ios::binary) << GeneratedLog(false);
  std::ofstream(badLog, std::ios::binary) << GeneratedLog(true);
  std::string format = std::string(TALLYWICK_SOURCE_DIR) + "/examples/demo/format.txt";
  std::string settings = std::string(TALLYWICK_SOURCE_DIR) + "/examples/demo/demo.conf";

  struct Case {
    std::string args;
    int status;
  } cases[] = {
      {"-v -p " + format + " -r " + settings + " " + log + " " + log, 0},
      {"-p " + format + " -v -v " + log, 0},
      {"-v -p " + format + " " + badLog, 255},
  };
  int index = 0;
  std::vector<Case> all(std::begin(cases), std::end(cases));
  // Many daily files through the one pool of the run, small ones (read and
  // classified by the reading thread) between large ones (by the workers),
  // a missing one, and one that ends the run with a bad hour while files
  // are still to come.
  std::string daily;
  for (int day = 1; day <= 60; ++day) {
    std::string name = dir + "/daily-" + std::to_string(day) + ".log";
    std::ofstream out(name, std::ios::binary);
    out << "--- Day changed Mon Apr " << (day % 28 + 1) << " 2002\n";
    for (int i = 0; i < day * 7; ++i) {
      out << (i % 24) << ":00 <n" << (i * day % 13) << "> line " << i << " of day " << day << "?\n";
      if (i % 11 == 0) out << "unmatched " << i << "\n";
    }
    daily += " " + name;
    if (day % 20 == 0) daily += " " + log + " " + dir + "/daily-missing.log";
  }
  all.push_back({"-v -p " + format + daily, 0});
  all.push_back({"-v -p " + format + daily + " " + badLog + daily, 255});
  // Every bundled format on its sample log, verbosely.
  for (const char* name : {"irssi", "weechat", "hexchat", "hexchat-iso", "mirc", "limnoria",
                           "xchat"}) {
    std::string source = TALLYWICK_SOURCE_DIR;
    all.push_back({"-v -v -p " + source + "/formats/" + name + ".txt " + source + "/examples/" +
                       name + ".log",
                   0});
  }
  // The clients that write one file a day: all the files, by a glob.
  for (const char* name : {"eggdrop", "energymech", "znc", "textual"}) {
    std::string source = TALLYWICK_SOURCE_DIR;
    all.push_back({"-v -v -p " + source + "/formats/" + name + ".txt " + source + "/examples/" +
                       name + "/*",
                   0});
  }
  for (const Case& c : all) {
    std::string tag = std::to_string(index++);
    RunResult one = RunWithThreads(c.args, 1, tag + "a");
    RunResult four = RunWithThreads(c.args, 4, tag + "b");
    EXPECT_EQ(one.status, c.status) << c.args;
    EXPECT_EQ(four.status, one.status) << c.args;
    EXPECT_TRUE(one.out == four.out) << c.args;
    EXPECT_TRUE(one.err == four.err) << c.args;
    EXPECT_TRUE(one.page == four.page) << c.args;
    if (c.status == 0) {
      EXPECT_GT(one.page.size(), 5000u);
    }
  }
  if (dir != testing::TempDir()) {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
}

}  // namespace
