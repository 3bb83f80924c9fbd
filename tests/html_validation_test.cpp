// The page validates as HTML 4.0 Transitional under OpenSP's validator, for
// the demo and for logs full of IRC codes and markup characters.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

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

}  // namespace
