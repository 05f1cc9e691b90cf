#pragma once
// Lookups per client (its key: an IPv4 address or an IPv6 /64): a token
// bucket per client, in a table of bounded size, shared by every thread.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>

namespace site {

class RateLimiter {
public:
  using Clock = std::chrono::steady_clock;

  // `perSecond` 0 lets everything through.
  RateLimiter(double perSecond, double burst, std::size_t maxClients = 16384);

  // Takes one token of `client`'s bucket; false when it is empty, or when it
  // is new and the table is full of emptied buckets.
  bool Allow(const std::string& client, Clock::time_point now = Clock::now());

private:
  struct Bucket {
    double Tokens;
    Clock::time_point Updated;
  };

  double TokensAt(const Bucket& bucket, Clock::time_point now) const;
  // Forgets buckets until a new one fits; false when every one left is empty.
  bool MakeRoom(Clock::time_point now);

  std::mutex FMutex;
  std::unordered_map<std::string, Bucket> FBuckets;
  Clock::time_point FNoRoomUntil;  // the table is full of emptied buckets until then
  const double FPerSecond;
  const double FBurst;
  const std::size_t FMaxClients;
};

}  // namespace site
