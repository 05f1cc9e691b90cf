#pragma once
// Lookups per client address: a token bucket per address, in a table of
// bounded size, shared by every thread.

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

  // Takes one token of `client`'s bucket; false when it is empty.
  bool Allow(const std::string& client, Clock::time_point now = Clock::now());

private:
  struct Bucket {
    double Tokens;
    Clock::time_point Updated;
  };

  void MakeRoom(Clock::time_point now);

  std::mutex FMutex;
  std::unordered_map<std::string, Bucket> FBuckets;
  const double FPerSecond;
  const double FBurst;
  const std::size_t FMaxClients;
};

}  // namespace site
