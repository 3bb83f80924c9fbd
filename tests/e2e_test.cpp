// End-to-end cases: every folder under tests/e2e is one run of the program
// (see tests/e2e/README.md for what a folder holds). The folder is copied to
// a temporary folder, which becomes the run's working folder, so a run never
// writes into the source tree.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "run_binary.h"

using test_support::FileExists;
using test_support::FirstDifference;
using test_support::ReadFile;
using test_support::RunOptions;
using test_support::RunProgram;
using test_support::RunResult;
using test_support::TempDir;

namespace {

const std::filesystem::path kCasesFolder =
    std::filesystem::path(TALLYWICK_SOURCE_DIR) / "tests/e2e";

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(kCasesFolder, error)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The words of an args file: one per line, taken as they are; the newline
// after the last word is optional.
std::vector<std::string> ArgsWords(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

// The word after the last -o option, which names the page; "-" (standard
// output) when there is none.
std::string OutputWord(const std::vector<std::string>& words) {
  std::string output = "-";
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    if (words[i].size() >= 2 && words[i].starts_with("-o")) output = words[i + 1];
  }
  return output;
}

void ExpectSameText(const std::string& what, const std::string& expected,
                    const std::string& actual) {
  std::string difference = FirstDifference(expected, actual);
  EXPECT_TRUE(difference.empty()) << what << ": " << difference;
}

class EndToEnd : public testing::TestWithParam<std::string> {};

TEST_P(EndToEnd, Run) {
  const std::filesystem::path source = kCasesFolder / GetParam();
  TempDir work;
  std::filesystem::copy(
      source, work.path,
      std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
  auto has = [&source](const char* name) { return FileExists((source / name).string()); };
  auto expected = [&source](const char* name) { return ReadFile((source / name).string()); };

  ASSERT_TRUE(has("args")) << "the case has no args file";
  std::vector<std::string> words = ArgsWords(expected("args"));
  RunOptions options;
  options.workDir = work.path.string();
  if (has("stdin")) options.stdinText = expected("stdin");
  RunResult run = RunProgram(TALLYWICK_BINARY, words, options);

  int status = has("expected.status") ? std::stoi(expected("expected.status")) : 0;
  EXPECT_EQ(run.status, status) << "exit status; standard error was:\n" << run.err;
  if (has("expected.stdout"))
    ExpectSameText("standard output", expected("expected.stdout"), run.out);
  if (has("expected.stderr"))
    ExpectSameText("standard error", expected("expected.stderr"), run.err);
  if (has("expected.html")) {
    std::string output = OutputWord(words);
    if (output == "-") {
      ExpectSameText("page on standard output", expected("expected.html"), run.out);
    } else {
      std::string page = (work.path / output).string();
      ASSERT_TRUE(FileExists(page)) << "the run wrote no " << output;
      ExpectSameText("page " + output, expected("expected.html"), ReadFile(page));
    }
  }
}

std::string CaseTestName(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name) {
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, EndToEnd, testing::ValuesIn(CaseNames()), CaseTestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(EndToEnd);

TEST(EndToEndRunner, NamesTheFirstDifferingLine) {
  EXPECT_EQ(FirstDifference("same\n", "same\n"), "");
  EXPECT_EQ(FirstDifference("one\ntwo\nthree\n", "one\ntwo\nthrice\n"),
            "first difference at line 3, byte 12 (14 bytes expected, 15 bytes written)\n"
            "  expected: three\\n\n"
            "  actual:   thrice\\n");
  EXPECT_EQ(FirstDifference("a\nb\n", "a\n"),
            "first difference at line 2, byte 3 (4 bytes expected, 2 bytes written)\n"
            "  expected: b\\n\n"
            "  actual:   (end of text)");
  EXPECT_EQ(FirstDifference("x\r\n", "x\n"),
            "first difference at line 1, byte 2 (3 bytes expected, 2 bytes written)\n"
            "  expected: x\\r\\n\n"
            "  actual:   x\\n");
}

TEST(EndToEndRunner, ReadsArgsOneWordPerLine) {
  EXPECT_EQ(ArgsWords(""), std::vector<std::string>{});
  EXPECT_EQ(ArgsWords("-p\nformat.txt\n"), (std::vector<std::string>{"-p", "format.txt"}));
  EXPECT_EQ(ArgsWords("-p\n\n a b \n-v"), (std::vector<std::string>{"-p", "", " a b ", "-v"}));
  EXPECT_EQ(OutputWord({"-p", "f", "-o", "a.html", "-o", "b.html", "log"}), "b.html");
  EXPECT_EQ(OutputWord({"-p", "f", "-o"}), "-");
  EXPECT_EQ(OutputWord({"-p", "f", "log"}), "-");
}

}  // namespace
