// Whole runs of the program on the inputs real users' files contain: lines
// of many megabytes, binary junk, hundreds of thousands of nicks, decades of
// days, expressions that are slow for backtracking matchers, settings over
// every capacity, and outputs that cannot be written. Each run must end with
// its defined status and message, and leave a complete page or the old one.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <regex.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "driver/settings.h"
#include "run_binary.h"

using test_support::FileExists;
using test_support::FolderEntries;
using test_support::ReadFile;
using test_support::RunOptions;
using test_support::RunProgram;
using test_support::RunResult;
using test_support::TempDir;
using test_support::WriteFile;

namespace {

using test_support::kFormat;

constexpr const char* kPageStart = "<!DOCTYPE HTML PUBLIC";
constexpr const char* kPageEnd = "</center></body></html>";

// A folder with the format; logs and settings are added by each test.
struct Workspace {
  TempDir dir;
  std::string format = dir / "format.txt";
  std::string page = dir / "index.html";

  Workspace() { WriteFile(format, kFormat); }
  std::string Add(const std::string& name, const std::string& content) const {
    WriteFile(dir / name, content);
    return dir / name;
  }
};

RunResult RunBinary(const std::vector<std::string>& args) {
  return RunProgram(TALLYWICK_BINARY, args);
}

bool IsCompletePage(const std::string& page) {
  return page.starts_with(kPageStart) && page.ends_with(kPageEnd);
}

std::string Contains(const std::string& what) {
  return "page holds \"" + what + "\"";
}

// The summary line's day count and number of visitors.
std::string SummaryLine(long days, long visitors) {
  return "During this " + std::to_string(days) + "-day reporting period a total of " +
         std::to_string(visitors) + " persons visited #";
}

// What the page says was processed, for a log of `bytes` counted bytes.
std::string ProcessedText(uint64_t bytes) {
  return "Processed " + std::to_string(bytes >> 10) + "KiB in 0s.";
}

// The bytes a log adds to the processed total: every line with its newline,
// except that a zero byte ends a line's text and nothing after it counts.
uint64_t CountedBytes(const std::string& log) {
  uint64_t counted = 0;
  size_t start = 0;
  while (start < log.size()) {
    size_t newline = log.find('\n', start);
    size_t end = newline == std::string::npos ? log.size() : newline;
    size_t zero = log.find('\0', start);
    if (zero != std::string::npos && zero < end) {
      counted += zero - start;
    } else {
      counted += end - start + (newline == std::string::npos ? 0 : 1);
    }
    start = end + 1;
  }
  return counted;
}

// Www Mmm dd yyyy of a day counted from 1 January 1970 (day 0).
std::string DateText(int64_t day) {
  time_t when = static_cast<time_t>(day * 86400);
  struct tm fields;
  gmtime_r(&when, &fields);
  char text[32];
  strftime(text, sizeof text, "%a %b %d %Y", &fields);
  return text;
}

}  // namespace

TEST(HostileInput, ALineOfManyMegabytesIsReadWhole) {
#ifdef __SANITIZE_ADDRESS__
  // Under AddressSanitizer a run is several times slower and takes more
  // memory, so the line is 8 MiB there; the plain build reads 64 MiB.
  const size_t kLineBytes = size_t{8} << 20;
#else
  const size_t kLineBytes = size_t{64} << 20;
#endif
  Workspace work;
  std::string log = "--- Day changed Mon Mar 04 2024\n10:00 <giant> ";
  log.append(kLineBytes, 'x');
  log += "\n11:00 <small> after the giant\n";
  std::string logPath = work.Add("channel.log", log);
  log.clear();
  log.shrink_to_fit();

  RunResult run = RunBinary({"-p", work.format, "-o", work.page, logPath});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::string page = ReadFile(work.page);
  ASSERT_TRUE(IsCompletePage(page));
  uint64_t size = std::filesystem::file_size(logPath);
  EXPECT_NE(page.find(ProcessedText(size)), std::string::npos) << Contains(ProcessedText(size));
  EXPECT_NE(page.find(SummaryLine(1, 2)), std::string::npos);
  EXPECT_NE(page.find(">giant<"), std::string::npos);
  // The giant line is over the quote limit, so the small line is the only quote.
  EXPECT_NE(page.find("after the giant"), std::string::npos);
  EXPECT_EQ(page.find("xxxxxxxxxxxxxxxx"), std::string::npos);
}

