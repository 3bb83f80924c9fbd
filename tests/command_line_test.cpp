#include <fcntl.h>
#include <gtest/gtest.h>
#include <regex.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/page_output.h"
#include "driver/run.h"
#include "report/page.h"
#include "run_binary.h"
#include "stats/tables.h"

using test_support::FileExists;
using test_support::FolderEntries;
using test_support::ReadFile;
using test_support::RunOptions;
using test_support::RunProgram;
using test_support::RunResult;
using test_support::StderrCapture;
using test_support::TempDir;
using test_support::TextStream;
using test_support::WriteFile;

namespace {

using test_support::kFormat;

const char* const kLog =
    "--- Log opened\n"
    "--- Day changed Mon Mar 04 2002\n"
    "10:00 -!- quillon joined\n"
    "10:01 <quillon> good morning, anyone around?\n"
    "10:02 <marrowby> yes, just me\n"
    "11:15 * quillon waves\n"
    "12:30 <marrowby> lunch time\n"
    "--- Log closed\n";

// What -v says at the end of a run over `copies` copies of kLog: the lines
// each type read, and the lines no type read.
std::string LinesOfEachType(int copies) {
  auto line = [copies](const char* type, int perCopy) {
    return std::string("  ") + type + " " + std::to_string(perCopy * copies) + "\n";
  };
  return "Lines of each type:\n" + line("text", 3) + line("act", 1) + line("join", 1) +
         line("part", 0) + line("quit", 0) + line("kick", 0) + line("topic", 0) +
         line("nick", 0) + line("mode", 0) + line("date_stamp", 1) + line("channel", 2) +
         line("unmatched", 0);
}

// A folder holding the format, a log and whatever a test adds.
struct Workspace {
  TempDir dir;
  std::string format = dir / "format.txt";
  std::string log = dir / "channel.log";

  Workspace() {
    WriteFile(format, kFormat);
    WriteFile(log, kLog);
  }
  std::string operator/(const std::string& name) const { return dir / name; }
  std::string Add(const std::string& name, const std::string& content) const {
    WriteFile(dir / name, content);
    return dir / name;
  }
};

struct CommandLineReading {
  CommandLineOutcome outcome;
  std::string err;
};

CommandLineReading ReadArgs(const std::vector<std::string>& args, RunState& state) {
  StderrCapture capture;
  CommandLineOutcome outcome = ReadCommandLine(args, state);
  return {outcome, capture.Text()};
}

RunResult RunIn(const Workspace& work, const std::vector<std::string>& args,
                RunOptions options = RunOptions()) {
  options.workDir = work.dir.path.string();
  return RunProgram(TALLYWICK_BINARY, args, options);
}

// Runs a /bin/sh command line in the workspace with the environment every
// run has, for redirections the tests cannot make otherwise; "$B" is the
// program. Returns the exit status, -1 when it did not exit.
int ShellIn(const Workspace& work, const std::string& command) {
  std::string line = "cd '" + work.dir.path.string() + "' && B='" + TALLYWICK_BINARY +
                     "' && export SOURCE_DATE_EPOCH=1000000000 TZ=UTC && " + command;
  int raw = std::system(line.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The files of a folder with what each holds.
std::map<std::string, std::string> FolderContents(const std::filesystem::path& folder) {
  std::map<std::string, std::string> contents;
  for (const std::string& name : FolderEntries(folder)) {
    contents[name] = ReadFile((folder / name).string());
  }
  return contents;
}

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// The regcomp error code of a basic-syntax pattern.
int BasicCompileError(const std::string& pattern) {
  regex_t re;
  int error = regcomp(&re, pattern.c_str(), 0);
  if (error == 0) regfree(&re);
  return error;
}

// ---- Reading the command line ----

TEST(CommandLine, TheFirstWordMustBeAnOption) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"channel.log"}, {"-"}, {"channel.log", "-v"}, {"-", "-v"}}) {
    RunState state;
    CommandLineReading reading = ReadArgs(args, state);
    EXPECT_EQ(reading.outcome, CommandLineOutcome::kNotAnOption);
    EXPECT_EQ(reading.err, "");
    EXPECT_EQ(state.verbosity, 0);
    EXPECT_TRUE(state.logFiles.empty());
  }
}

TEST(CommandLine, OptionsEndAtTheFirstOperandOrAtABareDash) {
  Workspace work;
  RunState state;
  CommandLineReading reading = ReadArgs({"-p", work.format, "a.log", "-v", "-", "b.log"}, state);
  EXPECT_EQ(reading.outcome, CommandLineOutcome::kRead);
  EXPECT_EQ(reading.err, "");
  EXPECT_TRUE(state.formatLoaded);
  EXPECT_EQ(state.verbosity, 0);
  EXPECT_EQ(state.logFiles, (std::vector<std::string>{"a.log", "-v", "-", "b.log"}));

  RunState dash;
  ReadArgs({"-v", "-p", work.format, "-", "-v"}, dash);
  EXPECT_EQ(dash.verbosity, 1);
  EXPECT_EQ(dash.logFiles, (std::vector<std::string>{"-", "-v"}));
}

TEST(CommandLine, OnlyTheLetterAfterTheDashSelectsTheOption) {
  Workspace work;
  RunState state;
  CommandLineReading reading =
      ReadArgs({"-verbose", "-vv", "-pattern", work.format, "-output", "page.html", "x"}, state);
  EXPECT_EQ(reading.outcome, CommandLineOutcome::kRead);
  EXPECT_EQ(state.verbosity, 2);
  EXPECT_TRUE(state.formatLoaded);
  EXPECT_EQ(state.outputPath, "page.html");
  EXPECT_EQ(state.logFiles, std::vector<std::string>{"x"});
}

TEST(CommandLine, ASecondFormatOptionConsumesOnlyItself) {
  Workspace work;
  std::string other = work.Add("other.txt", "not a format at all\n");
  RunState state;
  CommandLineReading reading = ReadArgs({"-p", work.format, "-p", other, "x.log"}, state);
  EXPECT_EQ(reading.outcome, CommandLineOutcome::kRead);
  EXPECT_EQ(reading.err, "");  // the second file is never read as a format
  EXPECT_EQ(state.logFiles, (std::vector<std::string>{other, "x.log"}));
}

TEST(CommandLine, AFormatFileThatCannotBeOpenedLeavesRoomForALaterOne) {
  Workspace work;
  RunState state;
  CommandLineReading reading = ReadArgs({"-p", work / "missing.txt", "-p", work.format}, state);
  EXPECT_EQ(reading.outcome, CommandLineOutcome::kRead);
  EXPECT_EQ(reading.err, "fopen: No such file or directory\n");
  EXPECT_TRUE(state.formatLoaded);

  RunState none;
  reading = ReadArgs({"-p", work / "missing.txt"}, none);
  EXPECT_EQ(reading.outcome, CommandLineOutcome::kRead);
  EXPECT_FALSE(none.formatLoaded);

  RunState last;
  reading = ReadArgs({"-v", "-p"}, last);  // -p as the last word consumes only itself
  EXPECT_EQ(reading.outcome, CommandLineOutcome::kRead);
  EXPECT_EQ(reading.err, "");
  EXPECT_FALSE(last.formatLoaded);
  EXPECT_EQ(last.verbosity, 1);
}

