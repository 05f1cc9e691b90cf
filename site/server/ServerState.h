#pragma once
// What every connection of the server shares: the options, the process-wide
// lookup state, and the counters behind the limits.

#include "base/Options.h"
#include "base/TtlCache.h"
#include "history/History.h"
#include "page/PageRun.h"
#include "server/ClientShares.h"
#include "server/MemoryTrim.h"
#include "server/RateLimiter.h"
#include "sources/ReportContext.h"
#include "sources/redis/RedisLink.h"

#include <atomic>
#include <chrono>
#include <boost/asio/io_context.hpp>
#include <cstddef>
#include <string>

namespace site {

// A reply is at most a few hundred kilobytes; a client that will not take it
// in this time is gone.
constexpr std::chrono::seconds kWriteTimeout{30};

struct ServerState {
  ServerState(const Options& options, int threads)
      : Opts(options), Shared(options),
        FinishedPages(options.CacheBytes / 8, [](const std::string& page) { return sizeof page + page.capacity(); }), Rate(options.RatePerSecond, options.RateBurst),
        ClientConnections(options.MaxClientConnections), ClientPages(options.MaxClientInFlight), Io(threads) {
    History = MakeHistory(options.History, options.HistoryPerName, std::chrono::days(options.HistoryDays));
    if (options.RedisSocket.empty() && options.RedisHost.empty()) return;
    // No reply of the site's commands is longer than one value and its framing.
    Redis = std::make_shared<RedisLink>(Io, RedisAddress{options.RedisHost, options.RedisPort, options.RedisSocket}, options.RedisTimeout,
                                        options.RedisMaxValueBytes + 4096, options.RedisPassword, Shared.Counters.RedisConnected);
    Shared.Redis = Redis.get();
    Redis->Start();
  }
  // The connection goes before the loop: its waiting commands end without a reply.
  ~ServerState() {
    if (Redis) Redis->Close();
  }
  ServerState(const ServerState&) = delete;
  ServerState& operator=(const ServerState&) = delete;

  const Options& Opts;
  SharedState Shared;
  // Pages of records as they were given, keyed by the question: the same
  // question again within moments (a reload, a crowd after one name) is
  // answered with the page made for it, with no report run again. An eighth
  // of the records' bound: a page is made of records, most of them kept.
  TtlCache<std::string> FinishedPages;
  RateLimiter Rate;
  std::atomic<std::size_t> Connections{0};
  std::atomic<std::size_t> InFlight{0};
  std::atomic<std::size_t> Scrapes{0};  // metrics requests being answered
  ClientShares ClientConnections;
  ClientShares ClientPages;
  MemoryTrim Trim;
  LivePages Pages;
  const ReportStarts Reports = RealReports();
  // Last, so that it goes first: the handlers it still holds at exit own
  // sessions and pages, which use everything above.
  boost::asio::io_context Io;
  std::shared_ptr<RedisLink> Redis;  // when the site shares its caches and limits
  // Gone before the loop: its writer finishes the write in hand and drops the rest.
  std::unique_ptr<site::History> History;  // when the site keeps each name's history
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