TEST(HostileInput, BinaryJunkIsCountedAndWrittenWithoutHarm) {
  Workspace work;
  std::mt19937 random(20240304);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(0, 300);
  auto junk = [&](bool withNewlines) {
    std::string text;
    for (int n = length(random); n > 0; --n) {
      char c = static_cast<char>(byte(random));
      if (withNewlines || c != '\n') text += c;
    }
    return text;
  };
  std::string log = "--- Day changed Mon Mar 04 2024\n";
  for (int i = 0; i < 3000; ++i) {
    log += junk(true) + "\n";                     // lines no type matches
    log += "12:00 <junk> " + junk(false) + "\n";  // junk as chat text, onto the page
  }
  log += "13:01 <escaper> kept words\x1b[31 never closed\n";
  log += std::string("13:02 <zeroed> before the zero") + '\0' + "after the zero\n";
  log += "13:03 <highbytes> \xff\xfe\x80 high bytes\n";
  log += "13:04 <lastone> colour at the end\x03";  // no newline after the code
  std::string logPath = work.Add("channel.log", log);

  RunResult run = RunBinary({"-p", work.format, "-o", work.page, logPath});
  EXPECT_EQ(run.status, 0) << run.err;
  std::string page = ReadFile(work.page);
  ASSERT_TRUE(IsCompletePage(page));
  EXPECT_NE(page.find(ProcessedText(CountedBytes(log))), std::string::npos)
      << Contains(ProcessedText(CountedBytes(log)));
  EXPECT_NE(page.find(SummaryLine(1, 5)), std::string::npos);
  // An ESC without "m" drops the rest of its line; a zero byte ends the text.
  EXPECT_NE(page.find("kept words"), std::string::npos);
  EXPECT_EQ(page.find("never closed"), std::string::npos);
  EXPECT_NE(page.find("before the zero"), std::string::npos);
  EXPECT_EQ(page.find("after the zero"), std::string::npos);
  EXPECT_NE(page.find("\xff\xfe\x80 high bytes"), std::string::npos);
  // A colour code with nothing after it opens white, and is closed again.
  EXPECT_NE(page.find("colour at the end<font color=\"#ffffff\"></font>"), std::string::npos);
}

TEST(HostileInput, TwoHundredThousandNicksAreAllCounted) {
  Workspace work;
  const int kNicks = 200000;
  std::string log = "--- Day changed Mon Mar 04 2024\n";
  log.reserve(size_t{kNicks} * 32);
  for (int i = 0; i < kNicks; ++i) {
    log += "10:00 <n" + std::to_string(i * 7919 % kNicks) + "x> hello\n";
  }
  for (int i = 0; i < 50; ++i) log += "11:00 <N12345x> the busiest one\n";  // the same nick
  std::string logPath = work.Add("channel.log", log);

  RunResult run = RunBinary({"-p", work.format, "-o", work.page, logPath});
  EXPECT_EQ(run.status, 0) << run.err;
  std::string page = ReadFile(work.page);
  ASSERT_TRUE(IsCompletePage(page));
  EXPECT_NE(page.find(SummaryLine(1, kNicks)), std::string::npos)
      << Contains(SummaryLine(1, kNicks));
  // The nick keeps the spelling of its first line and leads the table.
  size_t busiest = page.find(">n12345x<");
  ASSERT_NE(busiest, std::string::npos);
  EXPECT_NE(page.find("<b>51</b>", busiest), std::string::npos);
  EXPECT_EQ(page.find(">N12345x<"), std::string::npos);
}

