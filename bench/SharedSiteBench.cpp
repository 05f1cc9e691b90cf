// A home site of two tarnwell-site instances behind nginx (an upstream block)
// sharing one redis-server, against one instance behind the same nginx: 64
// keep-alive clients ask DNS-only pages for 1,000 names that a private unbound
// answers, the two set-ups taking turns for five rounds (medians compared), and
// the DNS questions each set-up sent beside the distinct ones. Then one
// client, page by page, through an instance that finds the names in Redis and
// again once it has them in its own record cache: what the shared cache adds
// to a cached page. That instance makes every page afresh (no page cache), so
// both passes run the same report and differ only in where the records come
// from. Exits 1 when a page failed.
#include "LoopbackPort.h"
#include "NginxServer.h"
#include "RedisServer.h"
#include "DnsPages.h"
#include "SiteClient.h"
#include "SiteProcess.h"
#include "UnboundServer.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kClients = 64;
constexpr int kNames = 1000;
// The DNS report's questions about one name: A, AAAA, CNAME, MX, NS, TXT, SOA.
constexpr int kQuestionsPerName = 7;
constexpr std::chrono::seconds kRun{2};
// The machine is shared: the two set-ups take turns, and the medians are compared.
constexpr int kRounds = 5;

struct Run {
  double PagesPerSecond = 0;
  long Failed = 0;
};

// Every client keeps one connection; client c starts at its own share of the
// names and walks on, so each name is first asked by one client only and the
// next comes a few pages later: a second registry query is the cache's miss,
// not two pages racing.
Run Load(std::uint16_t port) {
  std::atomic<long> pages{0}, failed{0};
  const auto start = Clock::now();
  const auto end = start + kRun;
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      int fd = ConnectSite(port);
      for (int i = 0; i < 1000000 && Clock::now() < end; ++i) {
        const SiteReply reply = Exchange(fd, DnsPage(Name((c * kNames / kClients + i) % kNames)));
        if (!PageOk(reply)) {
          if (++failed == 1) std::fprintf(stderr, "failed page: %d %s\n", reply.Status, reply.Body.substr(0, 300).c_str());
          close(fd);
          fd = ConnectSite(port);
          continue;
        }
        ++pages;
      }
      close(fd);
    });
  }
  for (auto& client : clients) client.join();
  return {static_cast<double>(pages) / std::chrono::duration<double>(Clock::now() - start).count(), failed};
}

// One page after another for every name: their latencies in ms.
std::vector<double> Sequential(std::uint16_t port, long& failed) {
  std::vector<double> times;
  const int fd = ConnectSite(port);
  for (int i = 0; i < kNames; ++i) {
    const auto sent = Clock::now();
    if (!PageOk(Exchange(fd, DnsPage(Name(i))))) {
      ++failed;
      continue;
    }
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
  }
  close(fd);
  return times;
}

double DnsQueries(std::uint16_t metricsPort) {
  const std::string body = GetSite(metricsPort, "/metrics").Body;
  const std::string key = "tarnwell_registry_queries_total{kind=\"dns\"} ";
  const std::size_t at = body.find(key);
  return at == std::string::npos ? -1 : std::stod(body.substr(at + key.size()));
}

struct Instance {
  std::uint16_t MetricsPort;
  std::unique_ptr<SiteProcess> Site;
};

Instance StartSite(const UnboundServer& dns, const std::string& redis, std::vector<std::string> extra = {}) {
  const std::uint16_t metrics = FreeLoopbackPort();
  std::vector<std::string> args{"--resolver", dns.Address(), "--whois-root", "127.0.0.1:1", "--rdap-bootstrap", "https://127.0.0.1:1/",
                                "--rate-per-second", "0", "--threads", "2", "--max-in-flight", "1000",
                                // Every page comes through nginx, from one address.
                                "--max-client-connections", "1000", "--max-client-in-flight", "1000",
                                "--metrics-listen", "127.0.0.1:" + std::to_string(metrics)};
  if (!redis.empty()) args.insert(args.end(), {"--redis", redis});
  args.insert(args.end(), extra.begin(), extra.end());
  Instance instance{metrics, std::make_unique<SiteProcess>(args)};
  // Pages asked before the instance has reached Redis go without it.
  for (int i = 0; i < 100 && !redis.empty() && instance.Site->Log().find("connected; the cache") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return instance;
}

bool StartNginx(NginxServer& nginx, const std::vector<const Instance*>& sites) {
  std::string upstream = "upstream sites {\n";
  for (const Instance* site : sites) upstream += "  server 127.0.0.1:" + std::to_string(site->Site->Port()) + ";\n";
  nginx.AddHttpDirectives(upstream + "  keepalive 64;\n}");
  std::string error;
  if (nginx.Start("location / { proxy_pass http://sites; proxy_http_version 1.1; proxy_set_header Connection \"\"; }\nkeepalive_requests 1000000;", &error)) return true;
  std::fprintf(stderr, "%s\n", error.c_str());
  return false;
}

}  // namespace

