#pragma once
// sources/: where the facts come from: DNS, RDAP, WHOIS, probes, and the caches that keep them.
//
// What a report needs from the page and from the process. A report keeps the
// shared_ptr for as long as any of its operations runs.

#include "base/Metrics.h"
#include "base/Options.h"
#include "sources/Resolver.h"
#include "base/TtlCache.h"

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/ssl/context.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <utility>
#include <vector>

namespace site {

class RedisLink;

// Process-wide state, shared by every page; each member is safe to use from any thread.
struct SharedState {
  explicit SharedState(const Options& options);
  const Options& Opts;
  boost::asio::ssl::context Tls;   // verifies peers against Opts.CaFile or the system's store
  // The caches share Opts.CacheBytes: half for records, which are the largest
  // answers, most of the rest for DNS, and an eighth for the bootstrap files.
  TtlCache<std::string> Records;   // raw registration records, keyed by URL or "whois:host:query"
  // RDAP bootstrap files, parsed once a day rather than on every page; keyed by URL.
  TtlCache<std::shared_ptr<const nlohmann::json>> Bootstraps;
  TtlCache<DnsAnswer> Dns;         // keyed by type and name
  // Set by the server when the caches are shared through Redis (sources/redis/SharedCache.h); outlives every page.
  RedisLink* Redis = nullptr;
  Metrics Counters;
};

struct ReportContext {
  boost::asio::any_io_executor Executor;  // the page's strand: every handler of a report runs on it
  SharedState& Shared;
  std::shared_ptr<Resolver> Dns;          // the page's resolver, on the same strand
  std::chrono::steady_clock::time_point Deadline;  // every report calls its ReportDone by then
  // Set on the strand once the page has ended (its client gone, the service
  // stopping, its budget spent): a report still running starts nothing more.
  bool Ended = false;

  // A connection that would otherwise run to its own time-out registers how to
  // stop it; nothing is kept once the page has ended, so a caller checks Ended
  // itself. `stop` holds its operation weakly: it may have finished long before.
  void WhenEnded(std::function<void()> stop) {
    if (!Ended) Stops.push_back(std::move(stop));
  }

  // Ends the page's work, on the strand: its queries are cancelled and its
  // open connections stopped, each still calling its `done`.
  void End() {
    Ended = true;
    Dns->CancelAll();
    // A stop may start nothing new (Ended is set), but it runs callbacks: the list is taken first.
    for (const auto& stop : std::exchange(Stops, {})) stop();
  }

  std::vector<std::function<void()>> Stops;  // through WhenEnded() and End() only
};

}  // namespace site