TEST(HostileInput, TwentyYearsOfDaysAreChartedInOrder) {
  Workspace work;
  const int64_t kFirst = 10957;  // Sat Jan 01 2000
  const int64_t kLast = 18261;   // Tue Dec 31 2019
  std::vector<std::string> dates;
  std::string log;
  for (int64_t day = kFirst; day <= kLast; ++day) {
    dates.push_back(DateText(day));
    log += "--- Day changed " + dates.back() + "\n";
    log += "03:00 <early> night shift\n15:00 <late> day shift\n";
  }
  ASSERT_EQ(dates.front(), "Sat Jan 01 2000");
  ASSERT_EQ(dates.back(), "Tue Dec 31 2019");
  // A file that starts again from the middle, as a second log would: the
  // days it names already exist.
  std::string logPath = work.Add("channel.log", log);
  std::string again =
      work.Add("again.log", "--- Day changed Mon Jun 15 2009\n12:00 <late> again\n");

  RunResult run = RunBinary({"-p", work.format, "-o", work.page, logPath, again});
  EXPECT_EQ(run.status, 0) << run.err;
  std::string page = ReadFile(work.page);
  ASSERT_TRUE(IsCompletePage(page));
  long days = static_cast<long>(kLast - kFirst + 1);
  EXPECT_NE(page.find(SummaryLine(days, 2)), std::string::npos) << Contains(SummaryLine(days, 2));
  EXPECT_NE(page.find("Statistics generated from Sat Jan 01 2000 to Tue Dec 31 2019"),
            std::string::npos);

  // The day cells of the daily chart, in page order.
  std::vector<std::string> charted;
  const std::regex dayCell(R"(<td colspan=4 [^>]*><font size=1 face="[^"]*">([^<]*)</font></td>)");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), dayCell);
       it != std::sregex_iterator(); ++it) {
    std::string name = (*it)[1];
    if (name != "Unknown") charted.push_back(name);
  }
  EXPECT_EQ(charted.size(), dates.size());
  EXPECT_TRUE(charted == dates) << "the days are not charted in date order";
}

TEST(HostileInput, ExpressionsSlowForBacktrackingStillEnd) {
  Workspace work;
  // Nested and overlapping repetitions that take exponential time in a
  // backtracking matcher; the text pattern also matches long lines.
  std::string format =
      "text=^((([a-z])+)+)+: (((a|aa)+b?)*)$,nick,null,null,string\n"
      "act=^(x+x+)+y$,null\n"
      "join=^(a|a?)+$,null\n"
      "part=^((a*)*b)*c$,null\n"
      "quit=^(([a-z]*)*)*[0-9]$,null\n"
      "kick=^(.*a){11}$,null\n"
      "topic=^(a+)+(b+)+(c+)+$,null\n"
      "nick=^((ab)*|(ba)*)*x$,null\n"
      "mode=^([a-z]+[a-z]+)+=$,null\n"
      "date_stamp=^(.*)(.*)(.*)@@$,null,null,null,date\n"
      "channel=^(a|b|ab|ba)*!$,null\n";
  std::string formatPath = work.Add("slow.txt", format);
  std::string log;
  for (int i = 0; i < 20; ++i) {
    log += "alice: " + std::string(2000, 'a') + "b\n";  // a text line
    log += std::string(2000, 'x') + "\n";               // matches nothing
    log += "bob: " + std::string(2000, 'a') + "c\n";    // matches nothing
  }
  std::string logPath = work.Add("channel.log", log);

  RunResult run = RunBinary({"-p", formatPath, "-o", work.page, logPath});
  EXPECT_EQ(run.status, 0) << run.err;
  std::string page = ReadFile(work.page);
  ASSERT_TRUE(IsCompletePage(page));
  EXPECT_NE(page.find(SummaryLine(1, 1)), std::string::npos);
  EXPECT_NE(page.find(">alice<"), std::string::npos);
  EXPECT_NE(page.find("<b>20</b>"), std::string::npos);
}

