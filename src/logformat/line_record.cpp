#include "logformat/line_record.h"

#include "stats/text_basics.h"

namespace {

bool IsWide(size_t length) { return length > kLongestCompactLine; }

PartSpan SpanOf(const regmatch_t& position) {
  if (position.rm_so < 0) return {kUnmatchedPart, 0};
  return {static_cast<uint32_t>(position.rm_so),
          static_cast<uint32_t>(position.rm_eo - position.rm_so)};
}

// The hour and minute of the time part; a bad hour is told later, in line
// order, by the reader.
void ReadTime(std::string_view text, size_t at, LineRecord& record) {
  int64_t hour = ReadNumberAt(text, at);
  record.hour = static_cast<int8_t>(hour < 0 || hour > 23 ? -1 : hour);
  record.minute = static_cast<int8_t>(MinuteAfterHour(text, at));
}

}  // namespace

LineRecord RecordLine(const LineTypeTable& table, const LineRecording& recording,
                      const char* line, size_t length, const LineMatch& match, uint32_t wide) {
  LineRecord record;
  record.type = match.type;
  record.misfit = match.misfit;
  if (match.type == kTypeNull) return record;
  if (IsWide(length)) {
    record.wide = wide;
    return record;
  }
  const LineTypeEntry& entry = table.types[match.type];
  for (int part = 0; part < kRecordedParts; ++part) {
    if (entry.parts[part] != 0) record.parts[part] = SpanOf(match.positions[entry.parts[part]]);
  }
  std::string_view text(line, length);
  const PartSpan& time = record.parts[kPartTime];
  if (entry.parts[kPartTime] != 0 && time.start != kUnmatchedPart) ReadTime(text, time.start, record);
  const PartSpan& message = record.parts[kPartString];
  bool spoken = match.type == kTypeText || match.type == kTypeAction;
  if (spoken && recording.rules != nullptr && entry.parts[kPartString] != 0) {
    std::string_view said = message.start == kUnmatchedPart ? std::string_view()
                                                            : text.substr(message.start, message.length);
    record.message = CountMessageFacts(said, *recording.rules);
    record.counted = true;
  }
  return record;
}

bool PartGiven(const LineTypeTable& table, const LineRecord& record, int part) {
  return table.types[record.type].parts[part] != 0;
}

std::optional<size_t> PartStart(const LineTypeTable& table, const LineRecord& record, int part,
                                const LineMatch* wideMatches) {
  if (!PartGiven(table, record, part)) return std::nullopt;
  if (wideMatches != nullptr && record.wide != 0) {
    const regmatch_t& position =
        wideMatches[record.wide - 1].positions[table.types[record.type].parts[part]];
    if (position.rm_so < 0) return std::nullopt;
    return static_cast<size_t>(position.rm_so);
  }
  if (record.parts[part].start == kUnmatchedPart) return std::nullopt;
  return record.parts[part].start;
}

std::optional<std::string_view> PartText(const LineTypeTable& table, const LineRecord& record,
                                         int part, const char* line, const LineMatch* wideMatches) {
  if (!PartGiven(table, record, part)) return std::nullopt;
  if (wideMatches != nullptr && record.wide != 0) {
    const regmatch_t& position =
        wideMatches[record.wide - 1].positions[table.types[record.type].parts[part]];
    if (position.rm_so < 0) return std::string_view();
    return std::string_view(line + position.rm_so,
                            static_cast<size_t>(position.rm_eo - position.rm_so));
  }
  const PartSpan& span = record.parts[part];
  if (span.start == kUnmatchedPart) return std::string_view();
  return std::string_view(line + span.start, span.length);
}

int MinuteAfterHour(std::string_view text, size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '+' ||
                              text[at] == '-')) {
    ++at;
  }
  while (at < text.size() && IsCDigit(static_cast<unsigned char>(text[at]))) ++at;
  if (at + 2 >= text.size() || (text[at] != ':' && text[at] != '.')) return 0;
  if (!IsCDigit(static_cast<unsigned char>(text[at + 1])) ||
      !IsCDigit(static_cast<unsigned char>(text[at + 2]))) {
    return 0;
  }
  int minute = (text[at + 1] - '0') * 10 + (text[at + 2] - '0');
  return minute < 60 ? minute : 0;
}
