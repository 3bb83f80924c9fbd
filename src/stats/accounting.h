// What each classified log line adds to the nick and day records and the
// random samples.
#pragma once

#include <regex.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "stats/samples.h"
#include "stats/tables.h"

// The kinds of log line, numbered as the format file and the "Parsed line"
// diagnostic number them.
enum LineType : int {
  kTypeNull = 0,
  kTypeText = 1,
  kTypeAction = 2,
  kTypeJoin = 3,
  kTypePart = 4,
  kTypeQuit = 5,
  kTypeKick = 6,
  kTypeTopic = 7,
  kTypeNick = 8,
  kTypeMode = 9,
  kTypeDateStamp = 10,
  kTypeChannel = 11,
  kLineTypeCount = 12,
};

// Everything a run's statistics accumulate into.
struct StatsStore {
  NickTable nicks;
  DayTable days;
  SamplePools pools;
};

// The run-wide values the accounting reads.
struct AccountingConfig {
  int verbosity = 0;
  std::string statWord;
  const regex_t* quitIgnore = nullptr;  // basic syntax; null matches nothing
  const regex_t* kickIgnore = nullptr;
  std::string botNames[3];
  QuoteLimits quoteLimits;
};

// The parts taken out of one line; a null pointer is a part the line's
// type does not give.
struct LineParts {
  const std::string* nick = nullptr;
  const std::string* otherNick = nullptr;
  const std::string* message = nullptr;
};

// Reusable buffers, so accounting a line allocates nothing of its own.
struct AccountingScratch {
  std::string lowered;
};

// Accounts one line of type 1 to 9. `speaker` is the record of the line's
// nick part, or null when the line has none.
void AccountLine(LineType type, std::string_view line, const LineParts& parts,
                 NickRecord* speaker, int hour, int quarter, DayRecord& day,
                 StatsStore& store, const RecentLines& recent,
                 const AccountingConfig& config, AccountingScratch& scratch);

// Adds the letters, questions, shouts and StatWord hits of `text` to `nick`;
// sets its question flag when the text holds a "?".
void AddTextStatistics(NickRecord& nick, std::string_view text, const std::string& statWord,
                       int verbosity);
