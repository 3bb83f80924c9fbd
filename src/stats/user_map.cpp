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

auto PersonNames(const UserMap& map) {
  return [&map](int32_t i) -> std::string_view { return map.people[static_cast<size_t>(i)].name; };
}
auto ExactNames(const UserMap& map) {
  return [&map](int32_t i) -> std::string_view {
    return map.exactNames[static_cast<size_t>(i)].name;
  };
}
auto PatternKeys(const UserMap& map) {
  return [&map](int32_t i) -> std::string_view { return map.patterns[static_cast<size_t>(i)].key; };
}
auto Prefixes(const UserMap& map) {
  return [&map](int32_t i) -> std::string_view {
    return map.prefixes[static_cast<size_t>(i)].prefix;
  };
}

// Chains pattern `position` after the others that begin with `prefix`.
void FileUnderPrefix(UserMap& map, int32_t position, std::string prefix) {
  int32_t chain = IndexFind(map.prefixIndex, prefix, Prefixes(map));
  if (chain < 0) {
    map.longestPrefix = std::max(map.longestPrefix, prefix.size());
    map.prefixes.push_back(PrefixChain{std::move(prefix), position, position});
    chain = static_cast<int32_t>(map.prefixes.size() - 1);
    IndexInsert(map.prefixIndex, chain, Prefixes(map));
    return;
  }
  PrefixChain& filed = map.prefixes[static_cast<size_t>(chain)];
  map.patterns[static_cast<size_t>(filed.last)].nextWithPrefix = position;
  filed.last = position;
}

}  // namespace

int32_t AddPerson(UserMap& map, std::string_view name, PersonRole role, int32_t& owner) {
  int32_t known = IndexFind(map.personIndex, name, PersonNames(map));
  if (known >= 0) {
    Person& person = map.people[static_cast<size_t>(known)];
    if (RoleStrength(role) > RoleStrength(person.role)) person.role = role;
    owner = map.exactNames[static_cast<size_t>(IndexFind(map.exactIndex, name, ExactNames(map)))]
                .person;
    return known;
  }
  int32_t person = static_cast<int32_t>(map.people.size());
  map.people.push_back(Person{std::string(name), role});
  IndexInsert(map.personIndex, person, PersonNames(map));
  owner = AddExactAlias(map, person, name);
  return person;
}

int32_t AddExactAlias(UserMap& map, int32_t person, std::string_view nick) {
  int32_t known = IndexFind(map.exactIndex, nick, ExactNames(map));
  if (known >= 0) return map.exactNames[static_cast<size_t>(known)].person;
  map.longestExactName = std::max(map.longestExactName, nick.size());
  map.exactNames.push_back(ExactName{std::string(nick), person});
  IndexInsert(map.exactIndex, static_cast<int32_t>(map.exactNames.size() - 1), ExactNames(map));
  return person;
}

PatternFiling AddPatternAlias(UserMap& map, int32_t person, AliasKind kind, std::string_view text) {
  PatternFiling filing;
  AliasPattern pattern;
  pattern.kind = kind;
  pattern.person = person;
  pattern.text = kind == AliasKind::kWildcard ? Folded(text) : std::string(text);
  pattern.key.assign(1, kind == AliasKind::kWildcard ? 'w' : 'e');
  pattern.key.append(text);
  int32_t known = IndexFind(map.patternIndex, pattern.key, PatternKeys(map));
  if (known >= 0) {
    filing.owner = map.patterns[static_cast<size_t>(known)].person;  // it can match nothing new
    return filing;
  }
  std::string prefix;
  if (kind == AliasKind::kWildcard) {
    prefix = WildcardPrefix(pattern.text);
  } else {
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
  IndexInsert(map.patternIndex, position, PatternKeys(map));
  FileUnderPrefix(map, position, std::move(prefix));
  filing.owner = person;
  return filing;
}

int32_t PersonOfNick(const UserMap& map, std::string_view nick) {
  if (map.people.empty()) return -1;
  int32_t exact = IndexFind(map.exactIndex, nick, ExactNames(map));
  if (exact >= 0) return map.exactNames[static_cast<size_t>(exact)].person;
  if (map.patterns.empty()) return -1;
  // The patterns whose literal start begins the nick, tried in filing order.
  std::string folded = Folded(nick);
  std::vector<int32_t> candidates;
  size_t longest = std::min(folded.size(), map.longestPrefix);
  for (size_t length = 0; length <= longest; ++length) {
    int32_t chain =
        IndexFind(map.prefixIndex, std::string_view(folded).substr(0, length), Prefixes(map));
    if (chain < 0) continue;
    for (int32_t position = map.prefixes[static_cast<size_t>(chain)].first; position >= 0;
         position = map.patterns[static_cast<size_t>(position)].nextWithPrefix) {
      candidates.push_back(position);
    }
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
