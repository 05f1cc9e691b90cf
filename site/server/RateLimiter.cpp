#include "server/RateLimiter.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace site {

RateLimiter::RateLimiter(double perSecond, double burst, std::size_t maxClients)
    : FPerSecond(perSecond), FBurst(burst), FMaxClients(maxClients) {}

bool RateLimiter::Allow(const std::string& client, Clock::time_point now) {
  if (FPerSecond <= 0) return true;
  std::lock_guard lock(FMutex);
  auto it = FBuckets.find(client);
  if (it == FBuckets.end()) {
    if (FBuckets.size() >= FMaxClients && (now < FNoRoomUntil || !MakeRoom(now))) return false;
    it = FBuckets.emplace(client, Bucket{FBurst, now}).first;
  }
  Bucket& bucket = it->second;
  bucket.Tokens = TokensAt(bucket, now);
  bucket.Updated = now;
  if (bucket.Tokens < 1) return false;
  bucket.Tokens -= 1;
  return true;
}

double RateLimiter::TokensAt(const Bucket& bucket, Clock::time_point now) const {
  const double seconds = std::chrono::duration<double>(now - bucket.Updated).count();
  return std::min(FBurst, bucket.Tokens + std::max(0.0, seconds) * FPerSecond);
}

bool RateLimiter::MakeRoom(Clock::time_point now) {
  // A bucket that has refilled is the same as no bucket: those go first.
  std::erase_if(FBuckets, [&](const auto& entry) { return TokensAt(entry.second, now) >= FBurst; });
  if (FBuckets.size() < FMaxClients) return true;
  // Still full: a flood of keys. Forgetting a bucket gives its client the
  // tokens it lacks, so the fullest half goes, which gives least away and
  // spares the sweep for the next many keys. A bucket that is empty is a
  // client being held to its rate: it is never forgotten, and when nothing
  // else is left the newcomer waits for room instead.
  std::vector<double> tokens;
  tokens.reserve(FBuckets.size());
  for (const auto& entry : FBuckets) tokens.push_back(TokensAt(entry.second, now));
  auto middle = tokens.begin() + tokens.size() / 2;
  std::nth_element(tokens.begin(), middle, tokens.end(), std::greater<>());
  const double cut = std::max(1.0, *middle);
  std::erase_if(FBuckets, [&](const auto& entry) { return TokensAt(entry.second, now) >= cut; });
  if (FBuckets.size() < FMaxClients) return true;
  // Nothing can go before the first bucket has a token again: until then a
  // newcomer is refused without another sweep.
  double least = 1;
  for (const auto& entry : FBuckets) least = std::min(least, 1 - TokensAt(entry.second, now));
  FNoRoomUntil = now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(least / FPerSecond));
  return false;
}

}  // namespace site
