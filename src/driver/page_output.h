// Opening and finishing the page's output. A page written to a file
// replaces the old one only once it is complete.
#pragma once

#include <cstdio>
#include <string>

struct PageOutput {
  FILE* stream = nullptr;
  std::string path;      // as given on the command line; "-" for standard output
  std::string target;    // the file that is finally replaced
  std::string tempPath;  // empty when writing straight to the target
  bool isStdout = false;
};

// Opens the output for `path`. Returns false when it cannot be opened.
bool OpenPageOutput(const std::string& path, PageOutput& output);

// Flushes and closes the output and, for a temporary file, renames it over
// the target. On any failure reports it with perror, removes the temporary
// file and returns false.
bool FinishPageOutput(PageOutput& output);
