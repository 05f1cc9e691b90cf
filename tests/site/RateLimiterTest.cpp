// Lookups per client: a burst, then the refill rate, each address on its own,
// and a table that stays bounded under a flood of addresses.
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

TEST(SiteRateLimiter, AFloodOfAddressesDoesNotFreeAnEmptiedBucket) {
  RateLimiter limiter(1, 1, 100);
  const auto t0 = RateLimiter::Clock::now();
  EXPECT_TRUE(limiter.Allow("victim", t0 + 1ms));
  // The flood fills and sweeps the table; the emptied bucket is newer than
  // the older half of the flood, so it stays, and stays empty.
  for (int i = 0; i < 60; ++i) EXPECT_TRUE(limiter.Allow("old" + std::to_string(i), t0));
  for (int i = 0; i < 60; ++i) EXPECT_TRUE(limiter.Allow("new" + std::to_string(i), t0 + 2ms));
  EXPECT_FALSE(limiter.Allow("victim", t0 + 3ms));
}

}  // namespace
