// Helpers shared by the tests that run the built program or need files:
// temporary folders, whole-file reads and writes, capturing standard error,
// and running the program with a chosen working folder, environment,
// standard input, umask and file-size limit.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace test_support {

// A format file with every line type, "hh:mm" times and "[:nick:]" macros,
// for the tests that write logs in its layout.
inline constexpr const char* kFormat =
    "text=^([0-9]+):[0-9]+ <([[:nick:]]+)> (.*)$,time,nick,string\n"
    "act=^([0-9]+):[0-9]+ \\* ([[:nick:]]+) (.*)$,time,nick,string\n"
    "join=^([0-9]+):[0-9]+ -!- ([[:nick:]]+) joined$,time,nick\n"
    "part=^([0-9]+):[0-9]+ -!- ([[:nick:]]+) left$,time,nick\n"
    "quit=^([0-9]+):[0-9]+ -!- ([[:nick:]]+) quit \\[(.*)\\]$,time,nick,string\n"
    "kick=^([0-9]+):[0-9]+ -!- ([[:nick:]]+) kicked ([[:nick:]]+) \\[(.*)\\]$,time,nick,othernick,"
    "string\n"
    "topic=^([0-9]+):[0-9]+ -!- ([[:nick:]]+) set the topic to (.*)$,time,nick,string\n"
    "nick=^([0-9]+):[0-9]+ -!- ([[:nick:]]+) is now ([[:nick:]]+)$,time,nick,othernick\n"
    "mode=^([0-9]+):[0-9]+ -!- mode by ([[:nick:]]+)$,time,nick\n"
    "date_stamp=^--- Day changed (.*)$,date\n"
    "channel=^--- Log (opened|closed)$,null\n";

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
struct TempDir {
  std::filesystem::path path;

  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tallywick-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
      perror("mkdtemp");
      abort();
    }
    path = name.data();
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }

  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline bool FileExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The names in a folder, sorted.
inline std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Sends this process's standard error to a file while the object lives;
// Text() returns what was written so far.
struct StderrCapture {
  TempDir dir;
  std::string path = dir / "stderr";
  int saved = -1;

  StderrCapture() {
    fflush(stderr);
    saved = dup(STDERR_FILENO);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDERR_FILENO);
    close(fd);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  ~StderrCapture() { Restore(); }

  void Restore() {
    if (saved < 0) return;
    fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    saved = -1;
  }
  std::string Text() {
    fflush(stderr);
    return ReadFile(path);
  }
};

// A read stream over a text held in memory.
struct TextStream {
  std::string text;
  FILE* stream = nullptr;

  explicit TextStream(std::string content) : text(std::move(content)) {
    // fmemopen refuses a zero-length buffer in some C libraries.
    stream = text.empty() ? fopen("/dev/null", "r") : fmemopen(text.data(), text.size(), "r");
  }
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;
  ~TextStream() {
    if (stream != nullptr) fclose(stream);
  }
};

struct RunOptions {
  std::string workDir = ".";
  // Added to (or, with no value, removed from) the environment. Every run
  // has SOURCE_DATE_EPOCH=1000000000 and TZ=UTC unless this says otherwise.
  std::map<std::string, std::optional<std::string>> env;
  std::optional<std::string> stdinText;   // standard input; /dev/null when absent
  std::optional<std::string> stdoutPath;  // standard output goes here instead of being captured
  bool stdoutIntoClosedPipe = false;      // standard output is a pipe nobody reads
  std::optional<mode_t> umask;
  std::optional<rlim_t> fileSizeLimit;  // bytes; SIGXFSZ is ignored so writes fail with EFBIG
};

struct RunResult {
  int status = -1;  // the exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs the program with `args` (the words after the program name).
inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const RunOptions& options = RunOptions()) {
  TempDir io;
  std::string inPath = io / "stdin";
  std::string outPath = options.stdoutPath.value_or(io / "stdout");
  std::string errPath = io / "stderr";
  if (options.stdinText) WriteFile(inPath, *options.stdinText);

  std::vector<std::string> argvText;
  argvText.push_back(program);
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : argvText) argv.push_back(word.data());
  argv.push_back(nullptr);

  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    int in = open(options.stdinText ? inPath.c_str() : "/dev/null", O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    if (options.stdoutIntoClosedPipe) {
      int ends[2];
      if (pipe(ends) != 0) _exit(126);
      close(ends[0]);
      dup2(ends[1], STDOUT_FILENO);
      close(ends[1]);
    }
    dup2(err, STDERR_FILENO);
    if (chdir(options.workDir.c_str()) != 0) _exit(126);
    setenv("SOURCE_DATE_EPOCH", "1000000000", 1);
    setenv("TZ", "UTC", 1);
    for (const auto& [name, value] : options.env) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    if (options.umask) ::umask(*options.umask);
    if (options.fileSizeLimit) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit = {*options.fileSizeLimit, *options.fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  RunResult result;
  int raw = 0;
  if (pid > 0 && waitpid(pid, &raw, 0) == pid && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
  if (!options.stdoutPath) result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

// A text with its control bytes written as C escapes, for messages.
inline std::string Visible(const std::string& text) {
  std::string shown;
  for (unsigned char c : text) {
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c == '\\') {
      shown += "\\\\";
    } else if (c < 0x20 || c == 0x7f) {
      char code[8];
      snprintf(code, sizeof code, "\\x%02x", c);
      shown += code;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

// Empty when the texts are equal; otherwise names the first line where they
// differ (counting from 1) and shows both versions of it.
inline std::string FirstDifference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  size_t lineStart = 0;
  size_t lineNumber = 1;
  for (size_t i = 0; i < at; ++i) {
    if (expected[i] == '\n') {
      lineStart = i + 1;
      ++lineNumber;
    }
  }
  auto lineOf = [lineStart](const std::string& text) {
    if (lineStart >= text.size()) return std::string("(end of text)");
    size_t end = text.find('\n', lineStart);
    return Visible(
        text.substr(lineStart, end == std::string::npos ? std::string::npos : end + 1 - lineStart));
  };
  std::ostringstream message;
  message << "first difference at line " << lineNumber << ", byte " << at + 1 << " ("
          << expected.size() << " bytes expected, " << actual.size() << " bytes written)\n"
          << "  expected: " << lineOf(expected) << "\n"
          << "  actual:   " << lineOf(actual);
  return message.str();
}

}  // namespace test_support