TEST(CommandLine, AnIncompleteFormatEndsTheReading) {
  Workspace work;
  std::string incomplete = work.Add("incomplete.txt", "text=^(.*)$,string\n");
  RunState state;
  CommandLineReading reading = ReadArgs({"-p", incomplete, "-v", "x.log"}, state);
  EXPECT_EQ(reading.outcome, CommandLineOutcome::kFormatRejected);
  EXPECT_EQ(reading.err, "No definition of act found in format spec\n");
  EXPECT_EQ(state.verbosity, 0);  // nothing after the -p was read
}

TEST(CommandLine, ArgumentsAreTakenWhateverTheyLookLike) {
  Workspace work;
  RunState state;
  CommandLineReading reading = ReadArgs({"-p", work.format, "-o", "-v", "-b", "-", "-i", "-v", "-l",
                                         "-p", "-n", "x", "-s", "y", "-t", "z", "-o", "-", "log"},
                                        state);
  EXPECT_EQ(reading.outcome, CommandLineOutcome::kRead);
  EXPECT_EQ(reading.err, "");
  EXPECT_EQ(state.verbosity, 0);
  EXPECT_EQ(state.outputPath, "-");
  EXPECT_TRUE(state.haveExclusionPath);
  EXPECT_EQ(state.exclusionPath, "-");
  EXPECT_EQ(state.logFiles, std::vector<std::string>{"log"});
}

TEST(CommandLine, AMissingArgumentEndsOptionReadingWithoutOperands) {
  Workspace work;
  for (const char* option : {"-r", "-o", "-b", "-i", "-l", "-n", "-s", "-t"}) {
    RunState state;
    CommandLineReading reading = ReadArgs({"-p", work.format, "-v", option}, state);
    EXPECT_EQ(reading.outcome, CommandLineOutcome::kRead) << option;
    EXPECT_EQ(reading.err, "") << option;
    EXPECT_EQ(state.verbosity, 1) << option;
    EXPECT_EQ(state.outputPath, "-") << option;
    EXPECT_FALSE(state.haveExclusionPath) << option;
    EXPECT_TRUE(state.logFiles.empty()) << option;
  }
}

TEST(CommandLine, UnknownOptionsAreNamedWithoutANewline) {
  Workspace work;
  RunState state;
  CommandLineReading reading = ReadArgs({"-x", "-p", work.format, "--", "-?z", "log"}, state);
  EXPECT_EQ(reading.outcome, CommandLineOutcome::kRead);
  EXPECT_EQ(reading.err, "Unknown option -xUnknown option --Unknown option -?z");
  EXPECT_TRUE(state.formatLoaded);
  EXPECT_EQ(state.logFiles, std::vector<std::string>{"log"});
}

TEST(CommandLine, SettingsFilesTakeEffectWhenTheirOptionIsRead) {
  Workspace work;
  std::string first = work.Add("first.conf", "channame=one\npage_bg=111111\n");
  std::string second = work.Add("second.conf", "CHANNAME=two\n");
  std::string third = work.Add("third.conf", "myname=three\n");
  RunState state;
  CommandLineReading reading =
      ReadArgs({"-v", "-r", first, "-v", "-r", second, "-r", work / "missing.conf", "-p",
                work.format, "-v", "-r", third},
               state);
  EXPECT_EQ(reading.outcome, CommandLineOutcome::kRead);
  // One -v: nothing for the first file; two: the second file's setting and
  // the format's compilations; the third file is read at verbosity 3.
  std::string err = reading.err;
  ASSERT_EQ(err.rfind("Setting channame to two\nfopen: No such file or directory\n", 0), 0u) << err;
  EXPECT_NE(err.find("Compiled regexp \"^--- Day changed (.*)$\" for date_stamp\n"),
            std::string::npos);
  EXPECT_EQ(err.find("one"), std::string::npos);
  EXPECT_TRUE(err.ends_with("Setting myname to three\n")) << err;
  EXPECT_EQ(SettingValue(state.settings, SettingKey::kChanName), "two");
  EXPECT_EQ(SettingValue(state.settings, SettingKey::kPageBg), "111111");
  EXPECT_EQ(SettingValue(state.settings, SettingKey::kMyName), "three");
  EXPECT_EQ(state.verbosity, 3);
}

// ---- The StatWord ----

// The index of the candidate the rule picks from `draws`: the last k (from
// 1) whose draw is divisible by k.
size_t PickedByDraws(const std::vector<int>& draws) {
  size_t picked = 0;
  for (size_t k = 1; k <= draws.size(); ++k) {
    if (draws[k - 1] % static_cast<int>(k) == 0) picked = k - 1;
  }
  return picked;
}

// Checks ChooseStatWord against the draws of many seeds; the chosen word
// must follow the rule and exactly one draw be used per candidate.
void ExpectStatWordRule(const std::string& list, const std::vector<std::string>& candidates) {
  std::vector<int> seen(candidates.size(), 0);
  for (unsigned seed = 1; seed <= 400; ++seed) {
    srand(seed);
    std::vector<int> draws;
    for (size_t i = 0; i <= candidates.size(); ++i) draws.push_back(rand());
    int following = draws.back();
    draws.pop_back();
    size_t picked = PickedByDraws(draws);
    srand(seed);
    EXPECT_EQ(ChooseStatWord(list), candidates[picked]) << list << " seed " << seed;
    EXPECT_EQ(rand(), following) << list << " seed " << seed << ": draws used";
    ++seen[picked];
  }
  for (size_t i = 0; i < candidates.size(); ++i) {
    EXPECT_GT(seen[i], 0) << "candidate " << i << " of " << list << " never chosen";
  }
}

TEST(StatWord, TheKthCandidateReplacesTheChoiceWhenItsDrawIsDivisibleByK) {
  ExpectStatWordRule("alpha", {"alpha"});
  ExpectStatWordRule("alpha,beta,gamma,delta", {"alpha", "beta", "gamma", "delta"});
  // The empty text after a final comma is no candidate.
  ExpectStatWordRule("alpha,beta,", {"alpha", "beta"});
  // Empty candidates between commas, and at the start, take part.
  ExpectStatWordRule("a,,b", {"a", "", "b"});
  ExpectStatWordRule(",beta", {"", "beta"});
  // Blanks are part of the candidates.
  ExpectStatWordRule(" a , b", {" a ", " b"});
}

