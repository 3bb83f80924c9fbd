#include "driver/page_output.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Links followed on one path before it counts as a loop, as the kernel counts.
constexpr int kMaxLinks = 40;

// The signals that remove a temporary page before they end the process.
constexpr int kCleanupSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// The one piece of mutable process-wide state: a signal handler is given
// nothing but the signal's number, so the name of the temporary page it
// removes has to be where the handler can reach it without allocating. It
// is written only while no cleanup handler is installed (one page is written
// at a time), and read only by the handler.
char temporaryPageForSignals[PATH_MAX];

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// ---- Following the links of a page path ----

std::string Joined(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder == "/") return "/" + name;
  return folder + "/" + name;
}

// The folder above `folder`, a path whose every name is a real folder (no
// link), so that its last name can simply be dropped.
std::string ParentOf(const std::string& folder) {
  if (folder == "/") return folder;
  if (folder.empty()) return "..";
  size_t slash = folder.rfind('/');
  std::string last = slash == std::string::npos ? folder : folder.substr(slash + 1);
  if (last == "..") return folder + "/..";
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : folder.substr(0, slash);
}

// The names of a path still to be walked, the next one last.
struct PathWalk {
  std::vector<std::string> pending;
  std::string current;  // the folders walked so far; "" is the working folder
  int links = 0;
};

void PushNames(const std::string& path, PathWalk& walk) {
  std::vector<std::string> names;
  for (size_t start = 0; start <= path.size();) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    if (slash > start) names.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  walk.pending.insert(walk.pending.end(), names.rbegin(), names.rend());
}

// Ends the walk at `path` followed by the names not walked yet, as written:
// opening that path then fails or succeeds as it would have anyway.
void StopAt(std::string path, PathWalk& walk) {
  while (!walk.pending.empty()) {
    path = Joined(path, walk.pending.back());
    walk.pending.pop_back();
  }
  walk.current = path;
}

