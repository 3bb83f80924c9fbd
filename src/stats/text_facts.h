// What a message of a text or action line adds to its speaker, counted
// from the message alone: the letters, shouts and questions, the hits of
// the counted word, the URL and whether it asks a bot when someone was
// last seen. None of it depends on the lines before, so it may be counted
// on any thread, ahead of the accounting that adds it up in line order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "stats/tables.h"

// The settings the counting reads.
struct TextFactsRules {
  const std::string* statWord = nullptr;  // the counted word; null or empty counts none
  const std::string* botNames = nullptr;  // kBotNames names, matched against the folded message
  bool utf8Letters = false;  // every character beyond ASCII counts as a letter too
};
constexpr int kBotNames = 3;

constexpr uint32_t kNoUrl = UINT32_MAX;

// The counts of one message. They fit 32 bits: a message longer than that
// is counted by the accounting itself (see kLongestCountedMessage).
struct MessageFacts {
  uint32_t letters = 0;
  uint32_t questions = 0;
  uint32_t shouts = 0;
  uint32_t statWordHits = 0;
  uint32_t urlStart = kNoUrl;  // where the URL starts in the message
  bool seenRequest = false;
};
constexpr size_t kLongestCountedMessage = UINT32_MAX - 1;

// Counts a message. REQUIRES: it is at most kLongestCountedMessage bytes.
MessageFacts CountMessageFacts(std::string_view message, const TextFactsRules& rules);

// The same counts for a text of any length.
struct CharacterCounts {
  uint64_t letters = 0;
  uint64_t questions = 0;
  uint64_t shouts = 0;
};
CharacterCounts CountCharacters(std::string_view text, bool utf8Letters);
// The counted word's hits: a hit starts the word afresh.
uint64_t CountStatWord(std::string_view text, const std::string& statWord);
// The URL of a message: from the first "http://" or "https://"; when it
// holds neither, from the first "www."; when none of these, from the first
// "ftp://"; up to the next blank. Empty when there is none.
std::string_view FindUrl(std::string_view message);
// Whether the message asks a bot when someone was last seen: "seen"
// anywhere in a message that names a bot, or "!seen" in any message, the
// message's "A" to "Z" folded to lower case.
bool IsSeenRequest(std::string_view message, const TextFactsRules& rules);

// The URL of a message that starts at `start`: up to the next blank.
std::string_view UrlAt(std::string_view message, size_t start);

// Adds the letters, questions, shouts and counted-word hits to `nick`,
// telling every hit above verbosity 2; sets its question flag when the
// message holds a "?".
void AddTextCounts(NickRecord& nick, const CharacterCounts& counts, uint64_t statWordHits,
                   const std::string& statWord, int verbosity);
void AddMessageFacts(NickRecord& nick, const MessageFacts& facts, const std::string& statWord,
                     int verbosity);
