#include "stats/accounting.h"

#include <cstdio>
#include <cstring>

#include "stats/nick_lookup.h"
#include "stats/text_basics.h"

// A line's accounting takes the parts its type gives. A step that needs a
// part the line does not have (the speaker for a line without a nick, the
// message, the kicked nick) is skipped; every other step of the line is
// still taken.

namespace {

// The matcher needs a zero-terminated text, so the part is copied first.
bool IgnorePatternMatches(const regex_t* pattern, std::string_view text, std::string& copy) {
  if (pattern == nullptr) return false;
  copy.assign(text);
  return regexec(pattern, copy.c_str(), 0, nullptr, REG_NOTEOL) == 0;
}

// The nick a text line is addressed to: its first character and what
// follows up to the first blank, ":", "," or bold code from the second
// character on. Empty when there is none.
std::string_view Addressee(std::string_view message) {
  for (size_t i = 1; i < message.size(); ++i) {
    char c = message[i];
    if (c == ' ' || c == ':' || c == ',' || c == '\x02') return message.substr(0, i);
  }
  return {};
}

// Where the first "http://" or "https://" of a message begins, whichever
// comes first; npos when it holds neither.
size_t FindWebScheme(std::string_view message) {
  for (size_t at = message.find("http"); at != std::string_view::npos;
       at = message.find("http", at + 4)) {
    std::string_view rest = message.substr(at + 4);
    if (rest.starts_with("://") || rest.starts_with("s://")) return at;
  }
  return std::string_view::npos;
}

// The URL of a message: from the first "http://" or "https://"; when it holds
// neither, from the first "www."; when none of these, from the first
// "ftp://"; up to the next blank. Empty when there is none.
std::string_view FindUrl(std::string_view message) {
  size_t start = FindWebScheme(message);
  if (start == std::string_view::npos) start = message.find("www.");
  if (start == std::string_view::npos) start = message.find("ftp://");
  if (start == std::string_view::npos) return {};
  size_t end = message.find(' ', start);
  return message.substr(start, end == std::string_view::npos ? end : end - start);
}

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

bool IsSeenRequest(std::string_view message, const AccountingConfig& config, std::string& lowered) {
  // Both ways of asking need "seen" in the lowered text, so a message
  // without it is settled without a lowered copy.
  if (!HoldsSeenInAnyCase(message)) return false;
  lowered.assign(message);
  for (char& c : lowered) c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
  std::string_view text(lowered);
  for (const std::string& botName : config.botNames) {
    if (text.find(botName) != std::string_view::npos) {
      return text.find("seen") != std::string_view::npos;
    }
  }
  return text.find("!seen") != std::string_view::npos;
}

// Counts the StatWord in `text`. Its position restarts at its first
// character after a mismatch, without comparing the mismatching byte
// again; from the first character, the next place it can start is found
// with memchr.
void CountStatWord(NickRecord& nick, std::string_view text, const std::string& statWord,
                   int verbosity) {
  const size_t wordLength = statWord.size();
  if (wordLength == 0) return;
  size_t wordPosition = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (wordPosition == 0) {
      const void* start = memchr(text.data() + i, statWord[0], text.size() - i);
      if (start == nullptr) return;
      i = static_cast<size_t>(static_cast<const char*>(start) - text.data());
    }
    if (text[i] == statWord[wordPosition]) {
      if (wordPosition + 1 == wordLength) {
        ++nick.statWordHits;
        if (verbosity > 2) fprintf(stderr, "Statword hit (%s)\n", statWord.c_str());
        wordPosition = 0;
      } else {
        ++wordPosition;
      }
    } else {
      wordPosition = 0;
    }
    ++i;
  }
}

void AccountSpokenLine(const LineFacts& facts, StatsStore& store, const AccountingConfig& config,
                       AccountingScratch& scratch) {
  bool isText = facts.type == kTypeText;
  const std::optional<std::string_view>& message = facts.parts.message;
  NickRecord* speaker = facts.speaker;
  if (isText && speaker != nullptr && message) {
    std::string_view addressee = Addressee(*message);
    if (!addressee.empty()) {
      const NickRecord* addressed = KnownNickOf(store, addressee);
      if (addressed != nullptr && (addressed->flags & LAST_LINE_ASKED)) ++speaker->answers;
    }
  }
  DayRecord& day = *facts.day;
  ++day.lines;
  ++day.hours[facts.hour];
  OfferQuote(day.quote, facts.line, config.quoteLimits);
  if (speaker == nullptr) return;

  ++(isText ? speaker->textLines : speaker->actionLines)[facts.quarter];
  ++speaker->lines;
  if (message) {
    std::string_view url = FindUrl(*message);
    if (!url.empty()) {
      ++speaker->urls;
      if (facts.parts.nick) OfferToPool(store.pools.urls, url, ShownNameOf(store, *facts.parts.nick));
    }
    if (IsSeenRequest(*message, config, scratch.lowered)) ++speaker->seenRequests;
  }
  speaker->flags &= ~LAST_LINE_ASKED;
  if (message) {
    AddTextStatistics(*speaker, *message, config.statWord, config.verbosity,
                      config.countCharacters);
  }
  if (isText) {
    if (message) OfferQuote(speaker->quote, *message, config.quoteLimits);
  } else {
    OfferQuote(speaker->quote, facts.line, config.quoteLimits);
  }
}

