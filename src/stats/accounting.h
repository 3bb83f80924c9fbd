// What each classified log line adds to the nick and day records and the
// random samples.
#pragma once

#include <regex.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "stats/line_type.h"
#include "stats/samples.h"
#include "stats/stats_store.h"
#include "stats/tables.h"
#include "stats/text_facts.h"

// The run-wide values the accounting reads.
struct AccountingConfig {
  int verbosity = 0;
  std::string statWord;
  const regex_t* quitIgnore = nullptr;  // basic syntax; null matches nothing
  const regex_t* kickIgnore = nullptr;
  std::string botNames[3];
  QuoteLimits quoteLimits;
  // Texts are UTF-8 and count in characters: letters and quote lengths.
  bool countCharacters = false;
};

// The parts taken out of one line; none for a part the line's type does
// not give. The views point into the line's bytes.
struct LineParts {
  std::optional<std::string_view> nick;
  std::optional<std::string_view> otherNick;
  std::optional<std::string_view> message;
};

// Everything known about one line when it is accounted.
struct LineFacts {
  LineType type = kTypeNull;
  std::string_view line;  // the whole cleaned line
  LineParts parts;
  NickRecord* speaker = nullptr;  // the record of the nick part; null without one
  int hour = 0;
  int quarter = 0;  // the hour's quarter of the day, 0 to 3
  DayRecord* day = nullptr;
  const RecentLines* recent = nullptr;  // the lines before this one in its file
  // The message's counts, made beforehand; null to have them made here.
  const MessageFacts* messageFacts = nullptr;
};

// Reusable buffers, so accounting a line allocates nothing of its own.
struct AccountingScratch {
  std::string ignoreText;  // a part copied to be matched against an ignore pattern
};

// Accounts one line of type 1 to 9.
// REQUIRES: `facts.day` and `facts.recent` are set; `facts.speaker`, when
// set, is a record of `store.nicks`.
void AccountLine(const LineFacts& facts, StatsStore& store, const AccountingConfig& config,
                 AccountingScratch& scratch);

// A run of lines by one speaker, within one log file: every ninth line of
// the same speaker in a row after the first counts as a monologue.
struct MonologueRun {
  // The speaker's record: records stay where they are while logs are read,
  // so one address is one record. Null for none.
  const NickRecord* previousSpeaker = nullptr;
  int counter = 0;
};

// Follows the run with the speaker of the next line (null for a line
// without a nick), crediting `speaker` with a monologue when its run is
// long enough. Every matched line takes part, accounted or not.
void CountMonologueRun(MonologueRun& run, NickRecord* speaker);

// The rules by which messages are counted ahead of their accounting.
// Valid as long as `config` is.
TextFactsRules TextFactsRulesOf(const AccountingConfig& config);

// Adds the letters, questions, shouts and StatWord hits of `text` to `nick`;
// sets its question flag when the text holds a "?". With `utf8Letters`
// every character beyond ASCII counts as a letter too (in bytes, none does).
void AddTextStatistics(NickRecord& nick, std::string_view text, const std::string& statWord,
                       int verbosity, bool utf8Letters = false);