TEST(StatWord, ALongCandidateIsKeptWhole) {
  std::string word = "antidisestablishmentarianism";  // 28 characters
  srand(7);
  EXPECT_EQ(ChooseStatWord(word), word);
}

// ---- The nick exclusion file ----

TEST(ExclusionFile, RemovesEveryNamedNickWhateverItsLength) {
  StatsStore store;
  NickTable& nicks = store.nicks;
  const std::string longNick = "averyveryverylongnick_of_34_chars";
  const std::string firstPiece = longNick.substr(0, 15);
  for (const std::string& name :
       {std::string("ab"), std::string("x"), longNick, firstPiece, std::string("CaseNick"),
        std::string("keep"), std::string("tail")}) {
    AddNick(nicks, name);
  }
  TextStream in(
      "x\n"   // too short: skipped
      "AB\n"  // compared without regard to case
      "\n" +
      longNick + "\n" +  // read whole, so its first 15 bytes name nothing
      "casenick\n"
      "keep\r\n"  // the carriage return is part of the name
      "nobody\n"
      "tail");  // the last line needs no newline
  ApplyExclusionFile(in.stream, store);
  std::vector<std::string> left;
  for (const NickRecord& nick : nicks.records) left.push_back(nick.name);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{firstPiece, "keep", "x"}));
  EXPECT_NE(FindNick(nicks, "KEEP"), nullptr);
  EXPECT_EQ(FindNick(nicks, "ab"), nullptr);
}

// ---- The page output ----

TEST(PageOutput, AStandardOutputPageIsWrittenToStdout) {
  PageOutput output;
  ASSERT_TRUE(OpenPageOutput("-", output));
  EXPECT_TRUE(output.isStdout);
  EXPECT_EQ(output.stream, stdout);
  EXPECT_TRUE(output.tempPath.empty());
}

TEST(PageOutput, ANewPageAppearsOnlyWhenCompleteWithTheUmaskMode) {
  for (mode_t mask : {mode_t(022), mode_t(027), mode_t(0)}) {
    TempDir dir;
    std::string path = dir / "page.html";
    mode_t saved = umask(mask);
    PageOutput output;
    bool opened = OpenPageOutput(path, output);
    umask(saved);
    ASSERT_TRUE(opened);
    fputs("<html>complete</html>\n", output.stream);
    EXPECT_FALSE(FileExists(path)) << "the page must not appear before it is complete";
    ASSERT_FALSE(output.tempPath.empty());
    ASSERT_TRUE(FinishPageOutput(output));
    EXPECT_EQ(ReadFile(path), "<html>complete</html>\n");
    EXPECT_EQ(ModeOf(path), 0666 & ~mask) << "umask " << mask;
    EXPECT_EQ(FolderEntries(dir.path), std::vector<std::string>{"page.html"});
  }
}

TEST(PageOutput, AnExistingPageKeepsItsMode) {
  TempDir dir;
  std::string path = dir / "page.html";
  WriteFile(path, "old page\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);

  PageOutput output;
  ASSERT_TRUE(OpenPageOutput(path, output));
  fputs("new page\n", output.stream);
  EXPECT_EQ(ReadFile(path), "old page\n");
  ASSERT_TRUE(FinishPageOutput(output));
  EXPECT_EQ(ReadFile(path), "new page\n");
  EXPECT_EQ(ModeOf(path), 0640u);
  EXPECT_EQ(FolderEntries(dir.path), std::vector<std::string>{"page.html"});
}

TEST(PageOutput, ASymbolicLinkIsFollowed) {
  TempDir dir;
  std::filesystem::create_directory(dir.path / "site");
  std::string real = dir / "site/real.html";
  WriteFile(real, "old\n");
  std::string link = dir / "page.html";
  ASSERT_EQ(symlink("site/real.html", link.c_str()), 0);

  PageOutput output;
  ASSERT_TRUE(OpenPageOutput(link, output));
  fputs("new\n", output.stream);
  ASSERT_TRUE(FinishPageOutput(output));
  EXPECT_EQ(ReadFile(real), "new\n");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(FolderEntries(dir.path / "site"), std::vector<std::string>{"real.html"});

  // A link to a file that does not exist yet creates that file, as opening
  // the link for writing does.
  std::string dangling = dir / "next.html";
  ASSERT_EQ(symlink("site/next-real.html", dangling.c_str()), 0);
  PageOutput created;
  ASSERT_TRUE(OpenPageOutput(dangling, created));
  fputs("fresh\n", created.stream);
  ASSERT_TRUE(FinishPageOutput(created));
  EXPECT_TRUE(std::filesystem::is_symlink(dangling));
  EXPECT_EQ(ReadFile(dir / "site/next-real.html"), "fresh\n");

  // A loop of links names no file: the page cannot be opened and both
  // links stay as they are.
  ASSERT_EQ(symlink("loop-b", (dir / "loop-a").c_str()), 0);
  ASSERT_EQ(symlink("loop-a", (dir / "loop-b").c_str()), 0);
  PageOutput looping;
  EXPECT_FALSE(OpenPageOutput(dir / "loop-a", looping));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "loop-a"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "loop-b"));
}

TEST(PageOutput, DevicesAreWrittenDirectlyAndWriteFailuresAreReported) {
  PageOutput null;
  ASSERT_TRUE(OpenPageOutput("/dev/null", null));
  EXPECT_TRUE(null.tempPath.empty());
  fputs("discarded", null.stream);
  EXPECT_TRUE(FinishPageOutput(null));

  PageOutput full;
  ASSERT_TRUE(OpenPageOutput("/dev/full", full));
  EXPECT_TRUE(full.tempPath.empty());
  fputs("no room for this", full.stream);
  StderrCapture capture;
  EXPECT_FALSE(FinishPageOutput(full));
  EXPECT_EQ(capture.Text(), "/dev/full: No space left on device\n");
}

TEST(PageOutput, AnOutputThatCannotBeOpenedIsRefused) {
  TempDir dir;
  PageOutput missingFolder;
  EXPECT_FALSE(OpenPageOutput(dir / "no/such/folder/page.html", missingFolder));
  PageOutput folder;
  EXPECT_FALSE(OpenPageOutput(dir.path.string(), folder));
  EXPECT_TRUE(FolderEntries(dir.path).empty());
}