TEST(HostileInput, SettingsOverEveryCapacityAreCut) {
  Workspace work;
  Settings defaults = DefaultSettings();
  // Each key gets its own letter, repeated well past its capacity; the
  // quote limits get digits. A line longer than the reader's 200-byte
  // buffer is read in pieces, and only the first holds the key.
  std::string settings;
  std::vector<std::pair<std::string, std::string>> expected;
  char letter = 'A';
  for (const SettingEntry& entry : defaults.entries) {
    std::string key = entry.key;
    if (key == "users") continue;  // names a file that must exist; see the users file's tests
    // Character sets and time zones are names the run looks up: one it does
    // not know ends the run (ProgramRun and LogReader tests), and none is
    // written on the page.
    if (key.starts_with("log_") || key == "page_timezone") continue;
    char fill = letter++;
    if (key == "max_quote_len") fill = '1';
    if (key == "min_quote_len") fill = '0';
    std::string value(static_cast<size_t>(entry.capacity) + 40, fill);
    settings += key + "=" + value + "\n";
    size_t kept = std::min<size_t>(static_cast<size_t>(entry.capacity), 198 - key.size());
    expected.emplace_back(key, std::string(kept, fill));
  }
  std::string settingsPath = work.Add("over.conf", settings);
  std::string logPath = work.Add("channel.log", "10:00 <alice> hello there\n");

  RunResult run = RunBinary({"-p", work.format, "-r", settingsPath, "-o", work.page, logPath});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::string page = ReadFile(work.page);
  ASSERT_TRUE(IsCompletePage(page));
  for (const auto& [key, value] : expected) {
    if (key.ends_with("_quote_len") || key.starts_with("botname") || key == "statwords" ||
        key.starts_with("ignore_") || key == "page_layout") {
      continue;  // not written on the page (a cut page_layout names no layout: classic)
    }
    EXPECT_NE(page.find(value), std::string::npos) << key << " is missing from the page";
    EXPECT_EQ(page.find(value + value[0]), std::string::npos) << key << " is not cut";
  }
  // The quote limits read 000000 and 111111: the line is a quote.
  EXPECT_NE(page.find("hello there"), std::string::npos);
}

TEST(HostileInput, AnOutputThatCannotBeWrittenEndsWith255) {
  Workspace work;
  std::string logPath = work.Add("channel.log", "10:00 <alice> hello there\n");

  RunResult missing =
      RunBinary({"-p", work.format, "-o", work.dir / "no/such/folder/index.html", logPath});
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.err, "Error opening output html file");
  EXPECT_FALSE(FileExists(work.dir / "no"));

  RunResult full = RunBinary({"-p", work.format, "-o", "/dev/full", logPath});
  EXPECT_EQ(full.status, 255);
  EXPECT_EQ(full.err, "/dev/full: No space left on device\n");
}

// A run of the program as a user who cannot write everywhere: root writes
// anywhere, so as root it runs as the user nobody, which needs the program
// and the folders it uses to be reachable by that user. `skipped` says why
// it could not run.
struct ConfinedRun {
  int status = -1;
  std::string err;
  std::string skipped;
};

ConfinedRun RunConfined(std::vector<std::string> words, const char* tmpdir = nullptr,
                        rlim_t fileSizeLimit = RLIM_INFINITY) {
  ConfinedRun result;
  std::string errPath = (std::filesystem::temp_directory_path() / "tallywick-ro-XXXXXX").string();
  int errFd = mkstemp(errPath.data());
  const struct passwd* nobody = getpwnam("nobody");
  bool asRoot = geteuid() == 0;
  if (errFd < 0 || (asRoot && nobody == nullptr)) {
    result.skipped = "running as root and there is no user nobody to run the program as";
    if (errFd >= 0) close(errFd);
    unlink(errPath.c_str());
    return result;
  }
  words.insert(words.begin(), TALLYWICK_BINARY);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(errFd, STDERR_FILENO);
    if (asRoot && (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
                   setuid(nobody->pw_uid) != 0)) {
      _exit(125);
    }
    if (tmpdir != nullptr) setenv("TMPDIR", tmpdir, 1);
    struct rlimit limit = {fileSizeLimit, fileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    execv(argv[0], argv.data());
    _exit(126);
  }
  int raw = 0;
  waitpid(pid, &raw, 0);
  close(errFd);
  result.err = ReadFile(errPath);
  unlink(errPath.c_str());
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  if (result.status == 125) result.skipped = "could not drop privileges to the user nobody";
  if (result.status == 126) {
    result.skipped = std::string("the user nobody cannot run ") + TALLYWICK_BINARY +
                     " (a folder on its path is closed to other users)";
  }
  return result;
}

