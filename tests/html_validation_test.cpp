// The classic page validates as HTML 4.0 Transitional under OpenSP's
// validator, and the modern page as HTML5 under tidy-html5 with every
// warning counted, for the demo and for logs full of IRC codes and markup
// characters.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "run_binary.h"
#include "year_log.h"

namespace {

const char* const kCatalog = "/usr/share/sgml/html/dtd/4.0/catalog";
const char* const kDeclaration = "/usr/share/sgml/html/dtd/4.0/HTML4.decl";

bool HaveValidator() {
  return system("command -v onsgmls >/dev/null 2>&1") == 0 &&
         std::ifstream(kCatalog).good() && std::ifstream(kDeclaration).good();
}

int Run(const std::string& command) {
  int raw = system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// Writes the page of a run in `folder` (relative to the source tree) and
// returns the validator's complaints, or a note when the page is missing.
std::string ValidatePage(const std::string& folder, const std::string& args,
                         const std::string& name) {
  std::string page = testing::TempDir() + "/validate-" + name + ".html";
  std::string report = testing::TempDir() + "/validate-" + name + ".txt";
  remove(page.c_str());
  std::string run = "cd " TALLYWICK_SOURCE_DIR "/" + folder +
                    " && SOURCE_DATE_EPOCH=1000000000 TZ=UTC " TALLYWICK_BINARY " -o " + page +
                    " " + args + " >/dev/null 2>&1";
  if (Run(run) != 0) return "the run failed: " + run;
  std::string validate = std::string("onsgmls -s -c ") + kCatalog + " " + kDeclaration + " " +
                         page + " >" + report + " 2>&1";
  int status = Run(validate);
  std::string complaints = ReadFile(report);
  if (status != 0 && complaints.empty()) complaints = "onsgmls failed";
  return complaints;
}

TEST(HtmlValidationTest, PagesAreValidHtml40Transitional) {
  if (!HaveValidator()) {
    GTEST_SKIP() << "onsgmls or the HTML 4.0 DTDs are missing: install Debian's opensp and "
                    "sgml-data to run this test";
  }
  EXPECT_EQ(ValidatePage("examples/demo", "-p format.txt -r demo.conf channel.log", "demo"), "");
  EXPECT_EQ(ValidatePage("tests/e2e/escaping", "-p format.txt -r page.conf channel.log",
                         "escaping"),
            "");
}

// tidy-html5; the tidy of before HTML5 names a release date, not a version.
bool HaveHtml5Tidy() {
  if (system("command -v tidy >/dev/null 2>&1") != 0) return false;
  std::string version = testing::TempDir() + "/tidy-version.txt";
  Run("tidy -v >" + version + " 2>&1");
  return ReadFile(version).find("version 5") != std::string::npos;
}

// Runs the program in `folder` with `args` and the modern layout, and
// returns tidy's warnings and errors about the page, or a note when the run
// failed. Empty elements are valid HTML5, so tidy is told not to drop them.
std::string TidyModernPage(const std::string& folder, const std::string& args,
                           const std::string& name) {
  std::string page = testing::TempDir() + "/tidy-" + name + ".html";
  std::string report = testing::TempDir() + "/tidy-" + name + ".txt";
  remove(page.c_str());
  std::string run = "cd " + folder + " && SOURCE_DATE_EPOCH=1000000000 TZ=UTC " TALLYWICK_BINARY
                    " -r " TALLYWICK_SOURCE_DIR "/examples/demo/modern.conf -o " + page + " " +
                    args + " >/dev/null 2>&1";
  if (Run(run) != 0) return "the run failed: " + run;
  std::string tidy = "tidy -q -e --drop-empty-elements no --drop-empty-paras no " + page + " >" +
                     report + " 2>&1";
  int status = Run(tidy);
  std::string complaints = ReadFile(report);
  if (status != 0 && complaints.empty()) complaints = "tidy failed";
  return complaints;
}

TEST(HtmlValidationTest, ModernPagesAreValidHtml5) {
  if (!HaveHtml5Tidy()) {
    GTEST_SKIP() << "tidy-html5 is missing: install Debian's tidy to run this test";
  }
  const std::string source = TALLYWICK_SOURCE_DIR;
  EXPECT_EQ(TidyModernPage(source + "/examples/demo", "-p format.txt -r demo.conf channel.log",
                           "demo"),
            "");
  // The escaping case's own header is HTML 4.0, which is the owner's to
  // change; it is given in HTML5 here.
  test_support::TempDir work;
  test_support::WriteFile(work / "header.conf", "header=<p><b>Markup</b> from the owner</p>\n");
  EXPECT_EQ(TidyModernPage(source + "/tests/e2e/escaping",
                           "-p format.txt -r page.conf -r " + (work / "header.conf") +
                               " channel.log",
                           "escaping"),
            "");
  test_support::WriteFile(work / "format.txt", test_support::kFormat);
  test_support::WriteFile(work / "year.log", test_support::YearLongLog());
  EXPECT_EQ(TidyModernPage(work.path.string(), "-p format.txt year.log", "year"), "");
}

}  // namespace
