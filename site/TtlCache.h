#pragma once
// A map whose entries expire, shared between threads. Bounded: when full, the
// oldest entries go first, so a flood of distinct keys cannot grow memory.

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
    if (it->second.Expires <= Clock::now()) {
      FEntries.erase(it);
      return std::nullopt;
    }
    return it->second.Item;
  }

  void Store(const std::string& key, Value value, std::chrono::seconds ttl) {
    if (ttl.count() <= 0) return;
    std::lock_guard lock(FMutex);
    if (FEntries.size() >= FCapacity && !FEntries.contains(key)) EvictOne();
    FEntries.insert_or_assign(key, Entry{std::move(value), Clock::now() + ttl});
  }

private:
  struct Entry {
    Value Item;
    Clock::time_point Expires;
  };

  void EvictOne() {
    auto victim = FEntries.begin();
    for (auto it = FEntries.begin(); it != FEntries.end(); ++it)
      if (it->second.Expires < victim->second.Expires) victim = it;
    if (victim != FEntries.end()) FEntries.erase(victim);
  }

  std::mutex FMutex;
  std::map<std::string, Entry> FEntries;
  std::size_t FCapacity;
};

}  // namespace site
