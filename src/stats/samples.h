// Random samples filled one offer at a time while the logs are read: the
// QuoteSample keeps one text, the SamplePool five distinct texts with the
// nick each came from. Every random draw is the C library's rand().
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct QuoteLimits {
  int32_t minLen = 2;
  int32_t maxLen = 1000;
  bool inCharacters = false;  // lengths in UTF-8 characters rather than bytes
};

struct QuoteSample {
  std::optional<std::string> text;  // none until the first accepted offer
  int32_t count = 0;                // offers accepted so far
};

constexpr int kPoolSlots = 5;

struct SamplePool {
  int32_t offers = 0;
  int32_t duplicates = 0;
  std::optional<std::string> items[kPoolSlots];
  std::optional<std::string> whoBy[kPoolSlots];
};

// The run's four pools.
struct SamplePools {
  SamplePool topics;
  SamplePool kicks;
  SamplePool urls;
  SamplePool signoffs;
};

// The texts of the last three accounted lines of the current log file,
// slot 0 the oldest. A slot views the line where it was read, so that a
// line is copied only when it is still recent as its text goes away (see
// KeepRecentLines).
struct RecentLines {
  std::optional<std::string_view> slots[3];
  std::string kept[3];  // the copies the slots view after KeepRecentLines
};

// Offers `text` to `sample`: texts outside the limits are ignored; the
// count-th accepted text replaces the held one with chance 1/count.
void OfferQuote(QuoteSample& sample, std::string_view text, const QuoteLimits& limits);

// Offers an item and the nick it came from to `pool`.
void OfferToPool(SamplePool& pool, std::string_view item, std::string_view whoBy);

// The three recent lines, oldest first, each ended by "\n", then the kick line.
std::string BuildKickContext(const RecentLines& recent, std::string_view kickLine);

// Makes `line` the newest recent line, dropping the oldest. The text is
// viewed, not copied. REQUIRES: it stays valid until KeepRecentLines, or
// until three newer lines were pushed.
void PushRecentLine(RecentLines& recent, std::string_view line);

// Copies the recent lines into `recent`'s own storage, for when the texts
// they view are about to go.
void KeepRecentLines(RecentLines& recent);
