// Deciding the type of a cleaned log line and where its parts lie. Depends
// only on the line and the compiled format, so any thread may classify any
// line, with a table of its own: the own matchers of a table keep a cache
// that one thread at a time may use.
#pragma once

#include <regex.h>

#include <cstddef>

#include "logformat/format_file.h"

// The type of a line and where its parts lie; kTypeNull when no type matches.
// `positions` index the subexpressions that the type's part map names.
struct LineMatch {
  LineType type = kTypeNull;
  // The format's "misfit" definition matched: the line is unmatched, and
  // known to be a line of the client that the format does not read.
  bool misfit = false;
  regmatch_t positions[kMatchPositions];
};

// Tries the patterns of types 1 to 11 in the table's order (the order of the
// types unless the format gave another); the first that matches decides.
// The misfit definition, when there is one, is tried at its place in that
// order; when it matches first, the line is unmatched.
// Throws std::bad_alloc when the matcher runs out of memory.
// REQUIRES: `line` is zero-terminated.
LineMatch ClassifyLine(const LineTypeTable& table, const char* line);

// Removes ANSI escape sequences (ESC up to and including the next "m") in
// place; returns the new length. When anything was removed, a zero byte
// follows the new text. REQUIRES: `text` has room for `length` + 1 bytes.
size_t StripAnsiCodes(char* text, size_t length);