TEST(PageOutput, ALinkInASharedFolderIsFollowedOnlyWhenItsOwnerMayBeTrusted) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
  const uid_t me = geteuid();
  const uid_t other = 4242;
  struct Case {
    mode_t folderMode;
    uid_t folderOwner;
    uid_t linkOwner;
    bool followed;
    const char* what;
  };
  const Case cases[] = {
      {01777, me, other, false, "another user's link in a shared folder"},
      {01777, other, other, true, "the folder owner's own link"},
      {01777, 4343, me, true, "the running user's own link"},
      {00777, me, other, true, "a folder without the sticky bit"},
      {01775, me, other, true, "a sticky folder that not everybody may write"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::string shared = dir / "shared";
    std::filesystem::create_directories(dir.path / "site/pages");
    ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(chmod(shared.c_str(), c.folderMode), 0);
    ASSERT_EQ(chown(shared.c_str(), c.folderOwner, static_cast<gid_t>(-1)), 0);
    std::string real = dir / "site/real.html";
    WriteFile(real, "old\n");
    std::string link = shared + "/page.html";
    std::string folderLink = shared + "/pages";
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    ASSERT_EQ(symlink((dir / "site/pages").c_str(), folderLink.c_str()), 0);
    ASSERT_EQ(lchown(link.c_str(), c.linkOwner, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(lchown(folderLink.c_str(), c.linkOwner, static_cast<gid_t>(-1)), 0);

    PagePath where;
    EXPECT_EQ(ResolvePagePath(link, where), c.followed) << c.what;
    EXPECT_EQ(c.followed ? where.target : where.refusedLink, c.followed ? real : link) << c.what;
    // A link to a folder on the way to the page is held to the same rule.
    PagePath through;
    EXPECT_EQ(ResolvePagePath(folderLink + "/index.html", through), c.followed) << c.what;
    EXPECT_EQ(c.followed ? through.target : through.refusedLink,
              c.followed ? dir / "site/pages/index.html" : folderLink)
        << c.what;
    if (c.followed) continue;

    StderrCapture capture;
    PageOutput output;
    EXPECT_FALSE(OpenPageOutput(link, output)) << c.what;
    EXPECT_EQ(capture.Text(), "tallywick: refusing to write the page " + link +
                                  ": the symbolic link " + link +
                                  " is in a sticky, world-writable folder and belongs to neither "
                                  "you nor the folder's owner\n");
    EXPECT_EQ(ReadFile(real), "old\n");
    EXPECT_EQ(FolderEntries(dir.path / "site"), (std::vector<std::string>{"pages", "real.html"}));
    EXPECT_EQ(FolderEntries(shared), (std::vector<std::string>{"page.html", "pages"}));
  }
}

TEST(PageOutput, PathsThroughTheRunsOwnDescriptorsNameThem) {
  TempDir dir;
  std::string path = dir / "run.log";
  WriteFile(path, "earlier\n");
  int appending = open(path.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(appending, 0);
  std::string own = "/proc/self/fd/" + std::to_string(appending);
  const std::pair<std::string, int> cases[] = {
      {"/dev/stdout", 1},     {"/dev/stderr", 2}, {"/dev/fd/1", 1}, {own, appending},
      {"/proc/self/fd/0", 0}, {"/dev/null", -1},  {path, -1},       {dir / "new.html", -1},
  };
  for (const auto& [name, descriptor] : cases) {
    PagePath where;
    EXPECT_TRUE(ResolvePagePath(name, where)) << name;
    EXPECT_EQ(where.descriptor, descriptor) << name;
  }

  // The page goes through the descriptor, after what its file held.
  PageOutput output;
  ASSERT_TRUE(OpenPageOutput(own, output));
  EXPECT_TRUE(output.tempPath.empty());
  fputs("the page\n", output.stream);
  ASSERT_TRUE(FinishPageOutput(output));
  EXPECT_NE(fcntl(appending, F_GETFD), -1) << "the run's own descriptor must stay open";
  close(appending);
  EXPECT_EQ(ReadFile(path), "earlier\nthe page\n");
  EXPECT_EQ(FolderEntries(dir.path), std::vector<std::string>{"run.log"});
}

TEST(PageOutput, ASignalDuringTheWriteRemovesTheTemporaryPage) {
  // Each signal, and the same signal ignored as the run started (nohup):
  // then it stays ignored and the page is completed.
  const std::pair<int, bool> cases[] = {
      {SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGHUP, true}, {SIGTERM, true}};
  for (const auto& [signal, ignored] : cases) {
    TempDir dir;
    std::string page = dir / "page.html";
    WriteFile(page, "old\n");
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
      if (ignored) ::signal(signal, SIG_IGN);
      PageOutput output;
      if (!OpenPageOutput(page, output)) _exit(3);
      fputs("half a page", output.stream);
      fflush(output.stream);
      raise(signal);
      fputs(" and the rest\n", output.stream);
      _exit(FinishPageOutput(output) ? 0 : 4);
    }
    int raw = 0;
    ASSERT_EQ(waitpid(pid, &raw, 0), pid);
    std::string what = std::string(strsignal(signal)) + (ignored ? ", ignored" : "");
    if (ignored) {
      EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << what << ": status " << raw;
      EXPECT_EQ(ReadFile(page), "half a page and the rest\n") << what;
    } else {
      EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal) << what << ": status " << raw;
      EXPECT_EQ(ReadFile(page), "old\n") << what;
    }
    EXPECT_EQ(FolderEntries(dir.path), std::vector<std::string>{"page.html"}) << what;
  }

  // Once the page is finished, the signals act as before.
  TempDir dir;
  struct sigaction before;
  sigaction(SIGTERM, nullptr, &before);
  PageOutput output;
  ASSERT_TRUE(OpenPageOutput(dir / "page.html", output));
  struct sigaction during;
  sigaction(SIGTERM, nullptr, &during);
  EXPECT_NE(during.sa_handler, before.sa_handler);
  EXPECT_TRUE(FinishPageOutput(output));
  struct sigaction after;
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// ---- Whole runs of the program ----

TEST(ProgramRun, ARunWithoutAFormatEndsWith255) {
  Workspace work;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"channel.log"}, {"-", "-p", "format.txt"}, {"-v", "-o", "out.html"}}) {
    RunResult run = RunIn(work, args);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "No log format file - unable to continue\n");
  }
  RunResult missing = RunIn(work, {"-p", "./missing.txt", "channel.log"});
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.err,
            "fopen: No such file or directory\nNo log format file - unable to continue\n");
  // A name without a folder is looked for among the installed formats and
  // the source tree's formats/ too, and the message says where.
  std::filesystem::path above = std::filesystem::path(TALLYWICK_BINARY).parent_path().parent_path();
  RunResult unknown = RunIn(work, {"-p", "missing", "channel.log"});
  EXPECT_EQ(unknown.status, 255);
  EXPECT_EQ(unknown.err, "fopen: No such file or directory\n"
                         "No format missing: looked for missing and missing.txt here and in " +
                             (above / "share/tallywick/formats").lexically_normal().string() +
                             " and " + (above / "formats").lexically_normal().string() +
                             "\nNo log format file - unable to continue\n");
  EXPECT_FALSE(FileExists(work / "out.html"));
}