TEST(HostileInput, AReadOnlyFolderKeepsItsOldPage) {
  Workspace work;
  std::string logPath = work.Add("channel.log", "10:00 <alice> hello there\n");
  std::filesystem::path folder = work.dir.path / "readonly";
  std::filesystem::create_directory(folder);
  std::string page = (folder / "index.html").string();
  WriteFile(page, "the old page\n");
  chmod(page.c_str(), 0444);
  chmod(folder.c_str(), 0555);
  chmod(work.dir.path.c_str(), 0755);

  ConfinedRun run = RunConfined({"-p", work.format, "-o", page, logPath});
  chmod(folder.c_str(), 0755);
  if (!run.skipped.empty()) GTEST_SKIP() << run.skipped;
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err, "Error opening output html file");
  EXPECT_EQ(ReadFile(page), "the old page\n");
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"index.html"});
}

// A page the user may write in a folder the user may not: the page is
// written whole elsewhere first, and only then copied over the old one.
TEST(HostileInput, AWritablePageInAReadOnlyFolderIsReplacedOnlyWhenComplete) {
  Workspace work;
  std::string logPath = work.Add("channel.log", "10:00 <alice> hello there\n");
  std::filesystem::path folder = work.dir.path / "readonly";
  std::string scratch = work.dir / "scratch";
  std::string closed = work.dir / "closed";
  for (const std::string& made : {folder.string(), scratch, closed}) {
    std::filesystem::create_directory(made);
  }
  std::string page = (folder / "index.html").string();
  WriteFile(page, "the old page\n");
  chmod(page.c_str(), 0666);
  chmod(folder.c_str(), 0555);
  chmod(closed.c_str(), 0555);
  chmod(scratch.c_str(), 0777);
  chmod(work.dir.path.c_str(), 0755);
  std::vector<std::string> args = {"-p", work.format, "-o", page, logPath};

  // No temporary file can be made anywhere: refused, and said why.
  ConfinedRun nowhere = RunConfined(args, closed.c_str());
  if (!nowhere.skipped.empty()) GTEST_SKIP() << nowhere.skipped;
  EXPECT_EQ(nowhere.status, 255);
  EXPECT_EQ(nowhere.err, "tallywick: no temporary file for the page can be made beside " + page +
                             " nor in " + closed +
                             ": Permission denied\nError opening output html file");
  EXPECT_EQ(ReadFile(page), "the old page\n");

  // A write that fails leaves the old page whole.
  ConfinedRun tooLarge = RunConfined(args, scratch.c_str(), 2000);
  EXPECT_EQ(tooLarge.status, 255);
  EXPECT_EQ(tooLarge.err, page + ": File too large\n");
  EXPECT_EQ(ReadFile(page), "the old page\n");
  EXPECT_TRUE(FolderEntries(scratch).empty());

  ConfinedRun written = RunConfined(args, scratch.c_str());
  chmod(folder.c_str(), 0755);
  EXPECT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(written.err, "");
  EXPECT_TRUE(IsCompletePage(ReadFile(page)));
  struct stat st;
  ASSERT_EQ(stat(page.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"index.html"});
  EXPECT_TRUE(FolderEntries(scratch).empty());
}

// A link another user planted in a shared folder (as in /tmp) is not
// followed: a run as root could otherwise be made to overwrite any file.
TEST(HostileInput, ALinkPlantedInASharedFolderIsNotFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
  Workspace work;
  std::string logPath = work.Add("channel.log", "10:00 <alice> hello there\n");
  std::string victim = work.Add("victim.txt", "precious\n");
  std::filesystem::path shared = work.dir.path / "shared";
  std::filesystem::create_directory(shared);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  std::string planted = (shared / "stats.html").string();
  ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);
  ASSERT_EQ(lchown(planted.c_str(), 4242, 4242), 0);

  RunResult run = RunBinary({"-p", work.format, "-o", planted, logPath});
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err, "tallywick: refusing to write the page " + planted + ": the symbolic link " +
                         planted +
                         " is in a sticky, world-writable folder and belongs to neither you nor "
                         "the folder's owner\n");
  EXPECT_EQ(ReadFile(victim), "precious\n");
  EXPECT_EQ(FolderEntries(shared), std::vector<std::string>{"stats.html"});
  EXPECT_EQ(FolderEntries(work.dir.path),
            (std::vector<std::string>{"channel.log", "format.txt", "shared", "victim.txt"}));
}

