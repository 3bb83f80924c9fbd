#include "driver/run.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

#include <unistd.h>

#include "driver/help.h"
#include "driver/page_charset.h"
#include "driver/page_output.h"
#include "driver/users_file.h"
#include "logformat/compressed_input.h"
#include "logformat/log_reader.h"
#include "logformat/pattern_size.h"
#include "report/modern_page.h"
#include "report/page.h"
#include "stats/nick_lookup.h"
#include "stats/tables.h"

namespace {

bool IsOptionWord(const std::string& word) { return word.size() >= 2 && word[0] == '-'; }

// The folders a format named without a folder is looked for in: the
// installed formats (share/tallywick/formats beside the program's bin
// folder) and, for a program run from its build folder in the source tree,
// the tree's formats/.
std::vector<std::string> FormatFolders() {
  std::vector<std::string> folders;
  char self[4096];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return folders;
  std::filesystem::path program(std::string(self, static_cast<size_t>(length)));
  std::filesystem::path above = program.parent_path().parent_path();
  folders.push_back((above / "share" / "tallywick" / "formats").lexically_normal().string());
  folders.push_back((above / "formats").lexically_normal().string());
  return folders;
}

// Opens the format a -p option names: the file itself, or, for a name
// without a folder that names no file, NAME or NAME.txt among the formats
// of FormatFolders. Reports a failure, and where it looked; `path` becomes
// the file opened.
FILE* OpenFormatFile(std::string& path) {
  FILE* in = fopen(path.c_str(), "r");
  if (in != nullptr || errno != ENOENT || path.empty() || path.find('/') != std::string::npos) {
    if (in == nullptr) perror("fopen");
    return in;
  }
  std::vector<std::string> folders = FormatFolders();
  for (const std::string& folder : folders) {
    for (const std::string& name : {path, path + ".txt"}) {
      std::string candidate = folder + "/" + name;
      in = fopen(candidate.c_str(), "r");
      if (in != nullptr) {
        path = candidate;
        return in;
      }
    }
  }
  errno = ENOENT;
  perror("fopen");
  std::string where;
  for (const std::string& folder : folders) where += (where.empty() ? "" : " and ") + folder;
  fprintf(stderr, "No format %s: looked for %s and %s.txt here and in %s\n", path.c_str(),
          path.c_str(), path.c_str(), where.c_str());
  return nullptr;
}

// Loads the format file named by a -p option; false when it was read and
// is incomplete.
bool LoadFormatFile(const std::string& name, RunState& state) {
  std::string path = name;
  FILE* in = OpenFormatFile(path);
  state.optionFiles.push_back(path);
  if (in == nullptr) return true;  // no format loaded; a later -p may load one
  bool complete = ReadLogFormatSpec(in, state.verbosity, state.format, state.matcher);
  fclose(in);
  state.formatLoaded = complete;
  return complete;
}

void LoadSettingsFile(const std::string& path, RunState& state) {
  state.optionFiles.push_back(path);
  FILE* in = fopen(path.c_str(), "rt");
  if (in == nullptr) {
    perror("fopen");
    return;
  }
  ReadSettings(in, state.settings, state.verbosity);
  fclose(in);
}

// Which of the two ignore patterns is compiled; each has its own message.
enum class IgnorePattern { kSignoffs, kKicks };

// Compiles an ignore pattern with basic syntax; reports a failure with the
// error code and the pattern.
bool CompileIgnorePattern(const std::string& pattern, IgnorePattern which, CompiledRegex& into) {
  // One whose repetitions would compile into millions of copies is refused
  // as the compiler refuses one over its own limit.
  int error = PatternTooLarge(pattern, PatternSyntax::kBasic) ? REG_ESIZE
                                                              : regcomp(&into.re, pattern.c_str(), 0);
  if (error != 0) {
    if (which == IgnorePattern::kSignoffs) {
      fprintf(stderr, "Error %d compiling signoffs regexp %s\n", error, pattern.c_str());
    } else {
      fprintf(stderr, "Error %d compiling kicks regexp %s\n", error, pattern.c_str());
    }
    return false;
  }
  into.compiled = true;
  return true;
}

bool PrepareAccounting(RunState& state) {
  const Settings& settings = state.settings;
  if (!CompileIgnorePattern(SettingValue(settings, SettingKey::kIgnoreQuits),
                            IgnorePattern::kSignoffs, state.quitIgnore) ||
      !CompileIgnorePattern(SettingValue(settings, SettingKey::kIgnoreKicks), IgnorePattern::kKicks,
                            state.kickIgnore)) {
    return false;
  }
  AccountingConfig& config = state.accounting;
  config.verbosity = state.verbosity;
  config.quitIgnore = &state.quitIgnore.re;
  config.kickIgnore = &state.kickIgnore.re;
  config.quoteLimits.minLen = atoi(SettingValue(settings, SettingKey::kMinQuoteLen).c_str());
  config.quoteLimits.maxLen = atoi(SettingValue(settings, SettingKey::kMaxQuoteLen).c_str());
  config.botNames[0] = SettingValue(settings, SettingKey::kBotName);
  config.botNames[1] = SettingValue(settings, SettingKey::kBotName2);
  config.botNames[2] = SettingValue(settings, SettingKey::kBotName3);

  const std::string& candidates = SettingValue(settings, SettingKey::kStatWords);
  if (candidates.empty()) {
    config.statWord = "\n\n";  // no log line can hold it, so nothing is counted
  } else {
    config.statWord = ChooseStatWord(candidates);
    if (state.verbosity > 0) {
      fprintf(stderr, "Collecting stats for word \"%s\"\n", config.statWord.c_str());
    }
  }
  return true;
}

// Takes the character sets of log_charset and log_charset_fallback, when
// the first is set: lines are then made UTF-8 and count in characters.
// False, with a message, for a set iconv does not know, the page's
// included.
bool PrepareCharsets(RunState& state) {
  const std::string& main = SettingValue(state.settings, SettingKey::kLogCharset);
  if (main.empty()) return true;
  state.charsets.main = main;
  state.charsets.fallback = SettingValue(state.settings, SettingKey::kLogCharsetFallback);
  std::string unknown;
  if (!CheckLineCharsets(state.charsets, unknown)) {
    fprintf(stderr, "Unknown character set \"%s\" in %s\n", unknown.c_str(),
            unknown == main ? "log_charset" : "log_charset_fallback");
    return false;
  }
  const std::string& page = SettingValue(state.settings, SettingKey::kCharset);
  if (!page.empty() && !IsUtf8Name(page) && !CanWritePageIn(page)) {
    fprintf(stderr, "Unknown character set \"%s\" in charset\n", page.c_str());
    return false;
  }
  state.recodeLines = true;
  state.accounting.countCharacters = true;
  state.accounting.quoteLimits.inCharacters = true;
  return true;
}

// Loads the zones that log_timezone and page_timezone name, when either
// does; the other is then UTC. False, with a message, for a name that is no
// zone of the system's.
bool PrepareTimeZones(RunState& state) {
  const std::string& logZone = SettingValue(state.settings, SettingKey::kLogTimezone);
  const std::string& pageZone = SettingValue(state.settings, SettingKey::kPageTimezone);
  if (logZone.empty() && pageZone.empty()) return true;
  struct {
    const std::string& name;
    const char* key;
    ZoneRules& into;
  } zones[] = {{logZone, "log_timezone", state.zones.log}, {pageZone, "page_timezone", state.zones.page}};
  for (auto& zone : zones) {
    std::string error;
    if (!LoadZone(zone.name.empty() ? "UTC" : zone.name, zone.into, error)) {
      fprintf(stderr, "Unknown time zone \"%s\" in %s: %s\n", zone.name.c_str(), zone.key,
              error.c_str());
      return false;
    }
  }
  state.zones.referenceTime = static_cast<int64_t>(state.startTime);
  state.shiftZones = true;
  return true;
}

// A format that matches few of a file's lines is the likeliest reason for
// an empty page, so it is said at any verbosity.
void WarnWhenTheFormatDoesNotFit(const LogFileReading& file, const std::string& operand) {
  uint64_t unmatched = file.linesOfType[kTypeNull];
  if (unmatched * 10 <= file.lines) return;
  fprintf(stderr, "Warning: %llu of %llu lines of %s matched no line type\n",
          static_cast<unsigned long long>(unmatched), static_cast<unsigned long long>(file.lines),
          operand.c_str());
}

// Reads every log operand; false when the reader met a fatal error.
bool ReadLogFiles(RunState& state) {
  // The skip message goes to standard output, unless the page goes there.
  FILE* skipMessages = state.outputPath == "-" ? stderr : stdout;
  // One pool of classifying threads for the whole run: each compiles the
  // format once, and the files stream through it in order.
  ClassifierPoolHandle pool =
      StartClassifierPool(state.format, AffordablePoolWorkers(state.format, state.classifyWorkers));
  for (const std::string& operand : state.logFiles) {
    bool isStdin = operand == "-";
    FILE* in = isStdin ? stdin : fopen(operand.c_str(), "rt");
    if (in == nullptr) {
      fprintf(skipMessages, "Error opening %s, skipping file\n", operand.c_str());
      continue;
    }
    LogInput input;
    if (!OpenLogInput(in, isStdin ? "standard input" : operand, input)) {
      // A compressed log this build cannot read is skipped like one that
      // cannot be opened, with the reason.
      fprintf(stderr, "%s is %s-compressed, and this tallywick was built without %s support (%s)\n",
              input.name.c_str(), CompressionName(input.compression),
              CompressionName(input.compression), CompressionLibrary(input.compression));
      if (!isStdin) fclose(in);
      continue;
    }
    LogFileReading file;
    if (state.shiftZones) file.zones = &state.zones;
    if (state.recodeLines) file.charsets = &state.charsets;
    // A rotated file's name dates its lines as the plain file's name did.
    if (!isStdin) file.name = NameWithoutCompressionSuffix(operand, input.compression);
    bool ok = ParseLogFile(LogInputByteSource(input), state.format, state.accounting,
                           state.processedBytes, state.store, state.classifyWorkers, &file,
                           pool.get());
    // Standard input stays open: a second "-" then reads it at its end, an
    // empty log, instead of a closed stream.
    if (!isStdin) fclose(in);
    if (!ok) return false;
    ++state.parsedFiles;
    for (int type = 0; type < kLineTypeCount; ++type) {
      state.linesOfType[type] += file.linesOfType[type];
    }
    state.misfitLines += file.misfits;
    WarnWhenTheFormatDoesNotFit(file, operand);
  }
  return true;
}

// Removes the nicks of the exclusion file, if one was named. False when it
// cannot be opened or read: the page would show the nicks the user asked
// to leave out, so the run must end before it is written.
bool ApplyExclusionPath(RunState& state) {
  if (!state.haveExclusionPath) return true;
  FILE* in = fopen(state.exclusionPath.c_str(), "rt");
  if (in == nullptr) {
    perror(state.exclusionPath.c_str());
    return false;
  }
  bool read = ApplyExclusionFile(in, state.store);
  if (!read) perror(state.exclusionPath.c_str());  // errno as the read left it
  fclose(in);
  return read;
}

// Removes a temporary page that was not finished, however the writing
// ended, so that no partial page is left beside the old one.
struct UnfinishedPageGuard {
  PageOutput& output;
  bool finished = false;
  ~UnfinishedPageGuard() {
    if (finished) return;
    if (output.stream != nullptr && !output.isStdout) fclose(output.stream);
    if (!output.tempPath.empty()) unlink(output.tempPath.c_str());
    output.stream = nullptr;
  }
};

// The start time: SOURCE_DATE_EPOCH when it holds a decimal number of
// seconds, otherwise the clock.
time_t RunClock() {
  const char* epoch = getenv("SOURCE_DATE_EPOCH");
  if (epoch != nullptr && *epoch != '\0' && strspn(epoch, "0123456789") == strlen(epoch) &&
      strlen(epoch) <= 18) {
    return static_cast<time_t>(strtoll(epoch, nullptr, 10));
  }
  return time(nullptr);
}

// The number of threads that classify log lines: TALLYWICK_THREADS when it
// holds a number from 1 up, otherwise the number of online processors.
int ClassifyWorkersFromEnvironment() {
  const char* threads = getenv("TALLYWICK_THREADS");
  if (threads != nullptr && *threads != '\0' && strspn(threads, "0123456789") == strlen(threads)) {
    long count = strtol(threads, nullptr, 10);
    if (count >= 1) return static_cast<int>(count > 64 ? 64 : count);
  }
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online >= 1 ? static_cast<int>(online > 64 ? 64 : online) : 1;
}

// The matcher that classifies lines: regexec for every expression when
// TALLYWICK_MATCHER is "libc", otherwise the program's own wherever it
// takes the expression.
MatcherChoice MatcherFromEnvironment() {
  const char* matcher = getenv("TALLYWICK_MATCHER");
  return matcher != nullptr && strcmp(matcher, "libc") == 0 ? MatcherChoice::kLibc
                                                             : MatcherChoice::kOwn;
}

// Refuses, before any log is read, a page path that leads through a link
// planted in a shared folder or names one of the run's own input files.
bool PagePathIsSafe(const RunState& state) {
  std::vector<std::string> inputs = state.optionFiles;
  inputs.insert(inputs.end(), state.logFiles.begin(), state.logFiles.end());
  if (state.haveExclusionPath) inputs.push_back(state.exclusionPath);
  if (!state.usersPath.empty()) inputs.push_back(state.usersPath);
  return CheckPagePath(state.outputPath, inputs);
}

// How many lines of all files each type read: a type that read none
// ("join 0") is a format that does not fit at a glance.
void ReportLinesOfEachType(const RunState& state) {
  fputs("Lines of each type:\n", stderr);
  for (int type = kTypeText; type < kLineTypeCount; ++type) {
    fprintf(stderr, "  %s %llu\n", LineTypeKeyword(type),
            static_cast<unsigned long long>(state.linesOfType[type]));
  }
  fprintf(stderr, "  unmatched %llu", static_cast<unsigned long long>(state.linesOfType[kTypeNull]));
  if (state.format.misfit.pattern.compiled) {
    fprintf(stderr, " (misfits %llu)", static_cast<unsigned long long>(state.misfitLines));
  }
  fputc('\n', stderr);
}

int WritePage(RunState& state) {
  PageOutput output;
  if (!OpenPageOutput(state.outputPath, output)) {
    fputs("Error opening output html file", stderr);
    return kExitFatal;
  }
  UnfinishedPageGuard guard{output};
  PageStyle style = PageStyleFromSettings(state.settings);
  // Texts read in their character sets are UTF-8: the page says so, or is
  // written in the set it names.
  FILE* page = output.stream;
  if (state.recodeLines && style.charset.empty()) style.charset = "utf-8";
  if (state.recodeLines && !IsUtf8Name(style.charset)) {
    page = OpenRecodingStream(output.stream, style.charset);
    if (page == nullptr) {
      perror("iconv_open");
      return kExitFatal;
    }
  }
  PageContext context;
  context.style = &style;
  context.startTime = state.startTime;
  context.pageTime = RunClock();
  context.processedBytes = state.processedBytes;
  const std::string undatedName = PutTablesInReportOrder(state.store, state.verbosity);
  const StatsStore& store = state.store;
  const PageFacts facts =
      GatherPageFacts(store, undatedName, state.accounting.statWord, state.verbosity);
  if (style.layout == PageLayout::kModern) {
    WriteModernPage(page, context, store, facts);
  } else {
    WriteReportPage(page, context, store, facts);
  }
  // A failed write through the converting stream leaves its mark on the
  // page's own stream, which FinishPageOutput reports.
  if (page != output.stream) fclose(page);
  if (state.verbosity > 0) {
    fprintf(stderr, "Done (Parsed %i files)\n", state.parsedFiles);
    ReportLinesOfEachType(state);
  }
  guard.finished = true;
  return FinishPageOutput(output) ? kExitOk : kExitFatal;
}

}  // namespace