// A bundled format is found by its name, with or without ".txt", from any
// folder; a file of that name in the working folder comes first.
TEST(ProgramRun, AFormatIsFoundByItsName) {
  Workspace work;
  work.Add("irssi.log", "--- Day changed Mon Mar 04 2002\n10:00 <quillon> hello\n");
  for (const char* name : {"irssi", "irssi.txt"}) {
    RunResult run = RunIn(work, {"-p", name, "-v", "-o", "out.html", "irssi.log"});
    EXPECT_EQ(run.status, 0) << name << run.err;
    EXPECT_NE(run.err.find("  text 1\n"), std::string::npos) << name << run.err;
    EXPECT_NE(run.err.find("  date_stamp 1\n"), std::string::npos) << name << run.err;
  }
  // A local file named "irssi" whose text lines need a mark irssi.log lacks.
  std::string local = kFormat;
  local.replace(local.find("text=^"), 6, "text=^NEVER");
  work.Add("irssi", local);
  RunResult own = RunIn(work, {"-p", "irssi", "-v", "-o", "out.html", "irssi.log"});
  EXPECT_EQ(own.status, 0) << own.err;
  EXPECT_NE(own.err.find("  text 0\n"), std::string::npos) << own.err;
}

// Help and version answer the first word only; anywhere else "-h" is an
// unknown option, and "--help" or "--version" are too.
TEST(ProgramRun, HelpAndVersionAnswerTheFirstWordOnly) {
  Workspace work;
  const std::string usage = RunIn(work, {"--help"}).out;
  EXPECT_EQ(usage.rfind("Usage: tallywick -p format-file [option ...] [log-file ...]\n", 0), 0u);
  const std::string version = std::string(kProgramName) + " " + kProgramVersion + "\n";
  const std::string noFormat = "No log format file - unable to continue\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  };
  for (const Case& c : std::vector<Case>{
           {{"-h"}, 0, usage, ""},
           {{"--help", "-p", "format.txt", "-o", "out.html", "channel.log"}, 0, usage, ""},
           {{"--version"}, 0, version, ""},
           {{"--version", "-h"}, 0, version, ""},
           {{"-v", "-h"}, 255, "", "Unknown option -h" + noFormat},
           {{"-help"}, 255, "", "Unknown option -help" + noFormat},
           {{"--versions"}, 255, "", "Unknown option --versions" + noFormat},
           {{"-", "--help"}, 255, "", noFormat},
       }) {
    RunResult run = RunIn(work, c.args);
    EXPECT_EQ(run.status, c.status) << c.args[0] << " " << c.args.size();
    EXPECT_EQ(run.out, c.out) << c.args[0] << " " << c.args.size();
    EXPECT_EQ(run.err, c.err) << c.args[0] << " " << c.args.size();
  }
  EXPECT_FALSE(FileExists(work / "out.html"));

  RunResult later = RunIn(work, {"-p", "format.txt", "-h", "-o", "out.html", "channel.log"});
  EXPECT_EQ(later.status, 0);
  EXPECT_EQ(later.err, "Unknown option -h");
  EXPECT_TRUE(FileExists(work / "out.html"));

  RunOptions toFullStdout;
  toFullStdout.stdoutPath = "/dev/full";
  RunResult full = RunIn(work, {"--version"}, toFullStdout);
  EXPECT_EQ(full.status, 255);
  EXPECT_EQ(full.err, "standard output: No space left on device\n");
}

TEST(ProgramRun, FormatFileFailuresEndWith255) {
  Workspace work;
  work.Add("incomplete.txt", "text=^(.*)$,string\nTEXT=x\n");
  RunResult incomplete = RunIn(work, {"-p", "incomplete.txt", "-o", "out.html", "channel.log"});
  EXPECT_EQ(incomplete.status, 255);
  EXPECT_EQ(incomplete.out, "");
  EXPECT_EQ(incomplete.err,
            "Repeat definition ignored for text\nNo definition of act found in format spec\n");

  std::filesystem::create_directory(work.dir.path / "folder");
  RunResult unreadable = RunIn(work, {"-p", "folder", "channel.log"});
  EXPECT_EQ(unreadable.status, 255);
  EXPECT_EQ(unreadable.err, "ReadLogFormatSpec: Is a directory\n");
  EXPECT_FALSE(FileExists(work / "out.html"));
}

TEST(ProgramRun, IgnorePatternsAreBasicExpressions) {
  Workspace work;
  // "(" is an ordinary character in basic syntax, "\(" opens a group.
  work.Add("fine.conf", "ignore_quits=(\nignore_kicks=a{1\n");
  RunResult fine =
      RunIn(work, {"-p", "format.txt", "-r", "fine.conf", "-o", "out.html", "channel.log"});
  EXPECT_EQ(fine.status, 0);
  EXPECT_EQ(fine.err, "");

  work.Add("quits.conf", "ignore_quits=\\(\nignore_kicks=[\n");
  RunResult quits =
      RunIn(work, {"-p", "format.txt", "-r", "quits.conf", "-o", "out.html", "channel.log"});
  EXPECT_EQ(quits.status, 255);
  EXPECT_EQ(quits.err, "Error " + std::to_string(BasicCompileError("\\(")) +
                           " compiling signoffs regexp \\(\n");

  work.Add("kicks.conf", "ignore_kicks=x\\{\n");
  RunResult kicks =
      RunIn(work, {"-p", "format.txt", "-r", "kicks.conf", "-o", "out2.html", "channel.log"});
  EXPECT_EQ(kicks.status, 255);
  EXPECT_EQ(kicks.err, "Error " + std::to_string(BasicCompileError("x\\{")) +
                           " compiling kicks regexp x\\{\n");
  EXPECT_FALSE(FileExists(work / "out2.html"));
}