TEST(HostileInput, ExpressionsThatCompileIntoMillionsOfCopiesAreRefused) {
  Workspace work;
  std::string logPath = work.Add("channel.log", "10:00 <alice> hello there\n");
  std::string stacked = "^a" + std::string(24, '+') + " x$";
  std::string format = kFormat;
  format.replace(format.find("act="), format.find('\n', format.find("act=")) - format.find("act="),
                 "act=" + stacked + ",nick");
  std::string formatPath = work.Add("stacked.txt", format);
  RunResult refused = RunBinary({"-p", formatPath, "-o", work.page, logPath});
  EXPECT_EQ(refused.status, 255);
  EXPECT_EQ(refused.err, "Error in \"" + stacked +
                             "\" - Regular expression too big\n"
                             "No definition of act found in format spec\n");
  EXPECT_FALSE(FileExists(work.page));

  std::string nested = "\\(\\(a\\{100\\}\\)\\{100\\}\\)\\{100\\}";
  std::string settingsPath = work.Add("nested.conf", "ignore_quits=" + nested + "\n");
  RunResult ignored = RunBinary({"-p", work.format, "-r", settingsPath, "-o", work.page, logPath});
  EXPECT_EQ(ignored.status, 255);
  EXPECT_EQ(ignored.err,
            "Error " + std::to_string(REG_ESIZE) + " compiling signoffs regexp " + nested + "\n");
  EXPECT_FALSE(FileExists(work.page));
}

// ---- Memory: zero bytes, runaway lines, exhaustion ----

namespace {

// Runs the program under a limit on its address space, with `feed` (a
// shell command) piped into its standard input when given.
RunResult RunLimited(const Workspace& work, size_t limitMiB, const std::string& feed,
                     const std::vector<std::string>& args, const std::string& threads) {
  std::string script = "ulimit -v " + std::to_string(limitMiB * 1024) + " || exit 124; ";
  script += feed.empty() ? "exec \"$@\" </dev/null" : feed + " | \"$@\"";
  std::vector<std::string> words = {"-c", script, "sh", TALLYWICK_BINARY};
  words.insert(words.end(), args.begin(), args.end());
  RunOptions options;
  options.workDir = work.dir.path.string();
  options.env["TALLYWICK_THREADS"] = threads;
  return RunProgram("/bin/sh", words, options);
}

}  // namespace

// A line's text ends at its first zero byte; the bytes after it are read
// and dropped, so 512 MiB of zero bytes, as a log or as the exclusion
// file, is read in the memory of a small log.
TEST(HostileInput, ZeroBytesAreReadInFlatMemory) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
  Workspace work;
  std::string logPath = work.Add("channel.log", "10:00 <alice> hello there\n10:01 <bob> hi\n");
  std::string zeros = "head -c 536870912 /dev/zero";
  for (const char* threads : {"1", "2"}) {
    RunResult log = RunLimited(work, 256, zeros, {"-p", work.format, "-o", work.page, "-"}, threads);
    ASSERT_NE(log.status, 124) << "the shell cannot limit memory";
    EXPECT_EQ(log.status, 0) << threads << " threads: " << log.err;
    // The zeros are one line that no type matches: the only message is the
    // warning that the format does not fit the log.
    EXPECT_EQ(log.err, "Warning: 1 of 1 lines of - matched no line type\n");
    std::string page = ReadFile(work.page);
    EXPECT_TRUE(IsCompletePage(page));
    EXPECT_NE(page.find(ProcessedText(0)), std::string::npos) << Contains(ProcessedText(0));

    RunResult excluded = RunLimited(work, 256, zeros,
                                    {"-p", work.format, "-b", "/dev/stdin", "-o", work.page, logPath},
                                    threads);
    EXPECT_EQ(excluded.status, 0) << threads << " threads: " << excluded.err;
    page = ReadFile(work.page);
    EXPECT_TRUE(IsCompletePage(page));
    EXPECT_NE(page.find(">alice<"), std::string::npos);
  }
}

