#include "stats/text_facts.h"

#include <cstdio>
#include <cstring>

#include "stats/text_basics.h"

namespace {

// Whether "seen" is in the text in any case, "A" to "Z" folded as names are.
bool HoldsSeenInAnyCase(std::string_view text) {
  for (size_t i = 0; i + 4 <= text.size(); ++i) {
    if ((text[i] | 0x20) == 's' && (text[i + 1] | 0x20) == 'e' && (text[i + 2] | 0x20) == 'e' &&
        (text[i + 3] | 0x20) == 'n') {
      return true;
    }
  }
  return false;
}

// Whether `word` is in the text once "A" to "Z" of the text are folded to
// lower case; the word itself is compared as it is. An empty word is in
// every text.
bool HoldsInFoldedText(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (size_t at = 0; at + word.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < word.size() &&
           FoldCase(static_cast<unsigned char>(text[at + i])) == static_cast<unsigned char>(word[i])) {
      ++i;
    }
    if (i == word.size()) return true;
  }
  return false;
}

}  // namespace

bool IsSeenRequest(std::string_view message, const TextFactsRules& rules) {
  // Both ways of asking need "seen" in the folded text.
  if (!HoldsSeenInAnyCase(message)) return false;
  for (int bot = 0; rules.botNames != nullptr && bot < kBotNames; ++bot) {
    if (HoldsInFoldedText(message, rules.botNames[bot])) return true;  // "seen" is there
  }
  return HoldsInFoldedText(message, "!seen");
}

namespace {

bool StartsWithAt(std::string_view text, size_t at, std::string_view prefix) {
  return text.size() - at >= prefix.size() && memcmp(text.data() + at, prefix.data(), prefix.size()) == 0;
}

// Where the URL of a message starts (see FindUrl); npos when it holds none.
// One pass finds all three kinds.
size_t FindUrlStart(std::string_view message) {
  size_t www = std::string_view::npos, ftp = std::string_view::npos;
  for (size_t at = 0; at < message.size(); ++at) {
    char c = message[at];
    if (c == 'h') {
      if (StartsWithAt(message, at, "http://") || StartsWithAt(message, at, "https://")) {
        return at;
      }
    } else if (c == 'w') {
      if (www == std::string_view::npos && StartsWithAt(message, at, "www.")) www = at;
    } else if (c == 'f') {
      if (ftp == std::string_view::npos && StartsWithAt(message, at, "ftp://")) ftp = at;
    }
  }
  return www != std::string_view::npos ? www : ftp;
}

}  // namespace

// Counts the counted word in `text`. Its position restarts at its first
// character after a mismatch, without comparing the mismatching byte
// again; from the first character, the next place it can start is found
// with memchr.
uint64_t CountStatWord(std::string_view text, const std::string& statWord) {
  const size_t wordLength = statWord.size();
  if (wordLength == 0) return 0;
  uint64_t hits = 0;
  size_t wordPosition = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (wordPosition == 0) {
      const void* start = memchr(text.data() + i, statWord[0], text.size() - i);
      if (start == nullptr) break;
      i = static_cast<size_t>(static_cast<const char*>(start) - text.data());
    }
    if (text[i] != statWord[wordPosition]) {
      wordPosition = 0;
    } else if (wordPosition + 1 == wordLength) {
      ++hits;
      wordPosition = 0;
    } else {
      ++wordPosition;
    }
  }
  return hits;
}

// Counted without branches, so that the loops run at the speed of the
// bytes: every printable byte but the blank is a letter, digit or
// punctuation.
CharacterCounts CountCharacters(std::string_view text, bool utf8Letters) {
  const size_t n = text.size();
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  uint64_t letters = 0, questions = 0, shouts = 0;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = bytes[i];
    letters += static_cast<unsigned char>(c - 33) < 94;
    questions += c == '?';
    shouts += c == '!';
    // In UTF-8 texts the first byte of every character beyond ASCII.
    letters += utf8Letters & (c >= 0xC0);
  }
  // A letter or digit followed by an upper-case letter shouts too.
  for (size_t i = 0; i + 1 < n; ++i) {
    unsigned char c = bytes[i];
    uint64_t alnum = (static_cast<unsigned char>((c | 0x20) - 'a') < 26) |
                     (static_cast<unsigned char>(c - '0') < 10);
    shouts += alnum & (static_cast<unsigned char>(bytes[i + 1] - 'A') < 26);
  }
  return {letters, questions, shouts};
}

std::string_view FindUrl(std::string_view message) {
  size_t start = FindUrlStart(message);
  if (start == std::string_view::npos) return {};
  return UrlAt(message, start);
}

MessageFacts CountMessageFacts(std::string_view message, const TextFactsRules& rules) {
  // Every count is at most the message's length, which fits.
  MessageFacts facts;
  CharacterCounts counts = CountCharacters(message, rules.utf8Letters);
  facts.letters = static_cast<uint32_t>(counts.letters);
  facts.questions = static_cast<uint32_t>(counts.questions);
  facts.shouts = static_cast<uint32_t>(counts.shouts);
  if (rules.statWord != nullptr) {
    facts.statWordHits = static_cast<uint32_t>(CountStatWord(message, *rules.statWord));
  }
  size_t url = FindUrlStart(message);
  if (url != std::string_view::npos) facts.urlStart = static_cast<uint32_t>(url);
  facts.seenRequest = IsSeenRequest(message, rules);
  return facts;
}

std::string_view UrlAt(std::string_view message, size_t start) {
  size_t end = message.find(' ', start);
  return message.substr(start, end == std::string_view::npos ? end : end - start);
}

void AddTextCounts(NickRecord& nick, const CharacterCounts& counts, uint64_t statWordHits,
                   const std::string& statWord, int verbosity) {
  nick.letters += static_cast<int64_t>(counts.letters);
  nick.questions += static_cast<int64_t>(counts.questions);
  nick.shouts += static_cast<int64_t>(counts.shouts);
  if (counts.questions > 0) nick.flags |= LAST_LINE_ASKED;
  nick.statWordHits += static_cast<int64_t>(statWordHits);
  if (verbosity <= 2) return;
  for (uint64_t hit = 0; hit < statWordHits; ++hit) {
    fprintf(stderr, "Statword hit (%s)\n", statWord.c_str());
  }
}

void AddMessageFacts(NickRecord& nick, const MessageFacts& facts, const std::string& statWord,
                     int verbosity) {
  AddTextCounts(nick, {facts.letters, facts.questions, facts.shouts}, facts.statWordHits,
                statWord, verbosity);
}
