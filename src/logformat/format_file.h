// The log format specification: one POSIX extended regular expression per
// kind of log line, and which subexpression holds which part of the line.
#pragma once

#include <regex.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "regex/regex_matcher.h"
#include "stats/line_type.h"

// The pieces a line may give, in the order the format file's part lists name them.
enum LinePart : int {
  kPartTime = 0,
  kPartNick = 1,
  kPartOtherNick = 2,
  kPartString = 3,
  kPartDate = 4,
  kPartChannel = 5,
  kLinePartCount = 6,
};

// The matcher is asked for the whole match and subexpressions 1 to 11.
constexpr int kMatchPositions = 12;

// A compiled POSIX regular expression that frees itself.
struct CompiledRegex {
  regex_t re{};
  bool compiled = false;

  CompiledRegex() = default;
  CompiledRegex(const CompiledRegex&) = delete;
  CompiledRegex& operator=(const CompiledRegex&) = delete;
  ~CompiledRegex() {
    if (compiled) regfree(&re);
  }
};

// Which matcher classifies lines: the program's own wherever it takes the
// expression (regexec for the rest), or regexec for everything, as a check
// that both give the same results.
enum class MatcherChoice { kOwn, kLibc };

struct LineTypeEntry {
  CompiledRegex pattern;
  // The program's own matcher for the same expression; null when it does
  // not take the expression or regexec was chosen. Matching changes its
  // cache, so a table is used by one thread at a time.
  std::unique_ptr<RegexMatcher> own;
  std::string expanded;  // the compiled pattern's text, for compiling copies
  // Per LinePart, the subexpression that holds it; 0 when the type lacks it.
  int32_t parts[kLinePartCount] = {0, 0, 0, 0, 0, 0};
};

struct LineTypeTable {
  LineTypeEntry types[kLineTypeCount];  // indexed by LineType; "null" is never compiled
  // The types in the order classification tries them; an "order" definition
  // may put some first, the others follow in table order.
  LineType order[kLineTypeCount - 1] = {kTypeText,  kTypeAction, kTypeJoin,      kTypePart,
                                        kTypeQuit,  kTypeKick,   kTypeTopic,     kTypeNick,
                                        kTypeMode,  kTypeDateStamp, kTypeChannel};
  // A "filename" definition: matched against a log file's name, its date
  // part names the day of the file's lines before any date inside it.
  LineTypeEntry fileName;
  // A "misfit" definition: a line of the client that no type of the format
  // understands (an event in a language or shape it does not read). Such a
  // line counts as unmatched instead of falling into a type whose shape it
  // happens to have. Tried just before order[misfitAt]; not compiled when
  // the format has none.
  LineTypeEntry misfit;
  int misfitAt = 0;
  // The own matchers' buffers for the parts of a match, shared by all the
  // types: one thread matches with a table at a time, so its memory for
  // them is bounded per thread, whatever the number of types.
  std::unique_ptr<RegexPartsScratch> partsScratch = std::make_unique<RegexPartsScratch>();
};

// The keyword of a line type or a line part, as the format file writes it.
// The empty text for a number that names none.
const char* LineTypeKeyword(int type);
const char* LinePartKeyword(int part);

// Reads the format file from `in` (opened and closed by the caller) into
// `table`. Writes every complaint to standard error. Returns false when the
// file leaves a type undefined or cannot be read; the run must then end with
// status 255.
bool ReadLogFormatSpec(FILE* in, int verbosity, LineTypeTable& table,
                       MatcherChoice matcher = MatcherChoice::kOwn);

// Compiles the patterns of `from` once more into `into`, with the same
// part maps and matchers. A compiled pattern serialises the threads that
// match with it, and the own matcher may not be shared at all, so each
// classifying thread works on a copy of its own.
bool CopyLineTypeTable(const LineTypeTable& from, LineTypeTable& into);

// Expands the "[:nick:]" and "[:uh:]" macros of a format expression.
std::string ExpandFormatMacros(const std::string& expression);
