#include "stats/samples.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

// The five slots' items of a pool, empty slots as "-".
std::vector<std::string> Items(const SamplePool& pool) {
  std::vector<std::string> items;
  for (const std::optional<std::string>& item : pool.items) items.push_back(item ? *item : "-");
  return items;
}

std::vector<std::string> WhoBy(const SamplePool& pool) {
  std::vector<std::string> who;
  for (const std::optional<std::string>& nick : pool.whoBy) who.push_back(nick ? *nick : "-");
  return who;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// What a pool should hold, worked out from the same draws: the first five
// distinct texts fill the slots in order; the n-th distinct text after
// that goes to the first slot k of 1 to 4 whose draw r has r % (n - k) == 0.
struct PoolPrediction {
  int offers = 0;
  int duplicates = 0;
  std::vector<std::string> items = std::vector<std::string>(5, "-");
  std::vector<std::string> whoBy = std::vector<std::string>(5, "-");

  void Offer(const std::string& item, const std::string& who) {
    ++offers;
    for (const std::string& held : items) {
      if (held != "-" && SameIgnoringCase(held, item)) {
        ++duplicates;
        return;
      }
    }
    int n = offers - duplicates;
    int slot = -1;
    if (n <= 5) {
      slot = n - 1;
    } else {
      for (int k = 1; k <= 4 && slot < 0; ++k) {
        if (rand() % (n - k) == 0) slot = k;
      }
    }
    if (slot < 0) return;
    items[slot] = item;
    whoBy[slot] = who;
  }
};

TEST(QuoteSample, KeepsOnlyTextsWithinTheLengthLimits) {
  srand(1);
  QuoteLimits limits;  // 2 to 1000
  QuoteSample sample;
  EXPECT_FALSE(sample.text.has_value());
  EXPECT_EQ(sample.count, 0);

  OfferQuote(sample, "a", limits);
  OfferQuote(sample, "", limits);
  OfferQuote(sample, std::string(1001, 'x'), limits);
  EXPECT_FALSE(sample.text.has_value());
  EXPECT_EQ(sample.count, 0);

  OfferQuote(sample, "ab", limits);
  EXPECT_EQ(sample.count, 1);
  ASSERT_TRUE(sample.text.has_value());
  EXPECT_EQ(*sample.text, "ab");  // the first accepted text is always held

  OfferQuote(sample, std::string(1000, 'y'), limits);
  EXPECT_EQ(sample.count, 2);
  OfferQuote(sample, std::string(1001, 'z'), limits);
  EXPECT_EQ(sample.count, 2);

  QuoteSample longest;
  OfferQuote(longest, std::string(1000, 'y'), limits);
  ASSERT_TRUE(longest.text.has_value());
  EXPECT_EQ(longest.text->size(), 1000u);

  // A negative minimum refuses every text; a negative maximum sets no upper
  // limit; a minimum of 0 lets the empty text in.
  QuoteSample refused;
  for (const std::string& text : {std::string(), std::string("hello"), std::string(5000, 'x')}) {
    OfferQuote(refused, text, QuoteLimits{-1, 1000});
  }
  EXPECT_EQ(refused.count, 0);
  EXPECT_FALSE(refused.text.has_value());

  QuoteSample unlimited;
  OfferQuote(unlimited, std::string(100000, 'x'), QuoteLimits{2, -1});
  EXPECT_EQ(unlimited.count, 1);
  ASSERT_TRUE(unlimited.text.has_value());
  EXPECT_EQ(unlimited.text->size(), 100000u);
  OfferQuote(unlimited, "x", QuoteLimits{2, -1});
  EXPECT_EQ(unlimited.count, 1);

  // In characters: "\xc3\xa9" is one, so "\xc3\xa9" alone is too short and
  // three of them (six bytes) fit a limit of 3.
  QuoteSample characters;
  OfferQuote(characters, "\xc3\xa9", QuoteLimits{2, 3, true});
  EXPECT_EQ(characters.count, 0);
  OfferQuote(characters, "\xc3\xa9\xc3\xa9\xc3\xa9", QuoteLimits{2, 3, true});
  EXPECT_EQ(characters.count, 1);
  OfferQuote(characters, "\xc3\xa9\xc3\xa9\xc3\xa9", QuoteLimits{2, 3, false});  // six bytes
  EXPECT_EQ(characters.count, 1);

  QuoteSample empty;
  OfferQuote(empty, "", QuoteLimits{0, 0});
  EXPECT_EQ(empty.count, 1);
  EXPECT_EQ(empty.text, std::optional<std::string>(""));
  OfferQuote(empty, "a", QuoteLimits{0, 0});
  EXPECT_EQ(empty.count, 1);
}

TEST(QuoteSample, ReplacesTheHeldTextByTheSeededDraws) {
  std::vector<std::string> offered;
  for (int i = 0; i < 60; ++i) offered.push_back("text " + std::to_string(i));
  for (unsigned seed = 1; seed <= 20; ++seed) {
    srand(seed);
    QuoteSample sample;
    std::vector<std::string> held;  // the text held after each accepted offer
    for (const std::string& text : offered) {
      OfferQuote(sample, text, QuoteLimits{});
      held.push_back(sample.text.value_or("-"));
      OfferQuote(sample, "x", QuoteLimits{});  // too short: no draw, no count
    }
    int next = rand();

    // The i-th accepted text (from 2 on) is taken when r < 2147483647 / i.
    srand(seed);
    std::vector<std::string> expected{offered[0]};
    for (int i = 2; i <= static_cast<int>(offered.size()); ++i) {
      expected.push_back(rand() < 2147483647 / i ? offered[i - 1] : expected.back());
    }
    EXPECT_EQ(sample.count, 60) << seed;
    EXPECT_EQ(held, expected) << "seed " << seed;
    // Exactly one draw per accepted offer after the first.
    EXPECT_EQ(next, rand()) << seed;
  }
}

TEST(SamplePool, KeepsDistinctTextsIgnoringCase) {
  SamplePool never;
  EXPECT_EQ(never.offers, 0);
  EXPECT_EQ(never.duplicates, 0);
  EXPECT_EQ(Items(never), std::vector<std::string>(5, "-"));
  EXPECT_EQ(WhoBy(never), std::vector<std::string>(5, "-"));

  SamplePool pool;
  OfferToPool(pool, "Hello", "amy");
  OfferToPool(pool, "hello", "bob");
  OfferToPool(pool, "Hi", "carl");
  EXPECT_EQ(pool.offers, 3);
  EXPECT_EQ(pool.duplicates, 1);
  EXPECT_EQ(Items(pool), (std::vector<std::string>{"Hello", "Hi", "-", "-", "-"}));
  EXPECT_EQ(WhoBy(pool), (std::vector<std::string>{"amy", "carl", "-", "-", "-"}));

  OfferToPool(pool, "HI", "dan");
  EXPECT_EQ(pool.offers, 4);
  EXPECT_EQ(pool.duplicates, 2);
  EXPECT_EQ(Items(pool), (std::vector<std::string>{"Hello", "Hi", "-", "-", "-"}));

  // Only A to Z fold.
  SamplePool folding;
  for (const char* item : {"\xc4h", "\xe4h", "[x]", "{x}", "ABC", "abc"}) {
    OfferToPool(folding, item, "who");
  }
  EXPECT_EQ(folding.offers, 6);
  EXPECT_EQ(folding.duplicates, 1);
  EXPECT_EQ(Items(folding), (std::vector<std::string>{"\xc4h", "\xe4h", "[x]", "{x}", "ABC"}));
}

TEST(SamplePool, SevenDistinctOffersKeepFiveWithTheFirstInSlotZero) {
  for (unsigned seed = 1; seed <= 200; ++seed) {
    srand(seed);
    SamplePool pool;
    for (int i = 1; i <= 7; ++i)
      OfferToPool(pool, "topic " + std::to_string(i), "n" + std::to_string(i));
    EXPECT_EQ(pool.offers, 7);
    EXPECT_EQ(pool.duplicates, 0);
    EXPECT_EQ(Items(pool)[0], "topic 1") << seed;
    std::vector<std::string> items = Items(pool);
    std::vector<std::string> who = WhoBy(pool);
    for (int slot = 0; slot < 5; ++slot) {
      ASSERT_NE(items[slot], "-") << seed;
      // A slot's item and nick are always replaced together.
      EXPECT_EQ(items[slot].substr(6), who[slot].substr(1)) << seed;
      for (int other = 0; other < slot; ++other) EXPECT_NE(items[slot], items[other]) << seed;
    }
  }
}

TEST(SamplePool, ReplacesSlotsOneToFourByTheSeededDraws) {
  // Distinct texts, case variants of held ones, and texts that come back
  // after they may have been replaced.
  std::vector<std::string> offered;
  for (int i = 0; i < 80; ++i) {
    offered.push_back("item" + std::to_string(i));
    if (i % 5 == 2) offered.push_back("ITEM" + std::to_string(i / 2));
    if (i % 7 == 3) offered.push_back("Item0");
  }
  for (unsigned seed = 1; seed <= 20; ++seed) {
    srand(seed);
    SamplePool pool;
    std::vector<std::vector<std::string>> items, who;  // after each offer
    for (size_t i = 0; i < offered.size(); ++i) {
      OfferToPool(pool, offered[i], "who" + std::to_string(i));
      items.push_back(Items(pool));
      who.push_back(WhoBy(pool));
    }
    int next = rand();

    srand(seed);
    PoolPrediction expected;
    std::vector<std::vector<std::string>> expectedItems, expectedWho;
    for (size_t i = 0; i < offered.size(); ++i) {
      expected.Offer(offered[i], "who" + std::to_string(i));
      expectedItems.push_back(expected.items);
      expectedWho.push_back(expected.whoBy);
    }
    EXPECT_EQ(pool.offers, expected.offers) << seed;
    EXPECT_EQ(pool.duplicates, expected.duplicates) << seed;
    EXPECT_GT(pool.duplicates, 11) << seed;
    EXPECT_EQ(items, expectedItems) << seed;
    EXPECT_EQ(who, expectedWho) << seed;
    EXPECT_EQ(Items(pool)[0], "item0");
    EXPECT_EQ(next, rand()) << seed;  // the same number of draws
  }
}

TEST(KickContext, PutsTheRecentLinesBeforeTheKickLine) {
  RecentLines recent;
  EXPECT_EQ(BuildKickContext(recent, "op kicked bob"), "op kicked bob");

  PushRecentLine(recent, "one");
  PushRecentLine(recent, "two");
  EXPECT_EQ(BuildKickContext(recent, "op kicked bob"), "one\ntwo\nop kicked bob");

  PushRecentLine(recent, "three");
  EXPECT_EQ(BuildKickContext(recent, "op kicked bob"), "one\ntwo\nthree\nop kicked bob");

  // The oldest line goes when a fourth comes.
  PushRecentLine(recent, "four");
  EXPECT_EQ(BuildKickContext(recent, "kick"), "two\nthree\nfour\nkick");
  EXPECT_EQ(recent.slots[0], std::optional<std::string>("two"));
  EXPECT_EQ(recent.slots[2], std::optional<std::string>("four"));

  // An empty recent line is still a line.
  PushRecentLine(recent, "");
  EXPECT_EQ(BuildKickContext(recent, ""), "three\nfour\n\n");

  EXPECT_EQ(BuildKickContext(RecentLines(), "kick"), "kick");

  // Kept lines outlive the text they were read from, through later keeps
  // and pushes alike.
  RecentLines kept;
  std::string text = "first";
  PushRecentLine(kept, text);
  KeepRecentLines(kept);
  text = "second";
  PushRecentLine(kept, text);
  KeepRecentLines(kept);
  text = "XXXXXX";
  EXPECT_EQ(BuildKickContext(kept, "kick"), "first\nsecond\nkick");
  PushRecentLine(kept, "third");
  PushRecentLine(kept, "fourth");
  KeepRecentLines(kept);
  KeepRecentLines(kept);
  EXPECT_EQ(BuildKickContext(kept, "kick"), "second\nthird\nfourth\nkick");
}

}  // namespace
