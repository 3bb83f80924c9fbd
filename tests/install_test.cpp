// What ships around the program: the installation, the man page, the
// example settings file and the bar images, each checked against the
// program itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/settings.h"
#include "run_binary.h"

using test_support::FileExists;
using test_support::FolderEntries;
using test_support::ReadFile;
using test_support::RunOptions;
using test_support::RunProgram;
using test_support::TempDir;
using test_support::TextStream;

namespace fs = std::filesystem;

namespace {

const std::string kSource = TALLYWICK_SOURCE_DIR;

// The full path of a program found on PATH, or the empty text.
std::string FindOnPath(const std::string& program) {
  const char* path = getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    std::string candidate = folder + "/" + program;
    if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// Every regular file under `root`, as paths relative to it.
std::set<std::string> FilesUnder(const fs::path& root) {
  std::set<std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_directory()) files.insert(fs::relative(entry.path(), root).string());
  }
  return files;
}

std::vector<std::string> Shipped(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> names;
  for (const std::string& name : FolderEntries(kSource + "/" + folder)) {
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      names.push_back(name);
    }
  }
  return names;
}

TEST(Install, InstallsAWorkingProgramAndUninstallRemovesExactlyItsFiles) {
  std::string make = FindOnPath("make");
  if (make.empty()) GTEST_SKIP() << "make is not installed";

  TempDir stage;
  RunOptions options;
  // Run as a fresh make, not as a child of whatever make runs the tests.
  options.env["MAKEFLAGS"] = std::nullopt;
  options.env["MFLAGS"] = std::nullopt;
  options.env["MAKELEVEL"] = std::nullopt;
  std::vector<std::string> variables = {"DESTDIR=" + stage.path.string(), "PREFIX=/opt/t-w",
                                        std::string("INSTALL_BINARY=") + TALLYWICK_BINARY};
  std::vector<std::string> install = {"-s", "-C", kSource, "install"};
  install.insert(install.end(), variables.begin(), variables.end());
  auto installed = RunProgram(make, install, options);
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;

  fs::path prefix = stage.path / "opt/t-w";
  std::set<std::string> expected = {"bin/tallywick", "share/man/man1/tallywick.1",
                                    "share/tallywick/tallywick.conf"};
  for (const std::string& name : Shipped("formats", ".txt")) {
    expected.insert("share/tallywick/formats/" + name);
  }
  for (const std::string& name : Shipped("images", ".png")) {
    expected.insert("share/tallywick/images/" + name);
  }
  ASSERT_EQ(FilesUnder(stage.path / "opt/t-w"), expected);
  EXPECT_EQ(ReadFile((prefix / "share/tallywick/formats/irssi.txt").string()),
            ReadFile(kSource + "/formats/irssi.txt"));
  EXPECT_EQ(fs::status(prefix / "bin/tallywick").permissions() & fs::perms::owner_exec,
            fs::perms::owner_exec);

  // The installed manual names the chosen prefix wherever the source names
  // the default one, written for roff, and nothing else changes.
  std::string manual = ReadFile(kSource + "/doc/tallywick.1");
  const std::string chosen = "/opt/t\\-w";
  size_t defaults = 0;
  for (size_t at = manual.find("/usr/local"); at != std::string::npos;
       at = manual.find("/usr/local", at + chosen.size()), ++defaults) {
    manual.replace(at, 10, chosen);
  }
  EXPECT_GE(defaults, 5u);
  EXPECT_EQ(ReadFile((prefix / "share/man/man1/tallywick.1").string()), manual);

  // The installed program reads a log with an installed format and the
  // installed settings.
  TempDir work;
  std::string page = work / "index.html";
  auto run = RunProgram((prefix / "bin/tallywick").string(),
                        {"-p", (prefix / "share/tallywick/formats/irssi.txt").string(), "-r",
                         (prefix / "share/tallywick/tallywick.conf").string(), "-v", "-o", page,
                         kSource + "/examples/irssi.log"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("Failed to parse"), std::string::npos) << run.err;
  std::string html = ReadFile(page);
  EXPECT_NE(html.find("carol"), std::string::npos);
  EXPECT_NE(html.find("</html>"), std::string::npos);

  // It finds an installed format by its name, from any folder.
  std::string byName = work / "by-name.html";
  auto named = RunProgram((prefix / "bin/tallywick").string(),
                          {"-p", "irssi", "-r", (prefix / "share/tallywick/tallywick.conf").string(),
                           "-o", byName, kSource + "/examples/irssi.log"});
  EXPECT_EQ(named.status, 0) << named.err;
  EXPECT_EQ(ReadFile(byName), html);

  // A file of the user's beside the installed ones survives the uninstall,
  // and so does the folder that holds it.
  std::string own = (prefix / "share/tallywick/formats/mine.txt").string();
  test_support::WriteFile(own, "; my own format\n");
  std::vector<std::string> uninstall = {"-s", "-C", kSource, "uninstall"};
  uninstall.insert(uninstall.end(), variables.begin(), variables.end());
  auto removed = RunProgram(make, uninstall, options);
  ASSERT_EQ(removed.status, 0) << removed.out << removed.err;
  EXPECT_EQ(FilesUnder(stage.path), std::set<std::string>{"opt/t-w/share/tallywick/formats/mine.txt"});

  fs::remove(own);
  removed = RunProgram(make, uninstall, options);
  ASSERT_EQ(removed.status, 0) << removed.out << removed.err;
  EXPECT_TRUE(FilesUnder(stage.path).empty());
  EXPECT_FALSE(fs::exists(prefix / "share/tallywick")) << "the emptied data folders go too";
}

TEST(ManPage, RendersWithoutWarningsAndCoversOptionsKeysAndFormats) {
  std::string page = ReadFile(kSource + "/doc/tallywick.1");
  ASSERT_FALSE(page.empty());
  // Roff writes a "-" in an option as "\-".
  for (const char* option : {"\\-p", "\\-r", "\\-o", "\\-b", "\\-v", "\\-i", "\\-l", "\\-n",
                             "\\-s", "\\-t"}) {
    EXPECT_NE(page.find(option), std::string::npos) << option;
  }
  for (const SettingEntry& entry : DefaultSettings().entries) {
    EXPECT_NE(page.find(entry.key), std::string::npos) << "setting " << entry.key;
  }
  for (std::string name : Shipped("formats", ".txt")) {
    // A "-" in a file name is written "\-" as well.
    for (size_t at = name.find('-'); at != std::string::npos; at = name.find('-', at + 2)) {
      name.insert(at, "\\");
    }
    EXPECT_NE(page.find(name), std::string::npos) << "format " << name;
  }
  for (const char* section : {".SH SYNOPSIS", ".SH OPTIONS", ".SH SETTINGS", ".SH FORMAT FILES",
                              ".SH EXIT STATUS", ".SH FILES", ".SH EXAMPLES"}) {
    EXPECT_NE(page.find(section), std::string::npos) << section;
  }

  std::string groff = FindOnPath("groff");
  if (groff.empty()) GTEST_SKIP() << "groff is not installed, so the rendering is not checked";
  auto run = RunProgram(groff, {"-ww", "-man", "-z", kSource + "/doc/tallywick.1"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "") << "groff warnings";
}

// The example settings file lists every key with its true default: with
// every commented-out "#key=value" line put into force, the settings come
// out as the built-in ones, apart from the charset that the file sets.
TEST(ExampleSettings, ListsEveryKeyWithItsDefault) {
  std::string text = ReadFile(kSource + "/examples/tallywick.conf");
  ASSERT_FALSE(text.empty());
  Settings defaults = DefaultSettings();

  Settings asShipped = DefaultSettings();
  {
    TextStream in(text);
    ReadSettings(in.stream, asShipped, 0);
  }
  std::string uncommented;
  std::set<std::string> listed;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > 1 && line[0] == '#' && line.find('=') != std::string::npos &&
        line.find(' ') > line.find('=')) {
      line.erase(0, 1);
    }
    size_t equals = line.find('=');
    if (line[0] != '#' && equals != std::string::npos) listed.insert(line.substr(0, equals));
    uncommented += line + "\n";
  }
  Settings allListed = DefaultSettings();
  {
    TextStream in(uncommented);
    ReadSettings(in.stream, allListed, 0);
  }

  for (size_t i = 0; i < defaults.entries.size(); ++i) {
    const std::string key = defaults.entries[i].key;
    EXPECT_EQ(listed.count(key), 1u) << key << " is not listed";
    std::string expected = key == "charset" ? "utf-8" : defaults.entries[i].value;
    EXPECT_EQ(allListed.entries[i].value, expected) << key;
    EXPECT_EQ(asShipped.entries[i].value, expected) << key << " as shipped";
  }
  for (const std::string& key : listed) {
    bool known = false;
    for (const SettingEntry& entry : defaults.entries) known = known || key == entry.key;
    EXPECT_TRUE(known) << "unknown key " << key;
  }
}

