#include "stats/accounting.h"

#include <cstdio>
#include <cstring>

#include "stats/nick_lookup.h"
#include "stats/text_basics.h"
#include "stats/text_facts.h"

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

// Whether KnownNickOf may find a record for the word. Without a users
// file a word can name only a record of its shape; with one, every word is
// asked of the users map, which keeps the answer.
bool MayBeAKnownNick(StatsStore& store, std::string_view word) {
  if (!store.users.people.empty()) return true;
  FollowNickTable(store.nickShapes, store.nicks);
  return MayNameARecord(store.nickShapes, word);
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

// What a message adds to its speaker, from its counts made beforehand: the
// URL is offered as the nick part names its speaker, and the question flag
// is taken from the previous message before this one's is set.
void AddCountedMessage(NickRecord& speaker, std::string_view message, const MessageFacts& facts,
                       const std::optional<std::string_view>& nick, StatsStore& store,
                       const AccountingConfig& config) {
  if (facts.urlStart != kNoUrl) {
    ++speaker.urls;
    if (nick) OfferToPool(store.pools.urls, UrlAt(message, facts.urlStart), ShownNameOf(store, *nick));
  }
  if (facts.seenRequest) ++speaker.seenRequests;
  speaker.flags &= ~LAST_LINE_ASKED;
  AddMessageFacts(speaker, facts, config.statWord, config.verbosity);
}

// The same, counting the message here: for a message not counted before.
void AddMessage(NickRecord& speaker, std::string_view message,
                const std::optional<std::string_view>& nick, StatsStore& store,
                const AccountingConfig& config) {
  std::string_view url = FindUrl(message);
  if (!url.empty()) {
    ++speaker.urls;
    if (nick) OfferToPool(store.pools.urls, url, ShownNameOf(store, *nick));
  }
  if (IsSeenRequest(message, TextFactsRulesOf(config))) ++speaker.seenRequests;
  speaker.flags &= ~LAST_LINE_ASKED;
  AddTextStatistics(speaker, message, config.statWord, config.verbosity, config.countCharacters);
}

void AccountSpokenLine(const LineFacts& facts, StatsStore& store, const AccountingConfig& config) {
  bool isText = facts.type == kTypeText;
  const std::optional<std::string_view>& message = facts.parts.message;
  NickRecord* speaker = facts.speaker;
  if (isText && speaker != nullptr && message) {
    std::string_view addressee = Addressee(*message);
    if (!addressee.empty() && MayBeAKnownNick(store, addressee)) {
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
    if (facts.messageFacts != nullptr) {
      AddCountedMessage(*speaker, *message, *facts.messageFacts, facts.parts.nick, store, config);
    } else {
      AddMessage(*speaker, *message, facts.parts.nick, store, config);
    }
  } else {
    speaker->flags &= ~LAST_LINE_ASKED;
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
      AccountSpokenLine(facts, store, config);
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

TextFactsRules TextFactsRulesOf(const AccountingConfig& config) {
  static_assert(sizeof(config.botNames) / sizeof(config.botNames[0]) == kBotNames);
  TextFactsRules rules;
  rules.statWord = &config.statWord;
  rules.botNames = config.botNames;
  rules.utf8Letters = config.countCharacters;
  return rules;
}

void AddTextStatistics(NickRecord& nick, std::string_view text, const std::string& statWord,
                       int verbosity, bool utf8Letters) {
  AddTextCounts(nick, CountCharacters(text, utf8Letters), CountStatWord(text, statWord), statWord,
                verbosity);
}