int main() {
  UnboundServer dns;
  dns.AddLine("local-zone: \"bench.test.\" redirect");
  dns.AddLine("local-data: \"bench.test. 3600 IN A 127.0.0.1\"");
  // The SOA gives the types a name lacks a negative TTL, so they are cached too.
  dns.AddLine("local-data: \"bench.test. 3600 IN SOA ns.bench.test. hostmaster.bench.test. 1 3600 600 86400 300\"");
  RedisServer redis;
  std::string error;
  if (!dns.Start(&error) || !redis.Start()) {
    std::fprintf(stderr, "unbound or redis did not start: %s%s\n", error.c_str(), redis.Log().c_str());
    return 1;
  }
  long failed = 0;

  const Instance site = StartSite(dns, "");
  NginxServer alone;
  const Instance a = StartSite(dns, redis.Address());
  const Instance b = StartSite(dns, redis.Address());
  NginxServer pair;
  if (site.Site->Port() == 0 || a.Site->Port() == 0 || b.Site->Port() == 0 || !StartNginx(alone, {&site}) || !StartNginx(pair, {&a, &b}))
    return 1;
  std::vector<double> single, shared;
  long singleFailed = 0, sharedFailed = 0;
  for (int round = 0; round < kRounds; ++round) {
    const Run one = Load(alone.Port());
    const Run two = Load(pair.Port());
    single.push_back(one.PagesPerSecond);
    shared.push_back(two.PagesPerSecond);
    singleFailed += one.Failed;
    sharedFailed += two.Failed;
  }
  failed += singleFailed + sharedFailed;
  const double singleRate = Percentile(single, 0.5), sharedRate = Percentile(shared, 0.5);

  std::printf("shared_site_one_instance_pages_per_s: %.0f\n", singleRate);
  std::printf("shared_site_two_instances_pages_per_s: %.0f\n", sharedRate);
  std::printf("shared_site_pages_per_s_ratio: %.2f\n", singleRate > 0 ? sharedRate / singleRate : 0);
  std::printf("shared_site_distinct_dns_questions: %d\n", kNames * kQuestionsPerName);
  std::printf("shared_site_one_instance_dns_queries: %.0f\n", DnsQueries(site.MetricsPort));
  std::printf("shared_site_two_instances_dns_queries: %.0f\n", DnsQueries(a.MetricsPort) + DnsQueries(b.MetricsPort));

  // A third instance knows none of the names itself: its first pass is served
  // from Redis, its second from its own record cache.
  const Instance c = StartSite(dns, redis.Address(), {"--page-cache", "0"});
  if (c.Site->Port() == 0) return 1;
  const auto fromRedis = Sequential(c.Site->Port(), failed);
  const auto fromLocal = Sequential(c.Site->Port(), failed);
  std::printf("shared_site_third_instance_dns_queries: %.0f\n", DnsQueries(c.MetricsPort));
  std::printf("shared_site_shared_hit_page_p50_ms: %.3f\n", Percentile(fromRedis, 0.5));
  std::printf("shared_site_shared_hit_page_p99_ms: %.3f\n", Percentile(fromRedis, 0.99));
  std::printf("shared_site_local_hit_page_p50_ms: %.3f\n", Percentile(fromLocal, 0.5));
  std::printf("shared_site_local_hit_page_p99_ms: %.3f\n", Percentile(fromLocal, 0.99));
  std::printf("shared_site_redis_added_p50_ms: %.3f\n", Percentile(fromRedis, 0.5) - Percentile(fromLocal, 0.5));
  std::printf("shared_site_redis_added_p99_ms: %.3f\n", Percentile(fromRedis, 0.99) - Percentile(fromLocal, 0.99));
  std::printf("shared_site_one_instance_failed: %ld\n", singleFailed);
  std::printf("shared_site_two_instances_failed: %ld\n", sharedFailed);
  std::printf("shared_site_sequential_failed: %ld\n", failed - singleFailed - sharedFailed);
  return failed == 0 ? 0 : 1;
}
