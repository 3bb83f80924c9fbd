// Fuzzes a whole run. The input is cut at the lines "----" into up to five
// parts: a line of option letters, the format file, a settings file, the
// log and an exclusion file. The letters: each "v" adds a -v, "t" reads
// with two classifying threads, "b" passes the exclusion file, "m" passes
// one that does not exist and "d" a folder as the exclusion file, "2" names
// the log twice.
//
// Checked: the status is 0 or 255; with 0 the page is complete; with 255
// the page that was there before is untouched; an exclusion file that
// cannot be read always ends with 255.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr std::string_view kSeparator = "\n----\n";
constexpr const char* kOldPage = "the page of an earlier run\n";

struct Workspace {
  std::string folder;
  std::string Path(const char* name) const { return folder + "/" + name; }
};

const Workspace& TheWorkspace() {
  static const Workspace* workspace = [] {
    char pattern[] = "/tmp/tallywick-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    auto* w = new Workspace{pattern};
    atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(TheWorkspace().folder, ignored);
    });
    return w;
  }();
  return *workspace;
}

void WriteFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string_view> SplitParts(std::string_view input) {
  std::vector<std::string_view> parts;
  while (parts.size() < 4) {
    size_t cut = input.find(kSeparator);
    if (cut == std::string_view::npos) break;
    parts.push_back(input.substr(0, cut));
    input.remove_prefix(cut + kSeparator.size());
  }
  parts.push_back(input);
  parts.resize(5);
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("SOURCE_DATE_EPOCH", "1000000000", 1);
  setenv("TZ", "UTC", 1);
  TheWorkspace();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Workspace& w = TheWorkspace();
  std::vector<std::string_view> parts =
      SplitParts(std::string_view(reinterpret_cast<const char*>(data), size));
  // The ignore patterns of the settings are basic expressions, where "\\1"
  // is a backreference too.
  if (fuzz_support::MayHoldBackReference(parts[1]) ||
      fuzz_support::MayHoldBackReference(parts[2])) {
    return -1;  // kept out of the corpus
  }
  std::string_view letters = parts[0];
  std::string format = w.Path("format.txt"), settings = w.Path("settings.conf");
  std::string log = w.Path("channel.log"), exclusion = w.Path("exclude.txt");
  std::string page = w.Path("index.html");
  WriteFile(format, parts[1]);
  WriteFile(settings, parts[2]);
  WriteFile(log, parts[3]);
  WriteFile(exclusion, parts[4]);
  WriteFile(page, kOldPage);

  std::vector<std::string> args;
  for (char letter : letters) {
    if (letter == 'v' && args.size() < 4) args.push_back("-v");
  }
  args.insert(args.end(), {"-p", format, "-r", settings, "-o", page});
  bool unreadableExclusion = false;
  if (letters.find('m') != std::string_view::npos) {
    args.insert(args.end(), {"-b", w.Path("no-such-exclusion.txt")});
    unreadableExclusion = true;
  } else if (letters.find('d') != std::string_view::npos) {
    args.insert(args.end(), {"-b", w.folder});
    unreadableExclusion = true;
  } else if (letters.find('b') != std::string_view::npos) {
    args.insert(args.end(), {"-b", exclusion});
  }
  args.push_back(log);
  if (letters.find('2') != std::string_view::npos) args.push_back(log);
  setenv("TALLYWICK_THREADS", letters.find('t') != std::string_view::npos ? "2" : "1", 1);

  int status = RunTallywick(args);
  std::string written = ReadFile(page);
  if (unreadableExclusion && status != kExitFatal) {
    fuzz_support::Finding("a run with an unreadable exclusion file did not fail");
  }
  if (status == kExitOk) {
    // The classic page, or the modern one when the settings ask for it.
    const bool classic = written.starts_with("<!DOCTYPE HTML PUBLIC") &&
                         written.ends_with("</center></body></html>");
    const bool modern = written.starts_with("<!DOCTYPE html>\n") &&
                        written.ends_with("</footer>\n</body>\n</html>\n");
    if (!classic && !modern) {
      fuzz_support::Finding("a run that succeeded left an incomplete page");
    }
  } else if (status == kExitFatal) {
    if (written != kOldPage) fuzz_support::Finding("a failed run changed the old page");
  } else {
    fuzz_support::Finding("an exit status other than 0 and 255");
  }
  return 0;
}
