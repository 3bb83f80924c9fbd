#include "driver/users_file.h"

#include <cerrno>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "stats/text_basics.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

// The pieces of a message, one after the other.
std::string Joined(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text.append(piece);
  return text;
}

// The state of one file's reading: where the messages point, and the line
// each person was first named on, for the warnings.
struct UsersReading {
  const std::string& path;
  UserMap& map;
  std::vector<int> lineOfPerson;
  int line = 0;
  bool failed = false;
};

enum class Severity { kWarning, kError };

void Report(UsersReading& reading, Severity severity, const std::string& message) {
  bool error = severity == Severity::kError;
  fprintf(stderr, "%s:%d: %s: %s\n", reading.path.c_str(), reading.line,
          error ? "error" : "warning", message.c_str());
  if (error) reading.failed = true;
}

// Says which earlier person keeps `what` `word` ("the nick alice_"), which
// this line gave `person` as well.
void ReportTaken(UsersReading& reading, int32_t person, int32_t owner, std::string_view what,
                 std::string_view word) {
  if (owner == person) return;
  const Person& keeper = reading.map.people[static_cast<size_t>(owner)];
  Report(reading, Severity::kWarning,
         Joined({what, " ", word, " is already ", keeper.name, "'s (line ",
                 std::to_string(reading.lineOfPerson[static_cast<size_t>(owner)]),
                 "), who keeps it"}));
}

void FileAlias(UsersReading& reading, int32_t person, std::string_view word) {
  if (word[0] == '/') {
    if (word.size() < 2 || word.back() != '/') {
      Report(reading, Severity::kError,
             Joined({"the expression ", word,
                     " has no closing \"/\" (an expression cannot hold a blank)"}));
      return;
    }
    std::string_view expression = word.substr(1, word.size() - 2);
    if (expression.empty()) {
      Report(reading, Severity::kError, "an empty expression // would match every nick");
      return;
    }
    PatternFiling filing = AddPatternAlias(reading.map, person, AliasKind::kExpression, expression);
    if (!filing.compiled) {
      Report(reading, Severity::kError,
             Joined({"the expression ", word, " does not compile: ", filing.error}));
      return;
    }
    ReportTaken(reading, person, filing.owner, "the expression", word);
    return;
  }
  if (word.find_first_of("*?") != std::string_view::npos) {
    PatternFiling filing = AddPatternAlias(reading.map, person, AliasKind::kWildcard, word);
    ReportTaken(reading, person, filing.owner, "the wildcard", word);
    return;
  }
  ReportTaken(reading, person, AddExactAlias(reading.map, person, word), "the nick", word);
}

void ReadUsersLine(UsersReading& reading, std::string_view text) {
  size_t colon = text.find(':');
  std::vector<std::string_view> head = Words(text.substr(0, colon));
  if (head.empty()) {
    if (colon == std::string_view::npos) return;  // a blank line
    Report(reading, Severity::kError, "no main name before the \":\"");
    return;
  }
  if (head[0][0] == '#') return;  // a comment
  PersonRole role = PersonRole::kPerson;
  bool roleKnown = true;
  for (size_t i = 1; i < head.size(); ++i) {
    if (NamesEqualIgnoringCase(head[i], "bot")) {
      if (role == PersonRole::kPerson) role = PersonRole::kBot;
    } else if (NamesEqualIgnoringCase(head[i], "ignore")) {
      role = PersonRole::kIgnored;
    } else {
      Report(reading, Severity::kError,
             Joined({"\"", head[i], "\" after the main name ", head[0],
                     " is neither bot nor ignore (nicks go after a \":\")"}));
      roleKnown = false;
    }
  }
  if (!roleKnown) return;
  int32_t owner = -1;
  int32_t person = AddPerson(reading.map, head[0], role, owner);
  if (static_cast<size_t>(person) == reading.lineOfPerson.size()) {
    reading.lineOfPerson.push_back(reading.line);
  }
  ReportTaken(reading, person, owner, "the nick", head[0]);
  if (colon == std::string_view::npos) return;
  for (std::string_view word : Words(text.substr(colon + 1))) FileAlias(reading, person, word);
}

}  // namespace

bool ReadUsersFile(FILE* in, const std::string& path, UserMap& map) {
  UsersReading reading{path, map, {}, 0, false};
  std::string text;
  bool textEnded = false;  // a line's text ends at its first zero byte
  for (;;) {
    int c = getc_unlocked(in);
    if (c == EOF || c == '\n') {
      int readErrno = errno;
      if (c == EOF && ferror(in)) {
        errno = readErrno;
        return false;
      }
      if (c == '\n' || !text.empty()) {
        ++reading.line;
        ReadUsersLine(reading, text);
      }
      if (c == EOF) break;
      text.clear();
      textEnded = false;
    } else if (c == '\0') {
      textEnded = true;
    } else if (!textEnded) {
      text.push_back(static_cast<char>(c));
    }
  }
  return !reading.failed;
}
