#pragma once
// The service's counters, for /metrics. Each is one atomic, counted with
// relaxed order from any thread: a scrape may see one counter a step ahead of
// another, never a torn value, and no page waits on a lock for them.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace site {

using Counter = std::atomic<std::uint64_t>;

enum class PageOutcome { Ok, BadRequest, RateLimited, Busy, Failed };
inline constexpr std::size_t kPageOutcomes = 5;
enum class RegistryKind { Whois, Rdap, Dns };
inline constexpr std::size_t kRegistryKinds = 3;
enum class CacheKind { Records, Dns, Pages };  // pages: finished pages, this instance's own only
inline constexpr std::size_t kCacheKinds = 3;
enum class CacheLevel { Local, Shared };

// Upper bounds of the page latency histogram, in seconds; +Inf follows.
inline constexpr std::array<double, 12> kPageSecondsBuckets{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 10};

struct Metrics {
  void Count(Counter& counter) { counter.fetch_add(1, std::memory_order_relaxed); }
  void Page(PageOutcome outcome, std::chrono::steady_clock::duration time);
  void Registry(RegistryKind kind) { Count(Registries[static_cast<std::size_t>(kind)]); }
  void Cache(CacheKind kind, CacheLevel level, bool hit) {
    Count(Caches[static_cast<std::size_t>(kind)][static_cast<std::size_t>(level)][hit ? 1 : 0]);
  }

  std::array<Counter, kPageOutcomes> Pages{};
  std::array<Counter, kPageSecondsBuckets.size() + 1> PageSeconds{};  // per bucket, not cumulative
  Counter PageMicroseconds{0};
  std::array<Counter, 3> Reports{};  // by Outcome: done, failed, timed out
  std::array<Counter, kRegistryKinds> Registries{};
  std::array<std::array<std::array<Counter, 2>, 2>, kCacheKinds> Caches{};  // [kind][level][miss, hit]
  // A gauge, set by the Redis link: whether it is connected and answering; without Redis, never shown.
  std::atomic<int> RedisConnected{-1};  // -1: no Redis
};

// The Prometheus text exposition of `metrics` and of the gauges read at the scrape.
std::string MetricsText(const Metrics& metrics, std::size_t connections, std::size_t pagesInFlight);

}  // namespace site
