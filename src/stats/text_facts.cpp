#include "stats/text_facts.h"

#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "stats/text_basics.h"

namespace {

// Texts are scanned a block of kBlock bytes at a time by loops of that
// fixed length, which the compiler turns into vector code; a block is
// looked at byte by byte only where it may hold what is looked for.
constexpr size_t kBlock = 16;

// Whether a position of the block at `p` starts the byte pair `first`,
// `second`, the bytes or'ed with `fold` first. REQUIRES: a byte follows
// the block.
#if defined(__SSE2__)
// SSE2 is part of every x86-64 processor: sixteen bytes in one step.
inline __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i Equal(__m128i bytes, unsigned char value) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(value)));
}
inline __m128i Folded(__m128i bytes, unsigned char fold) {
  return _mm_or_si128(bytes, _mm_set1_epi8(static_cast<char>(fold)));
}
// Bytes from `low` to `low` + `count` - 1.
inline __m128i InRange(__m128i bytes, unsigned char low, unsigned char count) {
  __m128i shifted = _mm_sub_epi8(bytes, _mm_set1_epi8(static_cast<char>(low)));
  return _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(static_cast<char>(count - 1))), shifted);
}
// The number of bytes set in a mask: the sums of its two halves' ones.
inline unsigned Count(__m128i mask) {
  __m128i sums = _mm_sad_epu8(_mm_and_si128(mask, _mm_set1_epi8(1)), _mm_setzero_si128());
  return static_cast<unsigned>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
}
#endif

bool BlockHoldsPair(const unsigned char* p, unsigned char first, unsigned char second,
                    unsigned char fold) {
#if defined(__SSE2__)
  __m128i pairs = _mm_and_si128(Equal(Folded(Load(p), fold), first),
                                Equal(Folded(Load(p + 1), fold), second));
  return _mm_movemask_epi8(pairs) != 0;
#else
  unsigned char any = 0;
  for (size_t j = 0; j < kBlock; ++j) {
    any |= static_cast<unsigned char>(((p[j] | fold) == first) & ((p[j + 1] | fold) == second));
  }
  return any != 0;
#endif
}

// Whether "seen" starts at `p`, "A" to "Z" folded as names are.
inline unsigned char SeenAt(const unsigned char* p) {
  return static_cast<unsigned char>(((p[0] | 0x20) == 's') & ((p[1] | 0x20) == 'e') &
                                    ((p[2] | 0x20) == 'e') & ((p[3] | 0x20) == 'n'));
}

