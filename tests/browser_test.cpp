// The modern page as a browser shows it: headless Chromium renders the page
// of a generated year-long log at a phone's width and at a desktop's, and
// the page must not scroll sideways, ask for anything beyond itself or
// leave anything unloaded. Skipped where Chromium is missing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run_binary.h"
#include "year_log.h"

using test_support::ReadFile;
using test_support::RunOptions;
using test_support::RunProgram;
using test_support::RunResult;
using test_support::TempDir;
using test_support::WriteFile;

namespace {

std::string FindBrowser() {
  for (const char* name : {"chromium", "chromium-browser"}) {
    const char* path = getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
      size_t end = folders.find(':', start);
      if (end == std::string::npos) end = folders.size();
      std::string candidate = folders.substr(start, end - start) + "/" + name;
      if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
      start = end + 1;
    }
  }
  return "";
}

// `text` as the value of a double-quoted attribute.
std::string AsAttribute(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (c == '&') {
      escaped += "&amp;";
    } else if (c == '"') {
      escaped += "&quot;";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// The page inside a frame of `width` CSS pixels (a browser window cannot be
// made as narrow as a phone), and a script of the probe, not of the page,
// that writes what it measured into the probe's own document once the
// frame has loaded: the frame's document widths, the requests the frame or
// the probe made, the elements of the page that could fetch anything, and
// the images that did not load.
std::string ProbePage(const std::string& page, int width) {
  return "<!DOCTYPE html><html><head><title>probe</title></head><body style=\"margin:0\">"
         "<iframe id=\"page\" width=\"" + std::to_string(width) +
         "\" height=\"1000\" style=\"border:0\" srcdoc=\"" + AsAttribute(page) +
         "\"></iframe><script>\n"
         "var f = document.getElementById('page');\n"
         "f.addEventListener('load', function () {\n"
         "  var w = f.contentWindow, d = f.contentDocument, e = d.documentElement, broken = 0;\n"
         "  d.querySelectorAll('img').forEach(function (i) { if (!i.complete || i.naturalWidth == 0) broken++; });\n"
         "  var p = document.createElement('pre');\n"
         "  p.id = 'measure';\n"
         "  p.textContent = 'scrollWidth=' + e.scrollWidth + ' clientWidth=' + e.clientWidth +\n"
         "      ' innerWidth=' + w.innerWidth + ' requests=' +\n"
         "      (w.performance.getEntriesByType('resource').length +\n"
         "       performance.getEntriesByType('resource').length) +\n"
         "      ' fetchers=' + d.querySelectorAll('img,script,link,iframe,frame,object,embed,video,audio,source,track,input[type=image]').length +\n"
         "      ' broken=' + broken;\n"
         "  document.body.appendChild(p);\n"
         "});\n</script></body></html>\n";
}

struct Measurement {
  int scrollWidth = -1;
  int clientWidth = -1;
  int innerWidth = -1;
  int requests = -1;
  int fetchers = -1;
  int broken = -1;
};

// Renders the probe with headless Chromium, every host name unresolvable,
// and reads what the probe wrote; all -1 when it wrote nothing.
Measurement Measure(const std::string& browser, const TempDir& work, const std::string& page,
                    int width) {
  const std::string name = "probe-" + std::to_string(width);
  WriteFile(work / (name + ".html"), ProbePage(page, width));
  RunOptions options;
  options.workDir = work.path.string();
  options.env["HOME"] = work.path.string();
  RunResult run = RunProgram(
      "/usr/bin/timeout",
      {"120", browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
       "--no-first-run", "--disable-background-networking", "--disable-component-update",
       "--disable-sync", "--user-data-dir=" + (work / ("profile-" + std::to_string(width))),
       "--host-resolver-rules=MAP * ~NOTFOUND",
       "--window-size=" + std::to_string(width + 100) + ",1100", "--dump-dom",
       "file://" + (work / (name + ".html"))},
      options);
  Measurement m;
  const size_t at = run.out.find("<pre id=\"measure\">");
  if (at == std::string::npos) return m;
  sscanf(run.out.c_str() + at,
         "<pre id=\"measure\">scrollWidth=%d clientWidth=%d innerWidth=%d requests=%d "
         "fetchers=%d broken=%d",
         &m.scrollWidth, &m.clientWidth, &m.innerWidth, &m.requests, &m.fetchers, &m.broken);
  return m;
}

TEST(BrowserCheck, ModernPageOfAYearFitsAPhoneAndADesktopAndFetchesNothing) {
  const std::string browser = FindBrowser();
  if (browser.empty()) {
    GTEST_SKIP() << "Chromium is missing: install Debian's chromium to run this test";
  }
  TempDir work;
  WriteFile(work / "format.txt", test_support::kFormat);
  WriteFile(work / "year.log", test_support::YearLongLog());
  WriteFile(work / "modern.conf", "page_layout=modern\ncharset=utf-8\nchanname=year\n");
  RunOptions options;
  options.workDir = work.path.string();
  RunResult run = RunProgram(
      TALLYWICK_BINARY, {"-p", "format.txt", "-r", "modern.conf", "-o", "page.html", "year.log"},
      options);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string page = ReadFile(work / "page.html");
  ASSERT_NE(page.find("One column per week (Monday to Sunday), 53 in all"), std::string::npos);

  for (int width : {390, 1280}) {
    const Measurement m = Measure(browser, work, page, width);
    ASSERT_NE(m.scrollWidth, -1) << "the browser wrote no measurement at width " << width;
    EXPECT_EQ(m.innerWidth, width) << "the frame is not as wide as asked";
    EXPECT_EQ(m.scrollWidth, m.clientWidth) << "the page scrolls sideways at width " << width;
    EXPECT_EQ(m.requests, 0) << "requests at width " << width;
    EXPECT_EQ(m.fetchers, 0) << "elements that fetch at width " << width;
    EXPECT_EQ(m.broken, 0) << "images that did not load at width " << width;
  }
}

// The probe itself must see what it looks for: a page that is too wide and
// asks for an image from elsewhere fails every count.
TEST(BrowserCheck, TheProbeSeesOverflowAndRequests) {
  const std::string browser = FindBrowser();
  if (browser.empty()) {
    GTEST_SKIP() << "Chromium is missing: install Debian's chromium to run this test";
  }
  TempDir work;
  const std::string page =
      "<!DOCTYPE html><html lang=\"en\"><head><title>t</title></head><body>"
      "<div style=\"width:2000px\">wide</div><img src=\"http://example.invalid/a.png\" alt=\"\">"
      "</body></html>";
  const Measurement m = Measure(browser, work, page, 390);
  ASSERT_NE(m.scrollWidth, -1) << "the browser wrote no measurement";
  EXPECT_GT(m.scrollWidth, m.clientWidth);
  EXPECT_EQ(m.fetchers, 1);
  EXPECT_EQ(m.broken, 1);
  EXPECT_GE(m.requests, 1);
}

}  // namespace