// The kernel's rule for protected links: a link in a folder that is both
// sticky and writable by everyone (/tmp) is followed only when it belongs
// to the user following it or to the folder's owner, since anybody may
// have planted it there.
bool MayFollowLink(const std::string& folder, const struct stat& link) {
  struct stat holder;
  if (stat(folder.empty() ? "." : folder.c_str(), &holder) != 0) return false;
  bool shared = (holder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
  return !shared || link.st_uid == geteuid() || link.st_uid == holder.st_uid;
}

// The descriptor that `name` stands for when `folder` is this process's
// own /proc/<pid>/fd, where /dev/stdout, /dev/stderr and /dev/fd/N lead;
// -1 otherwise.
int DescriptorNamed(const std::string& folder, const std::string& name) {
  if (folder != "/proc/" + std::to_string(getpid()) + "/fd") return -1;
  if (name.empty() || name.size() > 9 || strspn(name.c_str(), "0123456789") != name.size()) {
    return -1;
  }
  int descriptor = atoi(name.c_str());
  return fcntl(descriptor, F_GETFD) == -1 ? -1 : descriptor;
}

// True for a link the kernel follows to an object that has no path, such
// as a pipe or a socket behind /proc/<pid>/fd/N: its text ("pipe:[...]")
// names nothing, yet the link leads somewhere.
bool LeadsToNamelessObject(const std::string& link, const std::string& folder,
                           const std::string& text) {
  struct stat object;
  struct stat named;
  return text[0] != '/' && stat(link.c_str(), &object) == 0 &&
         lstat(Joined(folder, text).c_str(), &named) != 0;
}

enum class LinkStep { kWalkOn, kStop, kRefused };

// Follows the link `name` met in walk.current.
LinkStep FollowLink(const std::string& name, const struct stat& entry, PathWalk& walk,
                    PagePath& into) {
  std::string link = Joined(walk.current, name);
  if (!MayFollowLink(walk.current, entry)) {
    into.refusedLink = link;
    return LinkStep::kRefused;
  }
  if (walk.pending.empty()) into.descriptor = DescriptorNamed(walk.current, name);
  char text[PATH_MAX];
  ssize_t length = ++walk.links > kMaxLinks ? -1 : readlink(link.c_str(), text, sizeof text);
  if (into.descriptor >= 0 || length <= 0 || static_cast<size_t>(length) >= sizeof text) {
    StopAt(link, walk);  // a loop of links, say: opening the path reports it
    return LinkStep::kStop;
  }
  std::string target(text, static_cast<size_t>(length));
  if (LeadsToNamelessObject(link, walk.current, target)) {
    StopAt(link, walk);
    return LinkStep::kStop;
  }
  if (target[0] == '/') walk.current.assign(1, '/');
  PushNames(target, walk);
  return LinkStep::kWalkOn;
}

// ---- Removing a temporary page when a signal ends the run ----

extern "C" void RemoveTemporaryPageAndDie(int signal) {
  unlink(temporaryPageForSignals);
  // SA_RESETHAND restored the default action on entry, and the signal is
  // blocked while this handler runs: raised again, it ends the process as
  // soon as the handler returns, with the status that signal gives.
  raise(signal);
}

void InstallSignalCleanup(PageOutput& output) {
  if (output.tempPath.size() >= sizeof temporaryPageForSignals) return;  // no such name is made
  memcpy(temporaryPageForSignals, output.tempPath.c_str(), output.tempPath.size() + 1);
  struct sigaction action = {};
  action.sa_handler = RemoveTemporaryPageAndDie;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal : kCleanupSignals) sigaddset(&action.sa_mask, signal);
  for (int i = 0; i < 3; ++i) {
    struct sigaction& replaced = output.cleanup.replaced[i];
    // A signal the run was started with ignored (nohup) stays ignored.
    if (sigaction(kCleanupSignals[i], nullptr, &replaced) != 0 || replaced.sa_handler == SIG_IGN) {
      continue;
    }
    output.cleanup.installed[i] = sigaction(kCleanupSignals[i], &action, nullptr) == 0;
  }
}

void RemoveSignalCleanup(PageOutput& output) {
  for (int i = 0; i < 3; ++i) {
    if (output.cleanup.installed[i])
      sigaction(kCleanupSignals[i], &output.cleanup.replaced[i], nullptr);
    output.cleanup.installed[i] = false;
  }
}

// ---- Opening ----

mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Makes a temporary file in `folder` with `mode` for the page.
bool MakeTemporary(const std::string& folder, mode_t mode, PageOutput& output) {
  std::string pattern = Joined(folder, ".tallywick-page-XXXXXX");
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return false;
  FILE* stream = fchmod(fd, mode) == 0 ? fdopen(fd, "w") : nullptr;
  if (stream == nullptr) {
    int error = errno;
    close(fd);
    unlink(name.data());
    errno = error;
    return false;
  }
  output.stream = stream;
  output.tempPath = name.data();
  InstallSignalCleanup(output);
  return true;
}

// The page goes straight to the target: a device, a FIFO, a new file when
// no temporary file can be made, or a path that opening will refuse.
bool OpenDirectly(PageOutput& output) {
  output.stream = fopen(output.target.c_str(), "wt");
  return output.stream != nullptr;
}

// The page goes to a descriptor the run already has open (the file it was
// started with as standard output, say): written at its offset and with its
// flags, so that an appending descriptor keeps what its file holds.
bool OpenDescriptor(int descriptor, PageOutput& output) {
  fflush(stdout);  // messages already written there come before the page
  fflush(stderr);
  int copy = dup(descriptor);
  output.stream = copy >= 0 ? fdopen(copy, "w") : nullptr;
  if (output.stream == nullptr && copy >= 0) close(copy);
  return output.stream != nullptr;
}

bool IsStandardOutput(const struct stat& file) {
  struct stat out;
  return fstat(STDOUT_FILENO, &out) == 0 && out.st_dev == file.st_dev && out.st_ino == file.st_ino;
}

