#include "stats/user_map.h"

#include <algorithm>
#include <cstring>

#include "stats/text_basics.h"

namespace {

std::string Folded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
  return folded;
}

int RoleStrength(PersonRole role) {
  return role == PersonRole::kIgnored ? 2 : role == PersonRole::kBot ? 1 : 0;
}

// The literal text every nick a wildcard matches begins with.
std::string WildcardPrefix(std::string_view folded) {
  return std::string(folded.substr(0, std::min(folded.find('*'), folded.find('?'))));
}

// Whether the expression has an alternative at its top level ("^a|b"),
// which makes whatever it begins with no prefix of its matches.
bool HasTopLevelAlternative(std::string_view expression) {
  int depth = 0;
  for (size_t i = 0; i < expression.size(); ++i) {
    char c = expression[i];
    if (c == '\\') {
      ++i;
    } else if (c == '[') {
      // A bracket expression: a "]" first (after an optional "^") is a
      // member; "[:", "[." and "[=" open an item that "]" does not end.
      size_t j = i + 1;
      if (j < expression.size() && expression[j] == '^') ++j;
      if (j < expression.size() && expression[j] == ']') ++j;
      for (; j < expression.size() && expression[j] != ']'; ++j) {
        if (expression[j] == '[' && j + 1 < expression.size() &&
            strchr(":.=", expression[j + 1]) != nullptr) {
          size_t close = expression.find(std::string{expression[j + 1], ']'}, j + 2);
          if (close == std::string_view::npos) return true;  // unreadable: claim nothing
          j = close + 1;
        }
      }
      i = j;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == '|' && depth <= 0) {
      return true;
    }
  }
  return false;
}

// The literal text every nick an anchored expression matches begins with:
// the plain characters after a leading "^", less the last one when a
// repetition that allows none of it follows. Empty when the expression is
// not anchored or has a top-level alternative.
std::string ExpressionPrefix(std::string_view expression) {
  if (expression.empty() || expression[0] != '^' || HasTopLevelAlternative(expression)) return {};
  size_t end = 1;
  while (end < expression.size() && strchr("\\.[]()*+?{}|^$", expression[end]) == nullptr) ++end;
  if (end < expression.size() && strchr("*?{", expression[end]) != nullptr) --end;
  return Folded(expression.substr(1, end - 1));
}

}  // namespace

int32_t AddPerson(UserMap& map, std::string_view name, PersonRole role, int32_t& owner) {
  std::string folded = Folded(name);
  auto known = map.personByName.find(folded);
  if (known != map.personByName.end()) {
    Person& person = map.people[static_cast<size_t>(known->second)];
    if (RoleStrength(role) > RoleStrength(person.role)) person.role = role;
    owner = map.exactNames.find(folded)->second;
    return known->second;
  }
  int32_t person = static_cast<int32_t>(map.people.size());
  map.people.push_back(Person{std::string(name), role});
  map.personByName.emplace(folded, person);
  owner = AddExactAlias(map, person, name);
  return person;
}

int32_t AddExactAlias(UserMap& map, int32_t person, std::string_view nick) {
  map.longestExactName = std::max(map.longestExactName, nick.size());
  auto [entry, added] = map.exactNames.emplace(Folded(nick), person);
  return added ? person : entry->second;
}

PatternFiling AddPatternAlias(UserMap& map, int32_t person, AliasKind kind, std::string_view text) {
  PatternFiling filing;
  std::string key = (kind == AliasKind::kWildcard ? "w" : "e") + Folded(text);
  auto known = map.patternOwners.find(key);
  if (known != map.patternOwners.end()) {
    filing.owner = known->second;  // the same pattern again: it can match nothing new
    return filing;
  }
  AliasPattern pattern;
  pattern.kind = kind;
  pattern.person = person;
  std::string prefix;
  if (kind == AliasKind::kWildcard) {
    pattern.text = Folded(text);
    prefix = WildcardPrefix(pattern.text);
  } else {
    pattern.text.assign(text);
    std::unique_ptr<regex_t, RegexFree> re(new regex_t);
    int error = regcomp(re.get(), pattern.text.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB);
    if (error != 0) {
      char message[256];
      regerror(error, re.get(), message, sizeof message);
      delete re.release();  // nothing to free after a failed compilation
      filing.compiled = false;
      filing.error = message;
      return filing;
    }
    pattern.expression = std::move(re);
    prefix = ExpressionPrefix(pattern.text);
  }
  int32_t position = static_cast<int32_t>(map.patterns.size());
  map.patterns.push_back(std::move(pattern));
  map.patternOwners.emplace(std::move(key), person);
  map.longestPrefix = std::max(map.longestPrefix, prefix.size());
  map.patternsByPrefix[std::move(prefix)].push_back(position);
  filing.owner = person;
  return filing;
}

int32_t PersonOfNick(const UserMap& map, std::string_view nick) {
  if (map.people.empty()) return -1;
  std::string folded = Folded(nick);
  auto exact = map.exactNames.find(folded);
  if (exact != map.exactNames.end()) return exact->second;
  if (map.patterns.empty()) return -1;
  // The patterns whose literal start begins the nick, tried in filing order.
  std::vector<int32_t> candidates;
  size_t longest = std::min(folded.size(), map.longestPrefix);
  for (size_t length = 0; length <= longest; ++length) {
    auto filed = map.patternsByPrefix.find(std::string_view(folded).substr(0, length));
    if (filed == map.patternsByPrefix.end()) continue;
    candidates.insert(candidates.end(), filed->second.begin(), filed->second.end());
  }
  std::sort(candidates.begin(), candidates.end());
  std::string whole;  // the expressions read a zero-terminated text
  for (int32_t position : candidates) {
    const AliasPattern& pattern = map.patterns[static_cast<size_t>(position)];
    bool matches;
    if (pattern.kind == AliasKind::kWildcard) {
      matches = WildcardMatches(pattern.text, folded);
    } else {
      if (whole.empty()) whole.assign(nick);
      matches = regexec(pattern.expression.get(), whole.c_str(), 0, nullptr, 0) == 0;
    }
    if (matches) return pattern.person;
  }
  return -1;
}

bool WildcardMatches(std::string_view pattern, std::string_view nick) {
  // Each "*" is first tried as empty and, on a mismatch, made one character
  // longer; only the last "*" needs to be moved (the usual glob walk).
  size_t p = 0, n = 0;
  size_t starAt = std::string_view::npos, starNick = 0;
  while (n < nick.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == nick[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starAt = p++;
      starNick = n;
    } else if (starAt != std::string_view::npos) {
      p = starAt + 1;
      n = ++starNick;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}
