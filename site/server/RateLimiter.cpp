#include "server/RateLimiter.h"

#include <algorithm>
#include <vector>

namespace site {

RateLimiter::RateLimiter(double perSecond, double burst, std::size_t maxClients)
    : FPerSecond(perSecond), FBurst(burst), FMaxClients(maxClients) {}

bool RateLimiter::Allow(const std::string& client, Clock::time_point now) {
  if (FPerSecond <= 0) return true;
  std::lock_guard lock(FMutex);
  auto it = FBuckets.find(client);
  if (it == FBuckets.end()) {
    if (FBuckets.size() >= FMaxClients) MakeRoom(now);
    it = FBuckets.emplace(client, Bucket{FBurst, now}).first;
  }
  Bucket& bucket = it->second;
  const double seconds = std::chrono::duration<double>(now - bucket.Updated).count();
  bucket.Tokens = std::min(FBurst, bucket.Tokens + seconds * FPerSecond);
  bucket.Updated = now;
  if (bucket.Tokens < 1) return false;
  bucket.Tokens -= 1;
  return true;
}

void RateLimiter::MakeRoom(Clock::time_point now) {
  // A bucket that has refilled is the same as no bucket: those go first.
  const auto refill = std::chrono::duration<double>(FBurst / FPerSecond);
  std::erase_if(FBuckets, [&](const auto& entry) { return now - entry.second.Updated >= refill; });
  // Still full: a flood of addresses; the least recently seen half goes, so
  // that this sweep is not repeated for every new address.
  if (FBuckets.size() >= FMaxClients) {
    std::vector<Clock::time_point> times;
    times.reserve(FBuckets.size());
    for (const auto& entry : FBuckets) times.push_back(entry.second.Updated);
    auto middle = times.begin() + times.size() / 2;
    std::nth_element(times.begin(), middle, times.end());
    const auto cut = *middle;
    std::erase_if(FBuckets, [&](const auto& entry) { return entry.second.Updated <= cut; });
  }
}

}  // namespace site