// A temporary file in $TMPDIR, or /tmp, when none can be made beside the
// page: the complete page is then copied over the old one.
bool OpenTemporaryElsewhere(PageOutput& output) {
  const char* tmpdir = getenv("TMPDIR");
  std::string folder = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
  int target = open(output.target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (target < 0) return false;
  if (!MakeTemporary(folder, 0600, output)) {
    fprintf(stderr,
            "tallywick: no temporary file for the page can be made beside %s nor in %s: %s\n",
            output.target.c_str(), folder.c_str(), strerror(errno));
    close(target);
    return false;
  }
  output.copyOver = target;
  return true;
}

// An existing regular page: the new one is written beside it and renamed
// over it, or written elsewhere and copied over it.
bool OpenOverExistingPage(PageOutput& output, const struct stat& existing) {
  // A page the user may not write stays as it is, even in a folder the
  // user may write.
  if (faccessat(AT_FDCWD, output.target.c_str(), W_OK, AT_EACCESS) != 0) return false;
  if (MakeTemporary(FolderOf(output.target), existing.st_mode & 07777, output)) return true;
  return OpenTemporaryElsewhere(output);
}

void ReportRefusedLink(const std::string& path, const std::string& link) {
  fprintf(stderr,
          "tallywick: refusing to write the page %s: the symbolic link %s is in a sticky, "
          "world-writable folder and belongs to neither you nor the folder's owner\n",
          path.c_str(), link.c_str());
}

// ---- Finishing ----

// Writes all of `size` bytes of `buffer` to `to` at `offset`.
bool WriteAt(int to, const char* buffer, size_t size, off_t offset) {
  while (size > 0) {
    ssize_t written = pwrite(to, buffer, size, offset);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    buffer += written;
    size -= static_cast<size_t>(written);
    offset += written;
  }
  return true;
}

// Copies the page in `from` over the old page in `to`. The room for it is
// reserved first, so that a full disk or a file-size limit stops the copy
// before the old page is touched.
bool CopyBytes(int from, int to) {
  struct stat page;
  struct stat old;
  if (fstat(from, &page) != 0 || fstat(to, &old) != 0) return false;
  if (page.st_size > old.st_size) {
    int error = posix_fallocate(to, old.st_size, page.st_size - old.st_size);
    if (error != 0 && error != EOPNOTSUPP && error != EINVAL && error != ENOSYS) {
      // The reservation may have lengthened the old page: cut it back.
      if (ftruncate(to, old.st_size) != 0) error = errno;
      errno = error;
      return false;
    }
  }
  char buffer[1 << 16];
  for (off_t at = 0; at < page.st_size;) {
    ssize_t got = pread(from, buffer, sizeof buffer, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = EIO;  // the temporary page is shorter than it was
      return false;
    }
    if (!WriteAt(to, buffer, static_cast<size_t>(got), at)) return false;
    at += got;
  }
  return ftruncate(to, page.st_size) == 0;
}

// The copy runs with the cleanup signals held back: once started it ends,
// and a signal that came meanwhile ends the run right after.
bool CopyPageOver(PageOutput& output, const char* label) {
  sigset_t signals;
  sigset_t previous;
  sigemptyset(&signals);
  for (int signal : kCleanupSignals) sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, &previous);
  bool copied = CopyBytes(fileno(output.stream), output.copyOver);
  if (!copied) perror(label);
  if (close(output.copyOver) != 0 && copied) {
    perror(label);
    copied = false;
  }
  output.copyOver = -1;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return copied;
}

}  // namespace

