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
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>

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
};

}  // namespace site
