// Lookups per client: a burst, then the refill rate, each client on its own,
// and a table that stays bounded under a flood of keys.
#include "server/RateLimiter.h"

#include <gtest/gtest.h>

using namespace site;

namespace {

using namespace std::chrono_literals;

TEST(SiteRateLimiter, BurstThenRefillPerAddress) {
  RateLimiter limiter(2, 3);
  const auto t0 = RateLimiter::Clock::now();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(limiter.Allow("a", t0)) << i;
  EXPECT_FALSE(limiter.Allow("a", t0));
  EXPECT_TRUE(limiter.Allow("b", t0));
  EXPECT_FALSE(limiter.Allow("a", t0 + 400ms));
  EXPECT_TRUE(limiter.Allow("a", t0 + 500ms));
  EXPECT_FALSE(limiter.Allow("a", t0 + 500ms));
  // Refilling stops at the burst.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(limiter.Allow("a", t0 + 1h)) << i;
  EXPECT_FALSE(limiter.Allow("a", t0 + 1h));
}

TEST(SiteRateLimiter, ZeroRateIsNoLimit) {
  RateLimiter limiter(0, 1);
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(limiter.Allow("a"));
}

// However old the emptied bucket and however many keys come after it, a
// flood never frees it; when nothing but emptied buckets is left, a newcomer
// waits for room rather than buying it with someone else's limit.
TEST(SiteRateLimiter, AFloodOfKeysNeverFreesAnEmptiedBucket) {
  RateLimiter limiter(1, 3, 100);
  const auto t0 = RateLimiter::Clock::now();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(limiter.Allow("victim", t0)) << i;
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(limiter.Allow("flood" + std::to_string(i), t0 + 1ms + i * 1us)) << i;
  EXPECT_FALSE(limiter.Allow("victim", t0 + 500ms));
  // Keys that empty themselves fill the table: the newcomer past them is refused, the victim still empty.
  const auto t1 = t0 + 600ms;
  for (int i = 0; i < 99; ++i)
    for (int take = 0; take < 3; ++take) EXPECT_TRUE(limiter.Allow("empty" + std::to_string(i), t1)) << i;
  EXPECT_FALSE(limiter.Allow("newcomer", t1));
  EXPECT_FALSE(limiter.Allow("victim", t1));
  // Once buckets refill there is room again.
  EXPECT_TRUE(limiter.Allow("newcomer", t1 + 3s));
}

}  // namespace