CommandLineOutcome ReadCommandLine(const std::vector<std::string>& args, RunState& state) {
  if (args.empty() || !IsOptionWord(args[0])) return CommandLineOutcome::kNotAnOption;
  size_t i = 0;
  while (i < args.size() && IsOptionWord(args[i])) {
    const std::string& word = args[i];
    bool haveArgument = i + 1 < args.size();
    char letter = word[1];
    if (letter == 'p') {
      if (!state.formatLoaded && haveArgument) {
        if (!LoadFormatFile(args[i + 1], state)) return CommandLineOutcome::kFormatRejected;
        i += 2;
      } else {
        i += 1;
      }
      continue;
    }
    if (letter == 'v') {
      ++state.verbosity;
      i += 1;
      continue;
    }
    if (strchr("robuilnst", letter) == nullptr) {
      fprintf(stderr, "Unknown option %s", word.c_str());
      i += 1;
      continue;
    }
    if (!haveArgument) return CommandLineOutcome::kRead;  // no operands follow
    const std::string& argument = args[i + 1];
    if (letter == 'r') {
      LoadSettingsFile(argument, state);
    } else if (letter == 'o') {
      state.outputPath = argument;
    } else if (letter == 'b') {
      state.haveExclusionPath = true;
      state.exclusionPath = argument;
    } else if (letter == 'u') {
      state.haveUsersOption = true;
      state.usersPath = argument;
    }
    i += 2;
  }
  state.logFiles.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  return CommandLineOutcome::kRead;
}

