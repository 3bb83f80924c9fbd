#include "logformat/format_file.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstring>
#include <string>
#include <string_view>

#include "logformat/pattern_size.h"
#include "stats/text_basics.h"

namespace {

const char* const kLineTypeKeywords[kLineTypeCount] = {
    "null", "text", "act",  "join", "part",       "quit",
    "kick", "topic", "nick", "mode", "date_stamp", "channel",
};

const char* const kLinePartKeywords[kLinePartCount] = {
    "time", "nick", "othernick", "string", "date", "channel",
};

// State kept while one format file is read.
struct FormatReading {
  bool defined[kLineTypeCount] = {true};  // "null" counts as defined from the start
  bool orderDefined = false;
  bool fileNameDefined = false;
  bool misfitDefined = false;
  int verbosity = 0;
  MatcherChoice matcher = MatcherChoice::kOwn;
};

int FindLineType(std::string_view key) {
  for (int type = 0; type < kLineTypeCount; ++type) {
    if (NamesEqualIgnoringCase(key, kLineTypeKeywords[type])) return type;
  }
  return -1;
}

int FindLinePart(std::string_view item) {
  for (int part = 0; part < kLinePartCount; ++part) {
    if (NamesEqualIgnoringCase(item, kLinePartKeywords[part])) return part;
  }
  return -1;
}

// Reads a part list: the n-th item names the part that subexpression n holds.
void ReadPartList(std::string_view list, const char* keyword, LineTypeEntry& entry) {
  int subexpression = 0;
  size_t start = 0;
  while (start < list.size()) {
    size_t comma = list.find(',', start);
    size_t end = comma == std::string_view::npos ? list.size() : comma;
    std::string item(list.substr(start, end - start));
    ++subexpression;
    int part = FindLinePart(item);
    if (part >= 0) {
      if (subexpression < kMatchPositions) {
        entry.parts[part] = subexpression;
      } else {
        // The matcher reports subexpressions 1 to 11 only.
        fprintf(stderr, "Line part %s of %s is beyond subexpression %d and is ignored\n",
                item.c_str(), keyword, kMatchPositions - 1);
      }
    } else if (!NamesEqualIgnoringCase(item, "null")) {
      fprintf(stderr, "Unknown line part %s\n", item.c_str());
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
}

// Compiles one definition's expression into its entry; reports a failure
// and leaves the entry uncompiled.
bool CompileDefinition(const std::string& expression, const char* keyword, int verbosity,
                       LineTypeEntry& entry) {
  std::string pattern = ExpandFormatMacros(expression);
  // An expression whose repetitions would compile into millions of copies
  // is refused as the compiler refuses one over its own limit.
  int error = PatternTooLarge(pattern, PatternSyntax::kExtended)
                  ? REG_ESIZE
                  : regcomp(&entry.pattern.re, pattern.c_str(), REG_EXTENDED);
  if (error != 0) {
    char message[2048];
    regerror(error, &entry.pattern.re, message, sizeof message);
    fprintf(stderr, "Error in \"%s\" - %s\n", pattern.c_str(), message);
    return false;
  }
  entry.pattern.compiled = true;
  entry.expanded = pattern;
  if (verbosity > 1) fprintf(stderr, "Compiled regexp \"%s\" for %s\n", pattern.c_str(), keyword);
  return true;
}

// The blanks and carriage returns around an item of an order list do not count.
std::string_view TrimBlanks(std::string_view item) {
  while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
  while (!item.empty() && (item.back() == ' ' || item.back() == '\t' || item.back() == '\r')) {
    item.remove_suffix(1);
  }
  return item;
}

// "order=type,type,...": the named types are tried first, in that order;
// the others follow in table order.
// "misfit" may stand among them for where misfits are looked for; without
// it they are looked for right after the named types.
void ReadOrder(std::string_view list, LineTypeTable& table) {
  bool placed[kLineTypeCount] = {};
  bool misfitPlaced = false;
  int count = 0;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    size_t end = comma == std::string_view::npos ? list.size() : comma;
    std::string_view item = TrimBlanks(list.substr(start, end - start));
    int type = FindLineType(item);
    if (type < 0 && NamesEqualIgnoringCase(item, "misfit")) {
      if (misfitPlaced) {
        fputs("Line type misfit named twice in order\n", stderr);
      } else {
        misfitPlaced = true;
        table.misfitAt = count;
      }
    } else if (type <= kTypeNull) {
      if (!item.empty()) {
        fprintf(stderr, "Unknown line type %.*s in order\n", static_cast<int>(item.size()),
                item.data());
      }
    } else if (placed[type]) {
      fprintf(stderr, "Line type %s named twice in order\n", kLineTypeKeywords[type]);
    } else {
      placed[type] = true;
      table.order[count++] = static_cast<LineType>(type);
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (!misfitPlaced) table.misfitAt = count;
  for (int type = kTypeText; type < kLineTypeCount; ++type) {
    if (!placed[type]) table.order[count++] = static_cast<LineType>(type);
  }
}

// "keyword=expression,part,...": compiles the expression into `entry` and
// reads its part list, unless the value is empty or `defined` is already set.
void ReadPatternDefinition(const char* keyword, std::string_view value, int verbosity,
                           bool& defined, LineTypeEntry& entry) {
  if (value.empty()) {
    fprintf(stderr, "Bad regexp for %s\n", keyword);
    return;
  }
  if (defined) {
    fprintf(stderr, "Repeat definition ignored for %s\n", keyword);
    return;
  }
  size_t comma = value.find(',');
  if (!CompileDefinition(std::string(value.substr(0, comma)), keyword, verbosity, entry)) return;
  defined = true;
  if (comma != std::string_view::npos) ReadPartList(value.substr(comma + 1), keyword, entry);
}

// The positions classification reads of a type's matches: the whole match
// and every subexpression up to the last its part list names.
int PositionsRead(const LineTypeEntry& entry) {
  int last = 0;
  for (int32_t group : entry.parts) last = std::max(last, static_cast<int>(group));
  return last + 1;
}

// Lines are classified by the own matcher wherever it takes the expression.
void AddOwnMatcher(const FormatReading& reading, LineTypeEntry& entry) {
  if (reading.matcher == MatcherChoice::kOwn && entry.pattern.compiled && entry.own == nullptr) {
    entry.own = CompileRegexMatcher(entry.expanded, PositionsRead(entry));
  }
}

// The definitions beside the line types: "order", "filename" and "misfit".
// Returns false when the key is none of them.
bool ReadOtherDefinition(std::string_view key, std::string_view value, FormatReading& reading,
                         LineTypeTable& table) {
  if (NamesEqualIgnoringCase(key, "misfit")) {
    ReadPatternDefinition("misfit", value, reading.verbosity, reading.misfitDefined,
                          table.misfit);
    AddOwnMatcher(reading, table.misfit);
    return true;
  }
  if (NamesEqualIgnoringCase(key, "filename")) {
    ReadPatternDefinition("filename", value, reading.verbosity, reading.fileNameDefined,
                          table.fileName);
    return true;
  }
  if (!NamesEqualIgnoringCase(key, "order")) return false;
  if (value.empty()) {
    fputs("Empty order ignored\n", stderr);
  } else if (reading.orderDefined) {
    fputs("Repeat definition ignored for order\n", stderr);
  } else {
    ReadOrder(value, table);
    reading.orderDefined = true;
  }
  return true;
}


void ReadDefinitionLine(char* line, FormatReading& reading, LineTypeTable& table) {
  if (char* comment = strchr(line, ';')) *comment = '\0';
  size_t length = strlen(line);
  if (length > 0 && line[length - 1] == '\n') line[--length] = '\0';
  char* equals = strchr(line, '=');
  if (equals == nullptr) return;
  std::string_view key(line, static_cast<size_t>(equals - line));
  std::string_view value(equals + 1);

  int type = FindLineType(key);
  if (type >= 0) {
    LineTypeEntry& entry = table.types[type];
    ReadPatternDefinition(kLineTypeKeywords[type], value, reading.verbosity, reading.defined[type],
                          entry);
    // The file-name expression stays with regexec.
    AddOwnMatcher(reading, entry);
  } else if (!ReadOtherDefinition(key, value, reading, table)) {
    fprintf(stderr, "Unrecognised line type %.*s\n", static_cast<int>(key.size()), key.data());
  }
}

}  // namespace

const char* LineTypeKeyword(int type) {
  return type >= 0 && type < kLineTypeCount ? kLineTypeKeywords[type] : "";
}

const char* LinePartKeyword(int part) {
  return part >= 0 && part < kLinePartCount ? kLinePartKeywords[part] : "";
}

std::string ExpandFormatMacros(const std::string& expression) {
  static constexpr std::string_view kNickMacro = "[:nick:]";
  static constexpr std::string_view kUserHostMacro = "[:uh:]";
  std::string expanded;
  expanded.reserve(expression.size());
  std::string_view rest(expression);
  while (!rest.empty()) {
    if (rest.starts_with(kNickMacro)) {
      expanded += "^ @<>!:*";
      rest.remove_prefix(kNickMacro.size());
    } else if (rest.starts_with(kUserHostMacro)) {
      expanded += "^ :!*";
      rest.remove_prefix(kUserHostMacro.size());
    } else {
      expanded += rest.front();
      rest.remove_prefix(1);
    }
  }
  return expanded;
}

namespace {

bool CopyLineTypeEntry(const LineTypeEntry& source, LineTypeEntry& copy) {
  std::copy(std::begin(source.parts), std::end(source.parts), std::begin(copy.parts));
  if (!source.pattern.compiled || copy.pattern.compiled) return true;
  if (regcomp(&copy.pattern.re, source.expanded.c_str(), REG_EXTENDED) != 0) return false;
  copy.pattern.compiled = true;
  copy.expanded = source.expanded;
  if (source.own != nullptr) copy.own = CompileRegexMatcher(source.expanded, source.own->positions);
  return true;
}

}  // namespace

bool CopyLineTypeTable(const LineTypeTable& from, LineTypeTable& into) {
  std::copy(std::begin(from.order), std::end(from.order), std::begin(into.order));
  into.misfitAt = from.misfitAt;
  for (int type = 0; type < kLineTypeCount; ++type) {
    if (!CopyLineTypeEntry(from.types[type], into.types[type])) return false;
  }
  return CopyLineTypeEntry(from.misfit, into.misfit);
}

bool ReadLogFormatSpec(FILE* in, int verbosity, LineTypeTable& table, MatcherChoice matcher) {
  FormatReading reading;
  reading.verbosity = verbosity;
  reading.matcher = matcher;
  // A 2048-byte buffer: longer lines arrive in pieces, each handled as a line.
  char line[2048];
  while (fgets(line, sizeof line, in) != nullptr) ReadDefinitionLine(line, reading, table);
  if (ferror(in)) {
    perror("ReadLogFormatSpec");
    return false;
  }
  for (int type = 1; type < kLineTypeCount; ++type) {
    if (!reading.defined[type]) {
      fprintf(stderr, "No definition of %s found in format spec\n", kLineTypeKeywords[type]);
      return false;
    }
  }
  return true;
}
