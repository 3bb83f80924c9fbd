// Opening and finishing the page's output. A page written to a file
// replaces the old one only once it is complete, and never through a
// symbolic link that another user may have planted in a shared folder.
#pragma once

#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

// The signal actions that the removal of a temporary page replaced while it
// is being written: SIGINT, SIGTERM and SIGHUP, in that order.
struct SignalCleanup {
  struct sigaction replaced[3] = {};
  bool installed[3] = {};
};

struct PageOutput {
  FILE* stream = nullptr;
  std::string path;      // as given on the command line; "-" for standard output
  std::string target;    // the file that is finally replaced
  std::string tempPath;  // empty when writing straight to the target
  // The target, open for writing, when the temporary file could not be made
  // beside it: the complete page is then copied over it; -1 otherwise.
  int copyOver = -1;
  bool isStdout = false;
  SignalCleanup cleanup;
};

// Where a page path leads once its symbolic links are followed.
struct PagePath {
  std::string target;       // the file the page goes to
  int descriptor = -1;      // an open descriptor the path names (/proc/self/fd/N), or -1
  std::string refusedLink;  // set when a link on the path must not be followed
};

// Follows the links on `path` one by one as opening it would, except that a
// link in a sticky, world-writable folder is followed only when it belongs
// to the running user or to the folder's owner. Returns false, with the
// link in `into.refusedLink`, when such a link is met.
bool ResolvePagePath(const std::string& path, PagePath& into);

// Checks, before any log is read, that the page may go to `path`: no link
// on it is refused, and it is none of `inputs` (the files named on the
// command line, "-" for standard input), compared through links. A refusal
// is reported on standard error and returns false.
bool CheckPagePath(const std::string& path, const std::vector<std::string>& inputs);

// Opens the output for `path`. Returns false when it cannot be opened.
bool OpenPageOutput(const std::string& path, PageOutput& output);

// Flushes and closes the output and, for a temporary file, renames or
// copies it over the target. On any failure reports it with perror, removes
// the temporary file and returns false.
bool FinishPageOutput(PageOutput& output);