// Whether "seen" is in the text in any case.
bool HoldsSeenInAnyCase(std::string_view text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0;
  for (; i + kBlock + 3 <= text.size(); i += kBlock) {
#if defined(__SSE2__)
    __m128i seen = _mm_and_si128(
        _mm_and_si128(Equal(Folded(Load(p + i), 0x20), 's'), Equal(Folded(Load(p + i + 1), 0x20), 'e')),
        _mm_and_si128(Equal(Folded(Load(p + i + 2), 0x20), 'e'), Equal(Folded(Load(p + i + 3), 0x20), 'n')));
    if (_mm_movemask_epi8(seen) != 0) return true;
#else
    unsigned char any = 0;
    for (size_t j = 0; j < kBlock; ++j) any |= SeenAt(p + i + j);
    if (any != 0) return true;
#endif
  }
  for (; i + 4 <= text.size(); ++i) {
    if (SeenAt(p + i)) return true;
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

bool EndsWithAt(std::string_view text, size_t end, std::string_view suffix) {
  return end >= suffix.size() && memcmp(text.data() + end - suffix.size(), suffix.data(),
                                        suffix.size()) == 0;
}

// The URL forms of a message, as far as they were found.
struct UrlStarts {
  size_t web = std::string_view::npos;  // the first "http://" or "https://"
  size_t www = std::string_view::npos;  // the first "www."
  size_t ftp = std::string_view::npos;  // the first "ftp://"
};

// Looks at a place that may hold "://" or "ww"; true once a web scheme is
// found, which no later place can come before.
bool LookForUrlAt(std::string_view text, size_t at, UrlStarts& starts) {
  if (text.substr(at, 3) == "://") {
    if (EndsWithAt(text, at, "http")) starts.web = at - 4;
    if (EndsWithAt(text, at, "https")) starts.web = at - 5;
    if (starts.ftp == std::string_view::npos && EndsWithAt(text, at, "ftp")) starts.ftp = at - 3;
    return starts.web != std::string_view::npos;
  }
  if (starts.www == std::string_view::npos && text.substr(at, 4) == "www.") starts.www = at;
  return false;
}

// Where the URL of a message starts (see FindUrl); npos when it holds none.
// One pass finds all three forms: each holds "://" or "ww".
size_t FindUrlStart(std::string_view message) {
  UrlStarts starts;
  auto look = [message, &starts](size_t at) { return LookForUrlAt(message, at, starts); };
  const unsigned char* p = reinterpret_cast<const unsigned char*>(message.data());
  size_t i = 0;
  for (; i + kBlock < message.size(); i += kBlock) {
    if (!BlockHoldsPair(p + i, ':', '/', 0) && !BlockHoldsPair(p + i, 'w', 'w', 0)) continue;
    for (size_t at = i; at < i + kBlock; ++at) {
      if (look(at)) return starts.web;
    }
  }
  for (; i < message.size(); ++i) {
    if (look(i)) return starts.web;
  }
  return starts.www != std::string_view::npos ? starts.www : starts.ftp;
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

namespace {

// Whether a byte is a letter (in its wide sense: every printable byte but
// the blank, and with `utf8` the first byte of every character beyond
// ASCII), and whether it and the next one shout: a letter or digit
// followed by an upper-case letter.
inline unsigned LetterAt(unsigned char c, unsigned utf8) {
  return (static_cast<unsigned char>(c - 33) < 94) + (utf8 & (c >= 0xC0));
}
inline unsigned ShoutAt(unsigned char c, unsigned char next) {
  unsigned alnum = (static_cast<unsigned char>((c | 0x20) - 'a') < 26) |
                   (static_cast<unsigned char>(c - '0') < 10);
  return (c == '!') + (alnum & (static_cast<unsigned char>(next - 'A') < 26));
}

}  // namespace

// Counted without branches, a block at a time (see kBlock).
CharacterCounts CountCharacters(std::string_view text, bool utf8Letters) {
  const size_t n = text.size();
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned utf8 = utf8Letters ? 1 : 0;
  CharacterCounts counts;
  size_t i = 0;
  for (; i + kBlock < n; i += kBlock) {
#if defined(__SSE2__)
    __m128i c = Load(bytes + i);
    __m128i alnum = _mm_or_si128(InRange(Folded(c, 0x20), 'a', 26), InRange(c, '0', 10));
    counts.letters += Count(InRange(c, 33, 94)) + (utf8 ? Count(InRange(c, 0xC0, 64)) : 0);
    counts.questions += Count(Equal(c, '?'));
    counts.shouts += Count(Equal(c, '!')) +
                     Count(_mm_and_si128(alnum, InRange(Load(bytes + i + 1), 'A', 26)));
#else
    unsigned char letters = 0, questions = 0, shouts = 0;  // at most kBlock each
    for (size_t j = 0; j < kBlock; ++j) {
      unsigned char c = bytes[i + j];
      letters = static_cast<unsigned char>(letters + LetterAt(c, utf8));
      questions = static_cast<unsigned char>(questions + (c == '?'));
      shouts = static_cast<unsigned char>(shouts + ShoutAt(c, bytes[i + j + 1]));
    }
    counts.letters += letters;
    counts.questions += questions;
    counts.shouts += shouts;
#endif
  }
  for (; i < n; ++i) {
    unsigned char c = bytes[i];
    counts.letters += LetterAt(c, utf8);
    counts.questions += c == '?';
    // The last byte has none after it; a zero byte starts no shout.
    counts.shouts += ShoutAt(c, i + 1 < n ? bytes[i + 1] : 0);
  }
  return counts;
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
  nick.statWordHits += static_cast<uint32_t>(statWordHits);  // kept modulo 2^32
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
