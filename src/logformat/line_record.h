// The compact record a classified line is carried in from the classifying
// thread to the reading thread: where its parts lie, the hour it gives and
// the counts of its message, all of which depend on the line alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "logformat/classification.h"
#include "logformat/format_file.h"
#include "stats/text_facts.h"

// Where a part lies in its line.
struct PartSpan {
  uint32_t start = 0;
  uint32_t length = 0;
};
// The start of a part whose subexpression took no part in the match.
constexpr uint32_t kUnmatchedPart = UINT32_MAX;
// The parts the reading looks at: the time, the nicks, the message, the date.
constexpr int kRecordedParts = kPartDate + 1;
// Lines longer than this keep their parts in full match positions.
constexpr size_t kLongestCompactLine = UINT32_MAX - 1;

struct LineRecord {
  LineType type = kTypeNull;
  bool misfit = false;      // see LineMatch
  bool counted = false;     // `message` holds the message's counts
  int8_t hour = -1;         // what the time part reads, 0 to 23; -1 for a bad hour
  int8_t minute = 0;        // see MinuteAfterHour
  uint32_t wide = 0;        // for a line past kLongestCompactLine: its match's place
  PartSpan parts[kRecordedParts];
  MessageFacts message;
};

// What classifying a file's lines takes besides the format.
struct LineRecording {
  // The rules the messages of text and action lines are counted by; none
  // leaves the counting to the accounting.
  const TextFactsRules* rules = nullptr;
};

// The record of a line of `length` bytes classified as `match`. A line past
// kLongestCompactLine gets `wide` as the place of its match, which the
// caller keeps.
LineRecord RecordLine(const LineTypeTable& table, const LineRecording& recording,
                      const char* line, size_t length, const LineMatch& match, uint32_t wide);

// Whether the line's type gives the part.
bool PartGiven(const LineTypeTable& table, const LineRecord& record, int part);

// The text of a part: a view into the line; the empty text for a
// subexpression that took no part in the match; none when the type lacks
// the part. `wideMatches` are the batch's full matches.
std::optional<std::string_view> PartText(const LineTypeTable& table, const LineRecord& record,
                                         int part, const char* line, const LineMatch* wideMatches);

// The start of a part in the line; none when the type lacks it or its
// subexpression took no part.
std::optional<size_t> PartStart(const LineTypeTable& table, const LineRecord& record, int part,
                                const LineMatch* wideMatches);

// The minutes of a time read from `at`: the two digits after the hour's
// digits and a colon or a dot ("09:45", "9.45"); 0 when there are none.
int MinuteAfterHour(std::string_view text, size_t at);