void AccountKick(const LineFacts& facts, StatsStore& store, const AccountingConfig& config,
                 AccountingScratch& scratch) {
  const LineParts& parts = facts.parts;
  OfferQuote(facts.day->quote, facts.line, config.quoteLimits);
  // The kicker first, then the kicked nick, whose record may be new.
  if (facts.speaker != nullptr) ++facts.speaker->kicksGiven;
  if (parts.otherNick) {
    ++NickOf(store, *parts.otherNick).timesKicked;
  }
  if (!parts.nick || !parts.message) return;
  if (IgnorePatternMatches(config.kickIgnore, *parts.message, scratch.ignoreText)) return;
  std::string context = BuildKickContext(*facts.recent, facts.line);
  OfferToPool(store.pools.kicks, context, ShownNameOf(store, *parts.nick));
}

}  // namespace

void AccountLine(const LineFacts& facts, StatsStore& store, const AccountingConfig& config,
                 AccountingScratch& scratch) {
  const LineParts& parts = facts.parts;
  NickRecord* speaker = facts.speaker;
  DayRecord& day = *facts.day;
  switch (facts.type) {
    case kTypeText:
    case kTypeAction:
      AccountSpokenLine(facts, store, config, scratch);
      break;
    case kTypeJoin:
      if (speaker != nullptr) ++speaker->joins;
      OfferQuote(day.quote, facts.line, config.quoteLimits);
      break;
    case kTypeQuit:
      if (parts.nick && parts.message &&
          !IgnorePatternMatches(config.quitIgnore, *parts.message, scratch.ignoreText)) {
        OfferToPool(store.pools.signoffs, *parts.message, ShownNameOf(store, *parts.nick));
      }
      break;
    case kTypeKick:
      AccountKick(facts, store, config, scratch);
      break;
    case kTypeTopic:
      if (speaker != nullptr) ++speaker->topicChanges;
      if (parts.message) {
        if (parts.nick) {
          OfferToPool(store.pools.topics, *parts.message, ShownNameOf(store, *parts.nick));
        }
        day.topic = std::string(*parts.message);
      }
      break;
    case kTypeNick:
      if (speaker != nullptr) ++speaker->nickChanges;
      OfferQuote(day.quote, facts.line, config.quoteLimits);
      break;
    case kTypeMode:
      OfferQuote(day.quote, facts.line, config.quoteLimits);
      break;
    default:  // parts, and the types that are never accounted
      break;
  }
}

void CountMonologueRun(MonologueRun& run, NickRecord* speaker) {
  if (speaker == nullptr) {
    run.previousSpeaker = nullptr;
    run.counter = 0;
    return;
  }
  if (run.previousSpeaker != speaker) {
    run.previousSpeaker = speaker;
    run.counter = 0;
  } else if (run.counter > 7) {
    ++speaker->monologues;
    run.counter = 0;
  } else {
    ++run.counter;
  }
}

void AddTextStatistics(NickRecord& nick, std::string_view text, const std::string& statWord,
                       int verbosity, bool utf8Letters) {
  const size_t n = text.size();
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  // Counted without branches, so the loops run at the speed of the bytes:
  // every printable byte but the blank is a letter, digit or punctuation.
  int64_t letters = 0, questions = 0, shouts = 0;
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
    int alnum = (static_cast<unsigned char>((c | 0x20) - 'a') < 26) |
                (static_cast<unsigned char>(c - '0') < 10);
    shouts += alnum & (static_cast<unsigned char>(bytes[i + 1] - 'A') < 26);
  }
  nick.letters += letters;
  nick.questions += questions;
  nick.shouts += shouts;
  if (questions > 0) nick.flags |= LAST_LINE_ASKED;
  CountStatWord(nick, text, statWord, verbosity);
}
