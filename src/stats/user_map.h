// The people a users file names: each person's main name and role, and the
// nicks that are that person, each an exact name, a wildcard or an
// extended regular expression. Answers which person a nick is: an exact
// name first, then the patterns in the order they were filed, the first
// that matches winning. Names compare as nicks do, without regard to case
// (ASCII letters only).
//
// Patterns are filed under the literal text they begin with (`alice*`
// under "alice", `/^bob_?$/` under "bob", `*bot` and unanchored
// expressions under ""), so a nick is tried only against the patterns that
// could match it, however many people the file names.
#pragma once

#include <regex.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "stats/name_index.h"

enum class PersonRole : uint8_t {
  kPerson,   // counted like any nick
  kBot,      // counted toward days and hours, left off the nick tables
  kIgnored,  // every line dropped as if it were not in the log
};

struct Person {
  std::string name;  // the main name, which the page shows
  PersonRole role = PersonRole::kPerson;
};

enum class AliasKind : uint8_t {
  kWildcard,    // "*" any run of characters, "?" any one character
  kExpression,  // a POSIX extended regular expression, matched anywhere unless anchored
};

struct RegexFree {
  void operator()(regex_t* re) const {
    regfree(re);
    delete re;
  }
};

struct AliasPattern {
  AliasKind kind = AliasKind::kWildcard;
  std::string text;  // a wildcard case-folded; an expression as written
  std::string key;   // the kind and the text, which tell two patterns apart
  std::unique_ptr<regex_t, RegexFree> expression;  // compiled, for an expression
  int32_t person = -1;
  int32_t nextWithPrefix = -1;  // the next pattern filed under the same literal start
};

// A nick named exactly, and its person.
struct ExactName {
  std::string name;
  int32_t person = -1;
};

// The patterns that begin with one literal text, chained in filing order.
struct PrefixChain {
  std::string prefix;  // case-folded
  int32_t first = -1;
  int32_t last = -1;
};

// Every table is an array found through a keyed hash on folded names
// (stats/name_index.h), which takes a hundred thousand people in a
// fraction of a second.
struct UserMap {
  std::vector<Person> people;
  NameIndex personIndex;  // by main name
  std::vector<ExactName> exactNames;  // main names included
  NameIndex exactIndex;
  std::vector<AliasPattern> patterns;  // in the order they were filed
  NameIndex patternIndex;              // by key
  std::vector<PrefixChain> prefixes;
  NameIndex prefixIndex;
  size_t longestPrefix = 0;
  size_t longestExactName = 0;
};

// The person whose main name is `name`, without regard to case; created
// with `role` when new. A person named again keeps one record and takes the
// stronger role (ignored over bot over person). `owner` is set to the person
// who has `name` as a nick: the person itself, or an earlier person that
// already listed the name as an alias and keeps it.
int32_t AddPerson(UserMap& map, std::string_view name, PersonRole role, int32_t& owner);

// Files `nick` as an exact name of `person`. Returns the person who has it:
// `person`, or an earlier person who already had it and keeps it.
int32_t AddExactAlias(UserMap& map, int32_t person, std::string_view nick);

// What became of a pattern given to AddPatternAlias.
struct PatternFiling {
  bool compiled = true;  // false: an expression the compiler refused
  std::string error;     // the compiler's message when it refused
  int32_t owner = -1;    // the person who has the pattern (an earlier one keeps it)
};

// Compiles `text` (a wildcard, or an expression without its slashes) and
// files it as a pattern of `person`, after every pattern filed so far.
PatternFiling AddPatternAlias(UserMap& map, int32_t person, AliasKind kind, std::string_view text);

// The person `nick` is; -1 when no exact name or pattern names it.
int32_t PersonOfNick(const UserMap& map, std::string_view nick);

// Whether the wildcard `pattern` ("*" and "?"; both case-folded) matches all
// of `nick`.
bool WildcardMatches(std::string_view pattern, std::string_view nick);
