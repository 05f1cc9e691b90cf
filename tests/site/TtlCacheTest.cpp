// The shared cache at its bound in bytes: the least recently used entry makes
// room, a key stored again replaces its entry, an answer too big for the whole
// cache or not to be kept takes no room, and an expired one is gone.
#include "base/TtlCache.h"

#include <gtest/gtest.h>

#include <thread>

using namespace site;

namespace {

using namespace std::chrono_literals;

std::size_t Length(const std::string& text) { return text.size(); }

TEST(SiteTtlCache, BoundByBytesTheLeastRecentlyUsedGoes) {
  // Room for three entries of 1000 bytes with their keys and bookkeeping, not four.
  TtlCache<std::string> cache(3 * 1200, Length);
  const std::string kilo(1000, 'x');
  cache.Store("a", kilo + "a", 3600s);
  cache.Store("b", kilo + "b", 60s);
  cache.Store("c", kilo + "c", 86400s);
  cache.Store("b", kilo + "B", 7200s);
  EXPECT_EQ(cache.Find("a"), kilo + "a") << "storing a known key evicts nothing";
  EXPECT_EQ(cache.Find("b"), kilo + "B");

  cache.Store("d", kilo + "d", 60s);
  EXPECT_EQ(cache.Find("c"), std::nullopt) << "c was used least recently, though it expires last";
  EXPECT_EQ(cache.Find("a"), kilo + "a");
  EXPECT_EQ(cache.Find("d"), kilo + "d");
  EXPECT_LE(cache.Bytes(), 3u * 1200);

  cache.Store("huge", std::string(4000, 'h'), 3600s);
  EXPECT_EQ(cache.Find("huge"), std::nullopt) << "larger than the whole cache";
  EXPECT_EQ(cache.Find("a"), kilo + "a") << "and it pushed nothing out";

  // Many small entries of a flood stay within the bound as well.
  for (int i = 0; i < 1000; ++i) cache.Store("k" + std::to_string(i), "v", 3600s);
  EXPECT_LE(cache.Bytes(), 3u * 1200);
  EXPECT_EQ(cache.Find("k999"), "v");

  cache.Store("none", "n", 0s);
  EXPECT_EQ(cache.Find("none"), std::nullopt);
  cache.Store("brief", "b", 1s);
  std::this_thread::sleep_for(1100ms);
  const std::size_t held = cache.Bytes();
  EXPECT_EQ(cache.Find("brief"), std::nullopt);
  EXPECT_LT(cache.Bytes(), held) << "an expired entry found is given back";
}

}  // namespace
