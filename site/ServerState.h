#pragma once
// What every connection of the server shares: the options, the process-wide
// lookup state, and the counters behind the limits.

#include "Options.h"
#include "RateLimiter.h"
#include "ReportContext.h"

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <cstddef>

namespace site {

struct ServerState {
  ServerState(boost::asio::io_context& io, const Options& options)
      : Io(io), Opts(options), Shared(options), Rate(options.RatePerSecond, options.RateBurst) {}

  boost::asio::io_context& Io;
  const Options& Opts;
  SharedState Shared;
  RateLimiter Rate;
  std::atomic<std::size_t> Connections{0};
  std::atomic<std::size_t> InFlight{0};
};

// Holds one unit of a counter for as long as it lives.
class CounterSlot {
public:
  explicit CounterSlot(std::atomic<std::size_t>& counter) : FCounter(&counter) { ++*FCounter; }
  ~CounterSlot() { --*FCounter; }
  CounterSlot(const CounterSlot&) = delete;
  CounterSlot& operator=(const CounterSlot&) = delete;

private:
  std::atomic<std::size_t>* FCounter;
};

}  // namespace site
