// One page with all five reports against loopback servers that answer as
// slowly as distant ones (WHOIS 200 ms, RDAP 300 ms, DNS 30 ms), beside a page
// for each report alone: when the reports really run at once, the full page
// takes about as long as its slowest report. Each page is asked of a freshly
// started service, so that no cache of an earlier page answers for it.
#include "DelayRelay.h"
#include "NginxServer.h"
#include "SiteClient.h"
#include "SiteProcess.h"
#include "TestCa.h"
#include "UnboundServer.h"
#include "WhoisScript.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kRounds = 5;
constexpr milliseconds kWhoisDelay{200};
constexpr milliseconds kRdapDelay{300};
constexpr milliseconds kDnsDelay{30};

// The window's six fields after the address, in its order.
constexpr std::array<const char*, 5> kFields{"dom_whois", "dom_dns", "traceroute", "net_whois", "port_scan"};
constexpr std::array<const char*, 5> kNames{"domain_record", "dns_records", "route_trace", "network_record", "port_scan"};

// The page's address with the reports whose bits are set in `ticked`.
std::string PageTarget(unsigned ticked) {
  std::string target = "/whois/index.php?addr=bench.test";
  for (std::size_t i = 0; i < kFields.size(); ++i) target += std::string("&") + kFields[i] + "=" + (ticked >> i & 1 ? "true" : "");
  return target;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  TestCa ca;
  NginxServer nginx;
  nginx.ServeHttps(ca.CertificateFile(), ca.KeyFile());
  std::string error;
  if (!nginx.Start("location ~ /domain/ { types { } default_type application/rdap+json; try_files $uri.json =404; }\n", &error)) {
    std::fprintf(stderr, "nginx did not start: %s\n", error.c_str());
    return 1;
  }
  TcpDelayRelay rdap(nginx.Port(), kRdapDelay);
  const std::string rdapBase = "https://127.0.0.1:" + std::to_string(rdap.Port()) + "/";
  // Loopback has no RDAP service: the network record goes to WHOIS.
  nginx.Dir().WriteFile("www/dns.json", R"({"version": "1.0", "services": [[["test"], [")" + rdapBase + R"(registry/"]]]})");
  nginx.Dir().WriteFile("www/ipv4.json", R"({"version": "1.0", "services": [[["192.0.2.0/24"], [")" + rdapBase + R"(rir/"]]]})");
  nginx.Dir().WriteFile("www/registry/domain/bench.test.json",
                        R"({"objectClassName": "domain", "ldhName": "bench.test", "status": ["active"],
                            "events": [{"eventAction": "registration", "eventDate": "2001-02-03T04:05:06Z"}],
                            "nameservers": [{"ldhName": "ns1.bench.test"}]})");

  UnboundServer unbound;
  unbound.AddLine("local-zone: \"bench.test.\" static");
  for (const char* record : {"A 127.0.0.1", "MX 10 mail.bench.test.", "TXT \"v=spf1 -all\"", "NS ns1.bench.test.",
                             "SOA ns1.bench.test. admin.bench.test. 1 3600 600 86400 60"})
    unbound.AddLine(std::string("local-data: 'bench.test. 3600 IN ") + record + "'");
  if (!unbound.Start(&error)) {
    std::fprintf(stderr, "unbound did not start: %s\n", error.c_str());
    return 1;
  }
  UdpDelayRelay dns(unbound.Port(), kDnsDelay);

  WhoisScript whois([](const std::string& query, int fd, const std::atomic<bool>& stopping) {
    const auto end = Clock::now() + kWhoisDelay;
    while (!stopping && Clock::now() < end) std::this_thread::sleep_for(milliseconds(5));
    WhoisScript::Answer("% bench root\n\ninetnum: 127.0.0.0 - 127.255.255.255\nnetname: LOOPBACK\ncountry: ZZ\n")(query, fd, stopping);
  });

  const std::vector<std::string> args{"--resolver", "127.0.0.1:" + std::to_string(dns.Port()), "--whois-root", whois.Address(),
                                      "--rdap-bootstrap", rdapBase, "--ca-file", ca.CaFile(), "--allow-private",
                                      "--as-zone", "origin.asn.example.test", "--as-name-zone", "asn.example.test",
                                      "--rate-per-second", "0", "--threads", "2"};
  // Each report alone (bit i), then all five; interleaved, so that a slow
  // moment of the machine falls on every kind alike.
  std::vector<unsigned> pages{1, 2, 4, 8, 16, 31};
  std::map<unsigned, std::vector<double>> times;
  long failed = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (unsigned ticked : pages) {
      SiteProcess site(args);
      if (site.Port() == 0) {
        std::fprintf(stderr, "tarnwell-site did not start: %s\n", site.Log().c_str());
        return 1;
      }
      const auto start = Clock::now();
      const SiteReply reply = GetSite(site.Port(), PageTarget(ticked));
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      const int expected = std::popcount(ticked);
      if (reply.Status != 200 || Count(reply.Body, "выполнено, ") != expected) {
        ++failed;

        std::fprintf(stderr, "page %u: status %d, %d of %d reports done\n", ticked, reply.Status,
                     Count(reply.Body, "выполнено, "), expected);
        continue;
      }
      times[ticked].push_back(ms);
    }
  }

  double slowest = 0;
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    const double median = Median(times[1u << i]);
    std::printf("site_page_%s_ms: %.1f\n", kNames[i], median);
    slowest = std::max(slowest, median);
  }
  const double all = Median(times[31]);
  std::printf("site_page_all_ms: %.1f\n", all);
  std::printf("site_page_slowest_single_ms: %.1f\n", slowest);
  std::printf("all_vs_slowest_ratio: %.3f\n", slowest > 0 ? all / slowest : 0.0);
  std::printf("site_page_failed: %ld\n", failed);
  return failed == 0 ? 0 : 1;
}
