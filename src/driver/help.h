// The two questions a first word can ask instead of starting a run: how to
// use the program, and which version it is.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

enum class FirstWordRequest {
  kRun,      // anything else: the words are read as options and operands
  kHelp,     // "--help" or "-h" as the first word
  kVersion,  // "--version" as the first word
};

// What the first of `args` (the words after the program name) asks for.
// Only the first word is looked at: a later "-h" is an unknown option.
FirstWordRequest RequestOfFirstWord(const std::vector<std::string>& args);

// Writes the usage text or the version line to `out` and returns the exit
// status: 0, or 255 when `out` could not be written.
int AnswerFirstWord(FirstWordRequest request, FILE* out);