TEST(ProgramRun, RunsWithNothingToOutput) {
  Workspace work;
  // No log operand at all: nothing to do, status 0, and no page file.
  RunResult none = RunIn(work, {"-p", "format.txt", "-o", "out.html"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "No logs parsed. Nothing to output");
  EXPECT_FALSE(FileExists(work / "out.html"));

  // Logs named and none readable: a failure. The skip message goes to
  // standard output when the page goes to a file...
  RunResult toFile = RunIn(work, {"-p", "format.txt", "-o", "out.html", "gone.log", "lost.log"});
  EXPECT_EQ(toFile.status, 255);
  EXPECT_EQ(toFile.out,
            "Error opening gone.log, skipping file\nError opening lost.log, skipping file\n");
  EXPECT_EQ(toFile.err, "No logs parsed. Nothing to output");
  EXPECT_FALSE(FileExists(work / "out.html"));

  // ...and to standard error when the page goes to standard output.
  RunResult toStdout = RunIn(work, {"-p", "format.txt", "gone.log"});
  EXPECT_EQ(toStdout.status, 255);
  EXPECT_EQ(toStdout.out, "");
  EXPECT_EQ(toStdout.err,
            "Error opening gone.log, skipping file\nNo logs parsed. Nothing to output");
}

TEST(ProgramRun, AnUnreadableLogIsSkippedAndTheOthersCount) {
  Workspace work;
  RunResult run =
      RunIn(work, {"-p", "format.txt", "-v", "-o", "out.html", "gone.log", "channel.log"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Error opening gone.log, skipping file\n");
  EXPECT_EQ(run.err, "Done (Parsed 1 files)\n" + LinesOfEachType(1));
  std::string page = ReadFile(work / "out.html");
  EXPECT_NE(page.find("quillon"), std::string::npos);
  EXPECT_TRUE(page.ends_with("</center></body></html>"))
      << page.substr(page.size() > 200 ? page.size() - 200 : 0);

  // A log read from standard input counts as a parsed file as well.
  RunOptions withInput;
  withInput.stdinText = kLog;
  RunResult fromStdin =
      RunIn(work, {"-v", "-p", "format.txt", "-o", "stdin.html", "-", "channel.log"}, withInput);
  EXPECT_EQ(fromStdin.status, 0);
  EXPECT_EQ(fromStdin.err, "Done (Parsed 2 files)\n" + LinesOfEachType(2));
  EXPECT_TRUE(FileExists(work / "stdin.html"));

  // Standard input named twice: the second time it is at its end.
  RunResult twice =
      RunIn(work, {"-v", "-p", "format.txt", "-o", "twice.html", "-", "-"}, withInput);
  EXPECT_EQ(twice.status, 0);
  // The second read is empty: the lines of one copy.
  EXPECT_EQ(twice.err, "Done (Parsed 2 files)\n" + LinesOfEachType(1));
  RunResult once = RunIn(work, {"-p", "format.txt", "-o", "once.html", "-"}, withInput);
  EXPECT_EQ(once.status, 0);
  EXPECT_EQ(
      test_support::FirstDifference(ReadFile(work / "once.html"), ReadFile(work / "twice.html")),
      "");
}

TEST(ProgramRun, LinesInMixedEncodingsAreShownInThePagesCharset) {
  struct Case {
    const char* settings;  // the character-set keys
    const char* message;   // the bytes of the logged message
    const char* shown;     // what the page holds for it
  };
  const char* const kMixed = "log_charset=utf-8\nlog_charset_fallback=cp1252\n";
  const std::string kMixedLatin1 = std::string(kMixed) + "charset=iso-8859-1\n";
  const Case cases[] = {
      // Valid UTF-8 is kept; anything else is read as CP1252.
      {kMixed, "caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
      {kMixed, "caf\xe9 \x80", "caf\xc3\xa9 \xe2\x82\xac"},
      {kMixed, "\xe6\x97\xa5\xe6\x9c\xac", "\xe6\x97\xa5\xe6\x9c\xac"},
      // A CP1252 byte that names no character: U+FFFD.
      {kMixed, "odd \x81 byte", "odd \xef\xbf\xbd byte"},
      // A Latin-1 page: what it holds as its bytes, the rest as references.
      {kMixedLatin1.c_str(), "caf\xc3\xa9 \xe2\x82\xac", "caf\xe9 &#8364;"},
      {kMixedLatin1.c_str(), "caf\xe9 \x80", "caf\xe9 &#8364;"},
      {kMixedLatin1.c_str(), "\xe6\x97\xa5\xe6\x9c\xac", "&#26085;&#26412;"},
      // Without a fallback, what is not UTF-8 becomes U+FFFD.
      {"log_charset=utf-8\ncharset=iso-8859-1\n", "caf\xe9!", "caf&#65533;!"},
      // Latin-1 logs on a UTF-8 page.
      {"log_charset=iso-8859-1\ncharset=UTF-8\n", "caf\xe9", "caf\xc3\xa9"},
      // Without the keys, bytes pass as they are.
      {"", "caf\xe9 \xe2\x82\xac", "caf\xe9 \xe2\x82\xac"},
      {"charset=iso-8859-1\n", "caf\xc3\xa9", "caf\xc3\xa9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(test_support::Visible(std::string(c.settings) + c.message));
    Workspace work;
    work.Add("charsets.conf", c.settings);
    work.Add("mixed.log", std::string("10:00 <amy> ") + c.message + "\n");
    RunResult run = RunIn(work, {"-p", "format.txt", "-r", "charsets.conf", "-o", "out.html",
                                 "mixed.log"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::string page = ReadFile(work / "out.html");
    // The random line of the page shows the one logged line whole.
    EXPECT_NE(page.find(std::string("amy&gt; ") + c.shown + "</i>"), std::string::npos)
        << test_support::Visible(page.substr(page.find("amy"), 600));
  }
  // Unknown sets end the run before any log is read.
  Workspace work;
  work.Add("bad.conf", "log_charset=no-such-set\n");
  RunResult bad = RunIn(work, {"-p", "format.txt", "-r", "bad.conf", "-o", "out.html", "channel.log"});
  EXPECT_EQ(bad.status, 255);
  EXPECT_EQ(bad.err, "Unknown character set \"no-such-set\" in log_charset\n");
  work.Add("bad.conf", "log_charset=utf-8\ncharset=no-such-set\n");
  bad = RunIn(work, {"-p", "format.txt", "-r", "bad.conf", "-o", "out.html", "channel.log"});
  EXPECT_EQ(bad.status, 255);
  EXPECT_EQ(bad.err, "Unknown character set \"no-such-set\" in charset\n");
}

TEST(ProgramRun, AnOutputThatCannotBeOpenedEndsWith255) {
  Workspace work;
  RunResult run = RunIn(work, {"-p", "format.txt", "-o", "no/such/folder/out.html", "channel.log"});
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Error opening output html file");
}

TEST(ProgramRun, WriteFailuresAreReportedAndKeepTheOldPage) {
  Workspace work;
  RunResult full = RunIn(work, {"-p", "format.txt", "-o", "/dev/full", "channel.log"});
  EXPECT_EQ(full.status, 255);
  EXPECT_EQ(full.err, "/dev/full: No space left on device\n");

  RunOptions toFullStdout;
  toFullStdout.stdoutPath = "/dev/full";
  RunResult stdoutFull = RunIn(work, {"-p", "format.txt", "channel.log"}, toFullStdout);
  EXPECT_EQ(stdoutFull.status, 255);
  EXPECT_EQ(stdoutFull.err, "standard output: No space left on device\n");

  RunOptions closedPipe;
  closedPipe.stdoutIntoClosedPipe = true;
  RunResult broken = RunIn(work, {"-p", "format.txt", "channel.log"}, closedPipe);
  EXPECT_EQ(broken.status, 255);
  EXPECT_EQ(broken.err, "standard output: Broken pipe\n");

  // A page that cannot be written whole leaves the old one as it was and
  // no temporary file behind.
  work.Add("out.html", "the old page\n");
  RunOptions small;
  small.fileSizeLimit = 2000;
  RunResult tooLarge = RunIn(work, {"-p", "format.txt", "-o", "out.html", "channel.log"}, small);
  EXPECT_EQ(tooLarge.status, 255);
  EXPECT_EQ(tooLarge.err, "out.html: File too large\n");
  EXPECT_EQ(ReadFile(work / "out.html"), "the old page\n");
  EXPECT_EQ(FolderEntries(work.dir.path),
            (std::vector<std::string>{"channel.log", "format.txt", "out.html"}));

  // The same when the limit's signal is left to its own action, as a shell
  // leaves it.
  EXPECT_EQ(ShellIn(work, "ulimit -f 4 && \"$B\" -p format.txt -o out.html channel.log 2> err"),
            255);
  EXPECT_EQ(ReadFile(work / "err"), "out.html: File too large\n");
  EXPECT_EQ(ReadFile(work / "out.html"), "the old page\n");
  EXPECT_EQ(FolderEntries(work.dir.path),
            (std::vector<std::string>{"channel.log", "err", "format.txt", "out.html"}));
}

TEST(ProgramRun, APageNamingAnInputIsRefusedBeforeAnyLogIsRead) {
  Workspace work;
  work.Add("settings.conf", "channame=tallytest\n");
  work.Add("exclude.txt", "marrowby\n");
  ASSERT_EQ(link((work / "channel.log").c_str(), (work / "hard.log").c_str()), 0);
  ASSERT_EQ(symlink("channel.log", (work / "link.html").c_str()), 0);
  const std::map<std::string, std::string> before = FolderContents(work.dir.path);
  const std::vector<std::string> common = {"-p", "format.txt", "-r", "settings.conf",
                                           "-b", "exclude.txt"};
  // The page, the log operands, and the input the refusal names.
  struct Case {
    std::string page;
    std::vector<std::string> logs;
    std::string input;
  };
  const Case cases[] = {
      {"channel.log", {"channel.log"}, "channel.log"},
      {"format.txt", {"channel.log"}, "format.txt"},
      {"settings.conf", {"channel.log"}, "settings.conf"},
      {"exclude.txt", {"channel.log"}, "exclude.txt"},
      {"hard.log", {"channel.log"}, "channel.log"},   // another name of the same file
      {"link.html", {"channel.log"}, "channel.log"},  // a link to it
      {"./channel.log", {"gone.log", "channel.log"}, "channel.log"},  // not even tried
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = common;
    args.insert(args.end(), {"-v", "-o", c.page});
    args.insert(args.end(), c.logs.begin(), c.logs.end());
    RunResult run = RunIn(work, args);
    EXPECT_EQ(run.status, 255) << c.page;
    EXPECT_EQ(run.out, "") << c.page;
    EXPECT_EQ(run.err, "tallywick: refusing to write the page " + c.page + " over the input " +
                           c.input + "\n");
    EXPECT_TRUE(FolderContents(work.dir.path) == before) << c.page << " changed a file";
  }

  // Standard input is compared as the file it is.
  EXPECT_EQ(ShellIn(work, "\"$B\" -p format.txt -o channel.log - < channel.log 2> err"), 255);
  EXPECT_EQ(ReadFile(work / "err"),
            "tallywick: refusing to write the page channel.log over the input standard input\n");
  std::filesystem::remove(work.dir.path / "err");
  EXPECT_TRUE(FolderContents(work.dir.path) == before);
}

TEST(ProgramRun, APageForAStreamTheRunHoldsIsWrittenIntoIt) {
  Workspace work;
  ASSERT_EQ(RunIn(work, {"-p", "format.txt", "-o", "ref.html", "channel.log"}).status, 0);
  const std::string page = ReadFile(work / "ref.html");
  ASSERT_TRUE(page.ends_with("</center></body></html>"));

  // Into a pipe.
  EXPECT_EQ(ShellIn(work,
                    "{ \"$B\" -p format.txt -o /dev/stdout channel.log; echo $? > status; } "
                    "| cat > piped.html"),
            0);
  EXPECT_EQ(ReadFile(work / "status"), "0\n");
  EXPECT_EQ(ReadFile(work / "piped.html"), page);

  // Appended to a file the run was given open: what it held stays.
  const std::pair<std::string, std::string> cases[] = {
      {"/dev/stdout", ">> out.log"}, {"/dev/stderr", "2>> out.log"},
      {"/dev/fd/3", "3>> out.log"},  {"/proc/self/fd/3", "3>> out.log"},
      {"out.log", ">> out.log"},
  };
  for (const auto& [output, redirect] : cases) {
    work.Add("out.log", "earlier\n");
    EXPECT_EQ(ShellIn(work, "\"$B\" -p format.txt -o " + output + " channel.log " + redirect), 0)
        << output;
    EXPECT_EQ(test_support::FirstDifference("earlier\n" + page, ReadFile(work / "out.log")), "")
        << output;
  }
  EXPECT_EQ(FolderEntries(work.dir.path),
            (std::vector<std::string>{"channel.log", "format.txt", "out.log", "piped.html",
                                      "ref.html", "status"}));
}

TEST(ProgramRun, APageReplacesTheOldOneInPlace) {
  Workspace work;
  std::filesystem::create_directory(work.dir.path / "site");
  work.Add("site/stats.html", "old\n");
  ASSERT_EQ(chmod((work / "site/stats.html").c_str(), 0604), 0);
  ASSERT_EQ(symlink("site/stats.html", (work / "link.html").c_str()), 0);

  RunResult viaLink = RunIn(work, {"-p", "format.txt", "-o", "link.html", "channel.log"});
  EXPECT_EQ(viaLink.status, 0);
  EXPECT_EQ(viaLink.err, "");
  EXPECT_TRUE(std::filesystem::is_symlink(work / "link.html"));
  EXPECT_TRUE(ReadFile(work / "site/stats.html").starts_with("<!DOCTYPE HTML"));
  EXPECT_EQ(ModeOf(work / "site/stats.html"), 0604u);
  EXPECT_EQ(FolderEntries(work.dir.path / "site"), std::vector<std::string>{"stats.html"});

  RunOptions masked;
  masked.umask = 027;
  RunResult fresh = RunIn(work, {"-p", "format.txt", "-o", "fresh.html", "channel.log"}, masked);
  EXPECT_EQ(fresh.status, 0);
  EXPECT_EQ(ModeOf(work / "fresh.html"), 0640u);
  EXPECT_EQ(ReadFile(work / "fresh.html"), ReadFile(work / "site/stats.html"));

  // /dev/null is no regular file: it is written directly and stays a device.
  RunResult discarded = RunIn(work, {"-p", "format.txt", "-o", "/dev/null", "channel.log"});
  EXPECT_EQ(discarded.status, 0);
  EXPECT_EQ(discarded.err, "");
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

TEST(ProgramRun, TheSourceDateEpochStandsInForTheStartTime) {
  Workspace work;
  work.Add("words.conf", "statwords=alpha,beta,gamma,delta,epsilon,zeta\n");
  std::vector<std::string> args = {"-v",         "-p", "format.txt", "-r",
                                   "words.conf", "-o", "a.html",     "channel.log"};
  RunResult first = RunIn(work, args);
  args[6] = "b.html";
  RunResult second = RunIn(work, args);
  ASSERT_EQ(first.status, 0);
  ASSERT_EQ(second.status, 0);
  EXPECT_EQ(ReadFile(work / "a.html"), ReadFile(work / "b.html"));
  EXPECT_NE(ReadFile(work / "a.html").find("Sun Sep  9 01:46:40 2001"), std::string::npos);

  // The generator is seeded with it: the StatWord is the one the rule
  // picks from the draws of that seed.
  srand(1000000000u);
  std::vector<int> draws;
  for (int i = 0; i < 6; ++i) draws.push_back(rand());
  const char* words[] = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta"};
  std::string expected = std::string("Collecting stats for word \"") + words[PickedByDraws(draws)] +
                         "\"\nDone (Parsed 1 files)\n" + LinesOfEachType(1);
  EXPECT_EQ(first.err, expected);
  EXPECT_EQ(second.err, expected);

  // Without it the clock seeds the run, which still works.
  RunOptions clock;
  clock.env["SOURCE_DATE_EPOCH"] = std::nullopt;
  args[6] = "c.html";
  RunResult timed = RunIn(work, args, clock);
  EXPECT_EQ(timed.status, 0);
  EXPECT_EQ(ReadFile(work / "c.html").find("Sun Sep  9 01:46:40 2001"), std::string::npos);
}

TEST(ProgramRun, VerboseMessagesOfTheDriver) {
  Workspace work;
  std::string longWord = "pneumonoultramicroscopic";  // 24 characters, kept whole
  work.Add("one.conf", "statwords=" + longWord + "\nchanname=tallytest\n");
  work.Add("empty.conf", "statwords=\n");
  RunResult run = RunIn(work, {"-v", "-r", "one.conf", "-v", "-r", "one.conf", "-p", "format.txt",
                               "-o", "out.html", "channel.log"});
  EXPECT_EQ(run.status, 0);
  std::string settingLines =
      "Setting statwords to " + longWord + "\nSetting channame to tallytest\n";
  ASSERT_TRUE(run.err.starts_with(settingLines)) << run.err;
  EXPECT_NE(run.err.find("Collecting stats for word \"" + longWord + "\"\n"), std::string::npos)
      << run.err;
  EXPECT_TRUE(run.err.ends_with("Done (Parsed 1 files)\n" + LinesOfEachType(1))) << run.err;

  // An empty word list chooses nothing and says nothing about it.
  RunResult empty =
      RunIn(work, {"-v", "-p", "format.txt", "-r", "empty.conf", "-o", "out.html", "channel.log"});
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(empty.err, "Done (Parsed 1 files)\n" + LinesOfEachType(1));
}

TEST(ProgramRun, TheExclusionFileRemovesNicksFromThePage) {
  Workspace work;
  work.Add("exclude.txt", "MARROWBY\nq\n");
  RunResult run =
      RunIn(work, {"-p", "format.txt", "-b", "exclude.txt", "-o", "out.html", "channel.log"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // Nick cells hold the bare name.
  std::string page = ReadFile(work / "out.html");
  EXPECT_EQ(page.find(">marrowby<"), std::string::npos);
  EXPECT_NE(page.find(">quillon<"), std::string::npos);

  // An exclusion file that cannot be read would publish the nicks it
  // names: the run fails and the page of the run before stays.
  RunResult missing =
      RunIn(work, {"-p", "format.txt", "-b", "nothing.txt", "-o", "out.html", "channel.log"});
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.err, "nothing.txt: No such file or directory\n");
  EXPECT_EQ(ReadFile(work / "out.html"), page);
}

TEST(ProgramRun, TheUsersFileNamesPeopleAndItsOptionWinsOverTheSetting) {
  Workspace work;
  work.Add("users.txt", "Quill: quillon\nmarrowby bot\n");
  work.Add("elsewhere.conf", "users=nothing.txt\n");
  work.Add("here.conf", "users=users.txt\n");
  // The option wins over the key, wherever the settings file stands.
  RunResult run = RunIn(work, {"-u", "users.txt", "-r", "elsewhere.conf", "-p", "format.txt",
                               "-o", "out.html", "channel.log"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::string page = ReadFile(work / "out.html");
  EXPECT_NE(page.find(">Quill<"), std::string::npos);
  EXPECT_EQ(page.find(">quillon<"), std::string::npos);
  EXPECT_EQ(page.find(">marrowby<"), std::string::npos);  // a bot
  EXPECT_NE(page.find("a total of 1 persons visited"), std::string::npos);

  RunResult setting =
      RunIn(work, {"-p", "format.txt", "-r", "here.conf", "-o", "setting.html", "channel.log"});
  EXPECT_EQ(setting.status, 0) << setting.err;
  EXPECT_EQ(ReadFile(work / "setting.html"), page);

  // A users file that cannot be read ends the run, and the old page stays.
  RunResult missing =
      RunIn(work, {"-p", "format.txt", "-r", "elsewhere.conf", "-o", "out.html", "channel.log"});
  EXPECT_EQ(missing.status, 255);
  EXPECT_EQ(missing.err, "nothing.txt: No such file or directory\n");
  EXPECT_EQ(ReadFile(work / "out.html"), page);
  RunResult folder = RunIn(work, {"-p", "format.txt", "-u", ".", "-o", "out.html", "channel.log"});
  EXPECT_EQ(folder.status, 255);
  EXPECT_EQ(folder.err, ".: Is a directory\n");

  // The exclusion file names nicks, and a nick names its person.
  work.Add("exclude.txt", "QUILLON\n");
  RunResult excluded = RunIn(work, {"-p", "format.txt", "-u", "users.txt", "-b", "exclude.txt",
                                    "-o", "excluded.html", "channel.log"});
  EXPECT_EQ(excluded.status, 0) << excluded.err;
  EXPECT_EQ(ReadFile(work / "excluded.html").find(">Quill<"), std::string::npos);
  EXPECT_NE(ReadFile(work / "excluded.html").find("a total of 0 persons visited"),
            std::string::npos);
}

}  // namespace
