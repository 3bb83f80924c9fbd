#include "logformat/classification.h"

#include <cerrno>
#include <cstring>
#include <new>

// The own matcher fills as many positions as regexec is asked for.
static_assert(kRegexPositions == kMatchPositions);

namespace {

// Whether the entry's pattern matches the line, its positions in `match`.
// The own matchers of a table share its buffers for the parts.
bool EntryMatches(const LineTypeTable& table, const LineTypeEntry& entry, const char* line,
                  size_t length, LineMatch& match) {
  // The own matcher gives what regexec gives; a line it leaves undecided
  // goes to regexec.
  RegexOutcome outcome = RegexOutcome::kUndecided;
  if (entry.own != nullptr) {
    outcome = RunRegexMatcher(*entry.own, *table.partsScratch, line, length, match.positions);
  }
  if (outcome == RegexOutcome::kNoMatch) return false;
  errno = 0;
  int result = outcome == RegexOutcome::kMatch
                   ? 0
                   : regexec(&entry.pattern.re, line, kMatchPositions, match.positions, 0);
  if (result == 0) return true;
  // The matcher's tables grow with the line; without memory for them the
  // line is not known to be unmatched, and the run cannot go on. The C
  // library's matcher reports that as no match, so errno tells the two
  // apart.
  if (result == REG_ESPACE || errno == ENOMEM) throw std::bad_alloc();
  return false;
}

}  // namespace

LineMatch ClassifyLine(const LineTypeTable& table, const char* line) {
  LineMatch match;
  size_t length = strlen(line);
  int place = 0;
  for (LineType type : table.order) {
    if (place++ == table.misfitAt && table.misfit.pattern.compiled &&
        EntryMatches(table, table.misfit, line, length, match)) {
      match.type = kTypeNull;
      match.misfit = true;
      return match;
    }
    const LineTypeEntry& entry = table.types[type];
    if (!entry.pattern.compiled) continue;
    if (EntryMatches(table, entry, line, length, match)) {
      match.type = type;
      return match;
    }
  }
  // Named after every type, it only tells which unmatched lines are misfits.
  match.type = kTypeNull;
  match.misfit = place <= table.misfitAt && table.misfit.pattern.compiled &&
                 EntryMatches(table, table.misfit, line, length, match);
  return match;
}

size_t StripAnsiCodes(char* text, size_t length) {
  char* escape = static_cast<char*>(memchr(text, '\x1b', length));
  if (escape == nullptr) return length;
  size_t out = static_cast<size_t>(escape - text);
  for (size_t in = out; in < length; ++in) {
    if (text[in] != '\x1b') {
      text[out++] = text[in];
      continue;
    }
    // Drop the ESC and everything up to and including the next "m"; without
    // one, everything to the end goes.
    const char* m = static_cast<const char*>(memchr(text + in, 'm', length - in));
    if (m == nullptr) break;
    in = static_cast<size_t>(m - text);
  }
  text[out] = '\0';
  return out;
}