// The eight bar images the page names are shipped, as PNG files with the
// bar's thickness across and one colour per quarter.
TEST(BarImages, ThePageNamesExactlyTheShippedImages) {
  std::set<std::string> shipped;
  for (const std::string& name : Shipped("images", ".png")) shipped.insert(name);
  std::set<std::string> expected;
  for (int quarter = 1; quarter <= 4; ++quarter) {
    for (const char* direction : {"v", "h"}) {
      expected.insert("pipe" + std::to_string(quarter) + direction + ".png");
    }
  }
  EXPECT_EQ(shipped, expected);

  std::set<std::string> contents;
  for (const std::string& name : expected) {
    std::string png = ReadFile(kSource + "/images/" + name);
    ASSERT_GE(png.size(), 24u) << name;
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << name;
    EXPECT_EQ(png.substr(12, 4), "IHDR") << name;
    auto be32 = [&png](size_t at) {
      return (static_cast<unsigned char>(png[at]) << 24) |
             (static_cast<unsigned char>(png[at + 1]) << 16) |
             (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
    };
    unsigned width = be32(16), height = be32(20);
    if (name[5] == 'v') {
      EXPECT_GT(width, height) << name << ": shaded across, stretched up";
    } else {
      EXPECT_GT(height, width) << name << ": shaded across, stretched sideways";
    }
    contents.insert(png);
  }
  EXPECT_EQ(contents.size(), expected.size()) << "no two images are the same";

  // Every local image a page refers to is one of them.
  TempDir dir;
  std::string page = dir / "index.html";
  auto run = RunProgram(TALLYWICK_BINARY, {"-p", kSource + "/formats/irssi.txt", "-o", page,
                                           kSource + "/examples/irssi.log"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string html = ReadFile(page);
  std::set<std::string> named;
  for (size_t at = html.find("src=\""); at != std::string::npos; at = html.find("src=\"", at + 1)) {
    size_t end = html.find('"', at + 5);
    std::string source = html.substr(at + 5, end - at - 5);
    if (source.find("://") == std::string::npos) named.insert(source);  // not the remote badge
  }
  EXPECT_GE(named.size(), 4u);
  for (const std::string& name : named) EXPECT_EQ(shipped.count(name), 1u) << name;
}

}  // namespace