// Memory that runs out (here: a line of 64 MiB, which reading alone takes
// twice over in a limit of 128 MiB) ends the run with one message and status 255; the
// old page stays and no partial page is left beside it.
TEST(HostileInput, RunningOutOfMemoryEndsTheRunWithAMessage) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
  Workspace work;
  std::string log = "10:00 <giant> ";
  log.append(size_t{64} << 20, 'x');
  log += "\n";
  std::string logPath = work.Add("channel.log", log);
  log.clear();
  log.shrink_to_fit();
  for (const char* threads : {"1", "2"}) {
    WriteFile(work.page, "the old page\n");
    RunResult run = RunLimited(work, 128, "", {"-p", work.format, "-o", work.page, logPath}, threads);
    ASSERT_NE(run.status, 124) << "the shell cannot limit memory";
    EXPECT_EQ(run.status, 255) << threads << " threads";
    EXPECT_EQ(run.err, "tallywick: out of memory\n") << threads << " threads";
    EXPECT_EQ(ReadFile(work.page), "the old page\n");
    EXPECT_EQ(FolderEntries(work.dir.path),
              (std::vector<std::string>{"channel.log", "format.txt", "index.html"}));
  }
}

// A read that fails is reported with the reason the system gave for it,
// also when it failed on a classifying thread.
TEST(HostileInput, ReadErrorsKeepTheirReason) {
  Workspace work;
  std::string folder = work.dir / "folder.log";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  for (const char* threads : {"1", "2"}) {
    RunOptions options;
    options.workDir = work.dir.path.string();
    options.env["TALLYWICK_THREADS"] = threads;
    RunResult read = RunProgram(TALLYWICK_BINARY, {"-p", work.format, "-o", work.page, folder},
                                options);
    EXPECT_EQ(read.status, 255);
    EXPECT_EQ(read.err, "fgets: Is a directory\n") << threads << " threads";
    EXPECT_FALSE(FileExists(work.page));
  }
}

// A run started with standard input, output or error closed (as some cron
// and daemon setups start programs) finds them open on /dev/null: the page
// file never takes their place, so no message lands in the page, and a
// closed standard input reads as an empty log.
TEST(HostileInput, ClosedStandardDescriptorsAreOpenedOnTheNullDevice) {
  Workspace work;
  std::string log = work.Add("channel.log", "--- Day changed Mon Mar 04 2002\n10:00 <alice> hi\n");
  RunOptions options;
  options.workDir = work.dir.path.string();
  RunResult open = RunProgram(TALLYWICK_BINARY, {"-v", "-p", work.format, "-o", work.page, log},
                              options);
  ASSERT_EQ(open.status, 0) << open.err;
  EXPECT_NE(open.err.find("Done (Parsed 1 files)"), std::string::npos) << open.err;
  std::string expected = ReadFile(work.page);
  ASSERT_TRUE(IsCompletePage(expected));
  for (const char* closing : {"2>&-", "<&- >&- 2>&-", ">&-", "<&-"}) {
    std::remove(work.page.c_str());
    std::string script = std::string("exec \"$@\" ") + closing;
    RunResult closed = RunProgram(
        "/bin/sh", {"-c", script, "sh", TALLYWICK_BINARY, "-v", "-p", work.format, "-o", work.page, log},
        options);
    EXPECT_EQ(closed.status, 0) << closing;
    std::string page = ReadFile(work.page);
    EXPECT_EQ(page.find("Done (Parsed"), std::string::npos) << closing;
    EXPECT_EQ(page, expected) << closing;
  }
  std::remove(work.page.c_str());
  RunResult empty = RunProgram(
      "/bin/sh", {"-c", "exec \"$@\" <&-", "sh", TALLYWICK_BINARY, "-p", work.format, "-o", work.page, "-"},
      options);
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_TRUE(IsCompletePage(ReadFile(work.page)));
}
