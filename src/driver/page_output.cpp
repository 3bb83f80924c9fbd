#include "driver/page_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a path finally names: a symbolic link is followed, also when the
// file it points to does not exist yet, so that this file is created as
// opening the link for writing would create it.
std::string ResolveTarget(const std::string& path) {
  struct stat link;
  if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  std::string target = path;
  for (int hops = 0; hops < 40; ++hops) {
    ssize_t length = readlink(target.c_str(), resolved, sizeof resolved - 1);
    if (length <= 0) break;  // not a link any more
    std::string next(resolved, static_cast<size_t>(length));
    target = next[0] == '/' ? next : FolderOf(target) + "/" + next;
  }
  return target;
}

// Opens a temporary file beside `target` with the mode the page should
// end up with; false when none can be made there.
bool OpenTemporary(PageOutput& output) {
  struct stat existing;
  bool exists = stat(output.target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) return false;  // a loop of links, say: let fopen decide
  if (exists && !S_ISREG(existing.st_mode)) return false;  // a device or FIFO: write directly
  // A page the user may not write stays as it is: fopen then refuses it.
  if (exists && access(output.target.c_str(), W_OK) != 0) return false;

  std::string pattern = FolderOf(output.target) + "/.tallywick-page-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return false;
  mode_t mode;
  if (exists) {
    mode = existing.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  FILE* stream = fchmod(fd, mode) == 0 ? fdopen(fd, "w") : nullptr;
  if (stream == nullptr) {
    close(fd);
    unlink(name.data());
    return false;
  }
  output.stream = stream;
  output.tempPath = name.data();
  return true;
}

}  // namespace

bool OpenPageOutput(const std::string& path, PageOutput& output) {
  output = PageOutput();
  output.path = path;
  if (path == "-") {
    output.stream = stdout;
    output.isStdout = true;
    return true;
  }
  output.target = ResolveTarget(path);
  if (OpenTemporary(output)) return true;
  output.stream = fopen(output.target.c_str(), "wt");
  return output.stream != nullptr;
}

bool FinishPageOutput(PageOutput& output) {
  const char* label = output.isStdout ? "standard output" : output.path.c_str();
  bool failed = fflush(output.stream) != 0 || ferror(output.stream);
  if (failed) perror(label);
  if (fclose(output.stream) != 0 && !failed) {
    perror(label);
    failed = true;
  }
  output.stream = nullptr;
  if (output.tempPath.empty()) return !failed;
  if (!failed && rename(output.tempPath.c_str(), output.target.c_str()) != 0) {
    perror(label);
    failed = true;
  }
  if (failed) unlink(output.tempPath.c_str());
  return !failed;
}
