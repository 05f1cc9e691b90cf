#pragma once
// A map whose entries expire, shared between threads. Bounded by bytes, not
// entries: whoever answers the lookups (a DNS zone, a registry) chooses how
// big each answer is, so a count alone would let a few large answers pin
// gigabytes. When full, the least recently used entries go.

#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace site {

template <class Value>
class TtlCache {
public:
  using Clock = std::chrono::steady_clock;
  // The bytes a value holds, its own object's included.
  using Measure = std::function<std::size_t(const Value&)>;

  // Keeps at most `maxBytes` of keys and values as `measure` counts them, with
  // each entry's bookkeeping; a value larger than that is not kept at all.
  TtlCache(std::size_t maxBytes, Measure measure) : FMaxBytes(maxBytes), FMeasure(std::move(measure)) {}

  std::optional<Value> Find(const std::string& key) {
    std::lock_guard lock(FMutex);
    const auto it = FIndex.find(key);
    if (it == FIndex.end()) return std::nullopt;
    if (it->second->Expiry <= Clock::now()) {
      Erase(it);
      return std::nullopt;
    }
    FByUse.splice(FByUse.begin(), FByUse, it->second);
    return it->second->Item;
  }

  void Store(const std::string& key, Value value, Clock::duration ttl) {
    if (ttl.count() <= 0) return;
    const std::size_t bytes = kEntryBytes + 2 * key.size() + FMeasure(value);
    std::lock_guard lock(FMutex);
    if (const auto it = FIndex.find(key); it != FIndex.end()) Erase(it);
    if (bytes > FMaxBytes) return;
    while (FBytes + bytes > FMaxBytes) Erase(FIndex.find(FByUse.back().Key));
    FByUse.push_front(Entry{key, std::move(value), Clock::now() + ttl, bytes});
    FIndex.emplace(key, FByUse.begin());
    FBytes += bytes;
  }

  // The value of `key` is no longer right: the next Find misses.
  void Forget(const std::string& key) {
    std::lock_guard lock(FMutex);
    if (const auto it = FIndex.find(key); it != FIndex.end()) Erase(it);
  }

  // Bytes held now, as counted against the bound.
  std::size_t Bytes() {
    std::lock_guard lock(FMutex);
    return FBytes;
  }

private:
  // A list node and a hash node with their pointers, beside the key and value.
  static constexpr std::size_t kEntryBytes = 128;

  struct Entry {
    std::string Key;
    Value Item;
    Clock::time_point Expiry;
    std::size_t Bytes;
  };
  using UseList = std::list<Entry>;  // the most recently used first

  void Erase(typename std::unordered_map<std::string, typename UseList::iterator>::iterator it) {
    FBytes -= it->second->Bytes;
    FByUse.erase(it->second);
    FIndex.erase(it);
  }

  std::mutex FMutex;
  UseList FByUse;
  std::unordered_map<std::string, typename UseList::iterator> FIndex;
  std::size_t FBytes = 0;
  const std::size_t FMaxBytes;
  const Measure FMeasure;
};

}  // namespace site
