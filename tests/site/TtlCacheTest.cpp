// The shared cache at its bound: the entry closest to expiry makes room, a key
// stored again replaces its entry without pushing another out.
#include "base/TtlCache.h"

#include <gtest/gtest.h>

using namespace site;

namespace {

using namespace std::chrono_literals;

TEST(SiteTtlCache, FullCacheDropsTheSoonestToExpire) {
  TtlCache<int> cache(3);
  cache.Store("hour", 1, 3600s);
  cache.Store("minute", 2, 60s);
  cache.Store("day", 3, 86400s);
  cache.Store("hour", 4, 7200s);
  EXPECT_EQ(cache.Find("minute"), 2) << "storing a known key evicts nothing";
  EXPECT_EQ(cache.Find("hour"), 4);

  cache.Store("week", 5, 604800s);
  EXPECT_EQ(cache.Find("minute"), std::nullopt);
  EXPECT_EQ(cache.Find("hour"), 4);
  EXPECT_EQ(cache.Find("day"), 3);
  EXPECT_EQ(cache.Find("week"), 5);

  cache.Store("none", 6, 0s);
  EXPECT_EQ(cache.Find("none"), std::nullopt);
  EXPECT_EQ(cache.Find("hour"), 4) << "an answer not to be kept takes no room";
}

}  // namespace
