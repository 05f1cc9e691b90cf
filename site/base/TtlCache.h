#pragma once
// A map whose entries expire, shared between threads. Bounded: when full, the
// expired entries go, else the one that expires soonest, so a flood of
// distinct keys cannot grow memory. An index by expiry keeps that cheap.

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace site {

template <class Value>
class TtlCache {
public:
  using Clock = std::chrono::steady_clock;

  explicit TtlCache(std::size_t capacity = 10000) : FCapacity(capacity) {}

  std::optional<Value> Find(const std::string& key) {
    std::lock_guard lock(FMutex);
    auto it = FEntries.find(key);
    if (it == FEntries.end()) return std::nullopt;
    if (it->second.Expiry->first <= Clock::now()) {
      Erase(it);
      return std::nullopt;
    }
    return it->second.Item;
  }

  void Store(const std::string& key, Value value, std::chrono::seconds ttl) {
    if (ttl.count() <= 0) return;
    std::lock_guard lock(FMutex);
    const auto now = Clock::now();
    if (auto it = FEntries.find(key); it != FEntries.end()) Erase(it);
    else if (FEntries.size() >= FCapacity) MakeRoom(now);
    const auto expiry = FByExpiry.emplace(now + ttl, key);
    FEntries.emplace(key, Entry{std::move(value), expiry});
  }

private:
  using ExpiryIndex = std::multimap<Clock::time_point, std::string>;

  struct Entry {
    Value Item;
    typename ExpiryIndex::iterator Expiry;
  };

  void Erase(typename std::map<std::string, Entry>::iterator it) {
    FByExpiry.erase(it->second.Expiry);
    FEntries.erase(it);
  }

  // Every expired entry in one sweep; when none had expired, the soonest to expire.
  void MakeRoom(Clock::time_point now) {
    bool evicted = false;
    while (!FByExpiry.empty() && (FByExpiry.begin()->first <= now || !evicted)) {
      FEntries.erase(FByExpiry.begin()->second);
      FByExpiry.erase(FByExpiry.begin());
      evicted = true;
    }
  }

  std::mutex FMutex;
  std::map<std::string, Entry> FEntries;
  ExpiryIndex FByExpiry;
  std::size_t FCapacity;
};

}  // namespace site
