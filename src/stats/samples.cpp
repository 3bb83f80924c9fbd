#include "stats/samples.h"

#include <cstdlib>

#include "stats/text_basics.h"

void OfferQuote(QuoteSample& sample, std::string_view text, const QuoteLimits& limits) {
  // The limits compare as unsigned sizes: a negative minimum refuses every
  // text, a negative maximum sets no upper limit.
  size_t length = limits.inCharacters ? Utf8CharacterCount(text) : text.size();
  if (static_cast<size_t>(static_cast<int64_t>(limits.minLen)) > length) return;
  if (static_cast<size_t>(static_cast<int64_t>(limits.maxLen)) < length) return;
  ++sample.count;
  if (sample.count > 1 && rand() >= RAND_MAX / sample.count) return;
  sample.text.emplace(text);
}

void OfferToPool(SamplePool& pool, std::string_view item, std::string_view whoBy) {
  ++pool.offers;
  int32_t distinct = pool.offers - pool.duplicates;
  for (const std::optional<std::string>& held : pool.items) {
    if (held && NamesEqualIgnoringCase(*held, item)) {
      ++pool.duplicates;
      return;
    }
  }
  int target = -1;
  if (distinct <= kPoolSlots) {
    target = distinct - 1;
  } else {
    // Slot 0 keeps the first distinct item; slots 1 to 4 hold a uniform
    // sample of the others.
    for (int k = 1; k < kPoolSlots; ++k) {
      if (rand() % (distinct - k) == 0) {
        target = k;
        break;
      }
    }
    if (target < 0) return;
  }
  pool.items[target].emplace(item);
  pool.whoBy[target].emplace(whoBy);
}

std::string BuildKickContext(const RecentLines& recent, std::string_view kickLine) {
  std::string context;
  for (const std::optional<std::string_view>& line : recent.slots) {
    if (!line) continue;
    context += *line;
    context += '\n';
  }
  context += kickLine;
  return context;
}

void PushRecentLine(RecentLines& recent, std::string_view line) {
  recent.slots[0] = recent.slots[1];
  recent.slots[1] = recent.slots[2];
  recent.slots[2] = line;
}

void KeepRecentLines(RecentLines& recent) {
  // A slot may view another slot's copy, so all are copied before any
  // copy is replaced.
  std::string copies[3];
  for (int i = 0; i < 3; ++i) {
    if (recent.slots[i]) copies[i].assign(*recent.slots[i]);
  }
  for (int i = 0; i < 3; ++i) {
    recent.kept[i].swap(copies[i]);
    if (recent.slots[i]) recent.slots[i] = recent.kept[i];
  }
}