std::string ChooseStatWord(const std::string& candidates) {
  std::string chosen;
  size_t start = 0;
  for (int k = 1; start < candidates.size(); ++k) {
    size_t comma = candidates.find(',', start);
    size_t end = comma == std::string::npos ? candidates.size() : comma;
    if (rand() % k == 0) chosen = candidates.substr(start, end - start);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return chosen;
}

bool ApplyExclusionFile(FILE* in, StatsStore& store) {
  const NickTable& nicks = store.nicks;
  // A name longer than every nick names none, so no more of a line than
  // that is kept, and a line's text ends at its first zero byte: any file,
  // however long its lines, is read in the same small memory.
  // With a users file, a line may name a nick that is no record's name.
  size_t longest = LongestAliasKnown(store);
  for (const NickRecord& nick : nicks.records) longest = std::max(longest, nick.name.size());
  std::vector<bool> marked;
  std::string name;
  bool textEnded = false;
  bool tooLong = false;
  for (;;) {
    int c = getc_unlocked(in);
    if (c == EOF || c == '\n') {
      int readErrno = errno;
      if (c == EOF && ferror(in)) {
        errno = readErrno;
        return false;
      }
      if (name.size() >= 2 && !tooLong) {
        if (const NickRecord* nick = KnownNickOf(store, name)) MarkRecord(nicks, *nick, marked);
      }
      if (c == EOF) break;
      name.clear();
      textEnded = false;
      tooLong = false;
    } else if (c == '\0') {
      textEnded = true;
    } else if (!textEnded && name.size() < longest) {
      name.push_back(static_cast<char>(c));
    } else if (!textEnded) {
      tooLong = true;
    }
  }
  RemoveMarkedNicks(store.nicks, marked);
  return true;
}

bool LoadUsersFile(RunState& state) {
  if (!state.haveUsersOption) state.usersPath = SettingValue(state.settings, SettingKey::kUsers);
  if (state.usersPath.empty()) return true;
  FILE* in = fopen(state.usersPath.c_str(), "rt");
  if (in == nullptr) {
    perror(state.usersPath.c_str());
    return false;
  }
  errno = 0;
  bool read = ReadUsersFile(in, state.usersPath, state.store.users);
  if (!read && ferror(in)) {
    perror(state.usersPath.c_str());  // errno as the read left it
  } else if (!read) {
    fprintf(stderr, "%s: the run ends here, before any log is read\n", state.usersPath.c_str());
  }
  fclose(in);
  return read;
}

void RemoveBotRecords(StatsStore& store) {
  std::vector<bool> marked;
  MarkBotRecords(store, marked);
  RemoveMarkedNicks(store.nicks, marked);
}

namespace {

int RunPhases(const std::vector<std::string>& args) {
  FirstWordRequest request = RequestOfFirstWord(args);
  if (request != FirstWordRequest::kRun) return AnswerFirstWord(request, stdout);
  RunState state;
  state.startTime = RunClock();
  srand(static_cast<unsigned>(state.startTime));
  state.classifyWorkers = ClassifyWorkersFromEnvironment();
  state.matcher = MatcherFromEnvironment();

  CommandLineOutcome outcome = ReadCommandLine(args, state);
  if (outcome == CommandLineOutcome::kFormatRejected) return kExitFatal;
  if (outcome == CommandLineOutcome::kNotAnOption || !state.formatLoaded) {
    fputs("No log format file - unable to continue\n", stderr);
    return kExitFatal;
  }
  if (!PrepareAccounting(state)) return kExitFatal;
  if (!LoadUsersFile(state)) return kExitFatal;
  if (!PrepareTimeZones(state)) return kExitFatal;
  if (!PrepareCharsets(state)) return kExitFatal;
  if (!PagePathIsSafe(state)) return kExitFatal;
  if (!ReadLogFiles(state)) return kExitFatal;
  RemoveBotRecords(state.store);
  if (!ApplyExclusionPath(state)) return kExitFatal;
  if (state.parsedFiles == 0) {
    fputs("No logs parsed. Nothing to output", stderr);
    // Logs that were named and could not be read are a failure; a run
    // given no logs at all has simply nothing to do.
    return state.logFiles.empty() ? kExitOk : kExitFatal;
  }
  return WritePage(state);
}

}  // namespace

int RunTallywick(const std::vector<std::string>& args) {
  // Memory can run out anywhere: in reading a line of gigabytes, in the
  // matcher, in a table. The run then ends here with one message, before a
  // temporary page replaces the old one.
  try {
    return RunPhases(args);
  } catch (const std::bad_alloc&) {
    fputs("tallywick: out of memory\n", stderr);
    return kExitFatal;
  }
}
