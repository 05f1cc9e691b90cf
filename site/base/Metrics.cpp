#include "base/Metrics.h"

#include <cstdio>

namespace site {

namespace {

constexpr const char* kPageOutcomeNames[kPageOutcomes] = {"ok", "bad_request", "rate_limited", "busy", "failed"};
constexpr const char* kReportOutcomeNames[3] = {"done", "failed", "timed_out"};
constexpr const char* kRegistryNames[kRegistryKinds] = {"whois", "rdap", "dns"};
constexpr const char* kCacheNames[kCacheKinds] = {"records", "dns", "pages"};
constexpr const char* kLevelNames[2] = {"local", "shared"};

std::uint64_t Read(const Counter& counter) { return counter.load(std::memory_order_relaxed); }

void Head(std::string& out, const char* name, const char* type, const char* help) {
  out.append("# HELP ").append(name).append(" ").append(help).append("\n# TYPE ").append(name).append(" ").append(type).append("\n");
}

void Sample(std::string& out, const char* name, const std::string& labels, std::uint64_t value) {
  out.append(name);
  if (!labels.empty()) out.append("{").append(labels).append("}");
  out.append(" ").append(std::to_string(value)).append("\n");
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

void Metrics::Page(PageOutcome outcome, std::chrono::steady_clock::duration time) {
  Count(Pages[static_cast<std::size_t>(outcome)]);
  const double seconds = std::chrono::duration<double>(time).count();
  std::size_t bucket = 0;
  while (bucket < kPageSecondsBuckets.size() && seconds > kPageSecondsBuckets[bucket]) ++bucket;
  Count(PageSeconds[bucket]);
  PageMicroseconds.fetch_add(static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(time).count()),
                             std::memory_order_relaxed);
}

std::string MetricsText(const Metrics& m, std::size_t connections, std::size_t pagesInFlight) {
  std::string out;
  Head(out, "tarnwell_pages_total", "counter", "Lookup pages answered, by outcome.");
  for (std::size_t i = 0; i < kPageOutcomes; ++i) Sample(out, "tarnwell_pages_total", std::string("outcome=\"") + kPageOutcomeNames[i] + "\"", Read(m.Pages[i]));
  Head(out, "tarnwell_refusals_total", "counter", "Lookups refused: 429 past a client's rate, 503 past the pages in flight.");
  Sample(out, "tarnwell_refusals_total", "code=\"429\"", Read(m.Pages[static_cast<std::size_t>(PageOutcome::RateLimited)]));
  Sample(out, "tarnwell_refusals_total", "code=\"503\"", Read(m.Pages[static_cast<std::size_t>(PageOutcome::Busy)]));
  Head(out, "tarnwell_reports_total", "counter", "Reports finished, by outcome.");
  for (std::size_t i = 0; i < 3; ++i) Sample(out, "tarnwell_reports_total", std::string("outcome=\"") + kReportOutcomeNames[i] + "\"", Read(m.Reports[i]));
  Head(out, "tarnwell_registry_queries_total", "counter", "Queries sent to registries and DNS servers, by kind.");
  for (std::size_t i = 0; i < kRegistryKinds; ++i) Sample(out, "tarnwell_registry_queries_total", std::string("kind=\"") + kRegistryNames[i] + "\"", Read(m.Registries[i]));
  Head(out, "tarnwell_cache_lookups_total", "counter",
       "Cache lookups, by cache, level (this instance's own or the shared one, counted only when Redis answered) and result.");
  for (std::size_t kind = 0; kind < kCacheKinds; ++kind)
    for (std::size_t level = 0; level < 2; ++level) {
      // Finished pages are never shared between instances: they have no shared level.
      if (kind == static_cast<std::size_t>(CacheKind::Pages) && level == static_cast<std::size_t>(CacheLevel::Shared)) continue;
      for (std::size_t hit = 0; hit < 2; ++hit)
        Sample(out, "tarnwell_cache_lookups_total",
               std::string("cache=\"") + kCacheNames[kind] + "\",level=\"" + kLevelNames[level] + "\",result=\"" + (hit ? "hit" : "miss") + "\"",
               Read(m.Caches[kind][level][hit]));
    }
  Head(out, "tarnwell_page_seconds", "histogram", "Time from a lookup's request to its page.");
  std::uint64_t cumulative = 0;
  for (std::size_t i = 0; i < m.PageSeconds.size(); ++i) {
    cumulative += Read(m.PageSeconds[i]);
    const std::string bound = i < kPageSecondsBuckets.size() ? Number(kPageSecondsBuckets[i]) : "+Inf";
    Sample(out, "tarnwell_page_seconds_bucket", "le=\"" + bound + "\"", cumulative);
  }
  out.append("tarnwell_page_seconds_sum ").append(Number(static_cast<double>(Read(m.PageMicroseconds)) / 1e6)).append("\n");
  Sample(out, "tarnwell_page_seconds_count", {}, cumulative);
  Head(out, "tarnwell_connections", "gauge", "Client connections open.");
  Sample(out, "tarnwell_connections", {}, connections);
  Head(out, "tarnwell_pages_in_flight", "gauge", "Lookup pages being looked up.");
  Sample(out, "tarnwell_pages_in_flight", {}, pagesInFlight);
  if (const int redis = m.RedisConnected.load(std::memory_order_relaxed); redis >= 0) {
    Head(out, "tarnwell_redis_connected", "gauge", "1 while the shared Redis is connected and answering, else 0.");
    Sample(out, "tarnwell_redis_connected", {}, static_cast<std::uint64_t>(redis));
  }
  return out;
}

}  // namespace site
