// The lookup service under load: 64 keep-alive clients asking for DNS-only
// pages against a private unbound, first with every name new (the cache
// cold), then with one name (warm); and its memory idle and per page in flight.
#include "SilentResolver.h"
#include "SiteClient.h"
#include "SiteProcess.h"
#include "UnboundServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kClients = 64;
constexpr int kPagesInFlight = 500;

long RssKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  return -1;
}

std::string DnsPage(const std::string& name) {
  return "GET /whois/index.php?addr=" + name + "&dom_whois=&dom_dns=true&traceroute=&net_whois=&port_scan= HTTP/1.1\r\nHost: b\r\n\r\n";
}

struct Run {
  double PagesPerSecond = 0;
  double P50 = 0, P99 = 0;  // ms
  long Failed = 0;
};

// Every client keeps one connection and asks page after page for `duration`.
// `name(client, i)` is the address of the client's i-th page.
template <class Name>
Run Load(std::uint16_t port, std::chrono::milliseconds duration, Name name) {
  std::vector<std::vector<double>> latencies(kClients);
  std::atomic<long> failed{0};
  const auto start = Clock::now();
  const auto end = start + duration;
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      int fd = ConnectSite(port);
      for (int i = 0; i < 1000000 && Clock::now() < end; ++i) {
        const auto sent = Clock::now();
        const SiteReply reply = Exchange(fd, DnsPage(name(c, i)));
        if (reply.Status != 200 || reply.Body.find("выполнено") == std::string::npos) {
          ++failed;
          close(fd);
          fd = ConnectSite(port);
          continue;
        }
        latencies[c].push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
      }
      close(fd);
    });
  }
  for (auto& client : clients) client.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<double> all;
  for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  std::sort(all.begin(), all.end());
  Run run;
  run.Failed = failed;
  if (all.empty()) return run;
  run.PagesPerSecond = static_cast<double>(all.size()) / seconds;
  run.P50 = all[all.size() / 2];
  run.P99 = all[std::min(all.size() - 1, all.size() * 99 / 100)];
  return run;
}

void Print(const char* name, const Run& run) {
  std::printf("site_%s_pages_per_s: %.0f\n", name, run.PagesPerSecond);
  std::printf("site_%s_p50_ms: %.2f\n", name, run.P50);
  std::printf("site_%s_p99_ms: %.2f\n", name, run.P99);
  std::printf("site_%s_failed: %ld\n", name, run.Failed);
}

}  // namespace

int main() {
  UnboundServer dns;
  dns.AddLine("local-zone: \"bench.test.\" redirect");
  dns.AddLine("local-data: \"bench.test. 3600 IN A 127.0.0.1\"");
  std::string error;
  if (!dns.Start(&error)) {
    std::fprintf(stderr, "unbound did not start: %s\n", error.c_str());
    return 1;
  }
  const std::vector<std::string> common{"--whois-root", "127.0.0.1:1", "--rdap-bootstrap", "https://127.0.0.1:1/", "--rate-per-second", "0",
                                        "--threads", "2", "--max-in-flight", "1000", "--max-client-connections", "1000",
                                        "--max-client-in-flight", "1000"};

  {
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--resolver", dns.Address()});
    SiteProcess site(args);
    if (site.Port() == 0) {
      std::fprintf(stderr, "tarnwell-site did not start\n%s", site.Log().c_str());
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::printf("site_idle_rss_kib: %ld\n", RssKiB(site.Pid()));
    Print("cold", Load(site.Port(), std::chrono::milliseconds(3000),
                       [](int c, int i) { return "n" + std::to_string(c) + "-" + std::to_string(i) + ".bench.test"; }));
    Print("warm", Load(site.Port(), std::chrono::milliseconds(3000), [](int, int) { return std::string("www.bench.test"); }));
    std::printf("site_after_load_rss_kib: %ld\n", RssKiB(site.Pid()));
  }

  {
    SilentResolver silent;
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--resolver", silent.Address(), "--dns-timeout", "20000", "--page-budget", "20000"});
    SiteProcess site(args);
    if (site.Port() == 0) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long idle = RssKiB(site.Pid());
    std::vector<int> waiting;
    for (int i = 0; i < kPagesInFlight; ++i) {
      const int fd = ConnectSite(site.Port());
      const std::string request = DnsPage("w" + std::to_string(i) + ".bench.test");
      if (fd >= 0 && send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) waiting.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const long busy = RssKiB(site.Pid());
    std::printf("site_pages_in_flight: %zu\n", waiting.size());
    std::printf("site_rss_per_page_in_flight_kib: %.1f\n", waiting.empty() ? 0.0 : static_cast<double>(busy - idle) / waiting.size());
    for (int fd : waiting) close(fd);
  }
  return 0;
}