bool ResolvePagePath(const std::string& path, PagePath& into) {
  into = PagePath();
  PathWalk walk;
  PushNames(path, walk);
  if (path.starts_with("/")) walk.current.assign(1, '/');  // not = "/", on which g++ 12 -O3 warns falsely
  while (!walk.pending.empty()) {
    std::string name = std::move(walk.pending.back());
    walk.pending.pop_back();
    if (name == ".") continue;
    if (name == "..") {
      walk.current = ParentOf(walk.current);
      continue;
    }
    struct stat entry;
    std::string next = Joined(walk.current, name);
    bool exists = lstat(next.c_str(), &entry) == 0;
    if (exists && S_ISDIR(entry.st_mode)) {
      walk.current = next;
    } else if (!exists || !S_ISLNK(entry.st_mode)) {
      StopAt(next, walk);  // a file, or nothing yet: the end of the path
    } else if (FollowLink(name, entry, walk, into) == LinkStep::kRefused) {
      return false;
    }
  }
  into.target = walk.current.empty() && !path.empty() ? "." : walk.current;
  if (path.ends_with("/") && !into.target.ends_with("/")) into.target += "/";
  return true;
}

bool CheckPagePath(const std::string& path, const std::vector<std::string>& inputs) {
  if (path == "-") return true;
  PagePath where;
  if (!ResolvePagePath(path, where)) {
    ReportRefusedLink(path, where.refusedLink);
    return false;
  }
  // Only a regular file is destroyed by writing the page into it; a device
  // such as the terminal may well be both an input and the output.
  struct stat page;
  if (stat(path.c_str(), &page) != 0 || !S_ISREG(page.st_mode)) return true;
  for (const std::string& input : inputs) {
    struct stat file;
    bool found = input == "-" ? fstat(STDIN_FILENO, &file) == 0 : stat(input.c_str(), &file) == 0;
    if (found && file.st_dev == page.st_dev && file.st_ino == page.st_ino) {
      fprintf(stderr, "tallywick: refusing to write the page %s over the input %s\n", path.c_str(),
              input == "-" ? "standard input" : input.c_str());
      return false;
    }
  }
  return true;
}

bool OpenPageOutput(const std::string& path, PageOutput& output) {
  output = PageOutput();
  output.path = path;
  if (path == "-") {
    output.stream = stdout;
    output.isStdout = true;
    return true;
  }
  PagePath where;
  if (!ResolvePagePath(path, where)) {
    ReportRefusedLink(path, where.refusedLink);
    return false;
  }
  output.target = where.target;
  if (output.target.empty()) return false;  // an empty path names no file
  if (where.descriptor >= 0) return OpenDescriptor(where.descriptor, output);
  struct stat existing;
  if (stat(output.target.c_str(), &existing) != 0) {
    if (errno != ENOENT) return OpenDirectly(output);  // a loop of links, say: fopen reports it
    // A new page: there is no old one to keep should the temporary fail.
    return MakeTemporary(FolderOf(output.target), NewFileMode(), output) || OpenDirectly(output);
  }
  if (IsStandardOutput(existing)) return OpenDescriptor(STDOUT_FILENO, output);
  if (!S_ISREG(existing.st_mode)) return OpenDirectly(output);  // a device or a FIFO
  return OpenOverExistingPage(output, existing);
}

bool FinishPageOutput(PageOutput& output) {
  const char* label = output.isStdout ? "standard output" : output.path.c_str();
  bool failed = fflush(output.stream) != 0 || ferror(output.stream);
  if (failed) perror(label);
  bool copy = output.copyOver >= 0;
  if (copy && !failed) failed = !CopyPageOver(output, label);
  if (fclose(output.stream) != 0 && !failed) {
    perror(label);
    failed = true;
  }
  output.stream = nullptr;
  if (output.copyOver >= 0) close(output.copyOver);  // the write failed: the old page is untouched
  output.copyOver = -1;
  if (output.tempPath.empty()) return !failed;
  if (!failed && !copy && rename(output.tempPath.c_str(), output.target.c_str()) != 0) {
    perror(label);
    failed = true;
  }
  if (failed || copy) unlink(output.tempPath.c_str());
  RemoveSignalCleanup(output);
  return !failed;
}
