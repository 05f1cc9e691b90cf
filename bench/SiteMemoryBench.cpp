// The lookup service's memory under abuse, in the real process: its size idle,
// during and after an attack of request heads made of short lines sent in
// small pieces over 500 connections from 20 addresses; during and after a
// cache fill from a hostile zone whose every name has some 60 KB of TXT; and
// the largest page a hostile WHOIS answer of quotes makes, beside its bound.
#include "SiteClient.h"
#include "SiteProcess.h"
#include "UnboundServer.h"
#include "WhoisScript.h"

#include <poll.h>
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

constexpr int kAttackAddresses = 20;
constexpr int kAttackPerAddress = 25;
constexpr std::size_t kAttackHead = 1 << 20;  // what each attacker would send, did the service read it all
constexpr std::size_t kPiece = 256;
constexpr int kFillClients = 8;
constexpr int kFillNames = 1600;              // some 96 MB of answers, past the caches' bound
constexpr std::size_t kPageBound = 2 << 20;   // the service's default

std::string Page(const std::string& addr, const char* report) {
  return std::string("GET /whois/index.php?addr=") + addr + "&" + report + "=true HTTP/1.1\r\nHost: b\r\n\r\n";
}

std::string Address(const char* prefix, int n) { return prefix + std::to_string(n); }

// Every attacker sends its head a piece at a time, round after round, until
// the service has answered or closed it; returns the largest size seen.
long HeadAttack(const SiteProcess& site) {
  std::string lines = "GET /?ii=1 HTTP/1.1\r\nHost: b\r\n";
  while (lines.size() < kAttackHead) lines += "a: b\r\n";
  std::vector<int> fds;
  std::vector<std::size_t> sent;
  for (int a = 0; a < kAttackAddresses; ++a)
    for (int c = 0; c < kAttackPerAddress; ++c) {
      const std::string source = Address("127.0.1.", a + 1);
      const int fd = ConnectSite(site.Port(), source.c_str());
      if (fd >= 0) fds.push_back(fd);
    }
  sent.assign(fds.size(), 0);
  long peak = site.RssKiB();
  std::size_t live = fds.size();
  for (std::size_t round = 0; round < kAttackHead / kPiece && live > 0; ++round) {
    live = 0;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (sent[i] >= lines.size()) continue;
      const ssize_t n = send(fds[i], lines.data() + sent[i], kPiece, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) sent[i] += static_cast<std::size_t>(n);
      if (n < 0 && errno != EAGAIN) sent[i] = lines.size();  // answered and closed
      else ++live;
    }
    if (round % 8 == 0) peak = std::max(peak, site.RssKiB());
  }
  peak = std::max(peak, site.RssKiB());
  std::size_t most = 0;
  for (std::size_t s : sent) most = std::max(most, s == lines.size() ? 0 : s);
  std::printf("site_head_attack_connections: %zu\n", fds.size());
  std::printf("site_head_attack_open_after_1mib: %zu\n", live);
  for (int fd : fds) close(fd);
  return peak;
}

// Distinct names of the hostile zone from clients of their own, one page at a
// time each; returns the largest size seen.
long CacheFill(const SiteProcess& site) {
  std::atomic<long> peak{site.RssKiB()};
  std::atomic<int> failed{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kFillClients; ++c) {
    clients.emplace_back([&, c] {
      const std::string source = Address("127.0.2.", c + 1);
      int fd = ConnectSite(site.Port(), source.c_str());
      for (int i = c; i < kFillNames; i += kFillClients) {
        const SiteReply reply = Exchange(fd, Page("n" + std::to_string(i) + ".fill.test", "dom_dns"));
        if (reply.Status != 200) {
          ++failed;
          close(fd);
          fd = ConnectSite(site.Port(), source.c_str());
        }
        if (c == 0 && i % 64 == 0) peak = std::max(peak.load(), site.RssKiB());
      }
      close(fd);
    });
  }
  for (auto& client : clients) client.join();
  std::printf("site_cache_fill_pages: %d\n", kFillNames);
  std::printf("site_cache_fill_failed: %d\n", failed.load());
  return std::max(peak.load(), site.RssKiB());
}

}  // namespace

int main() {
  UnboundServer dns;
  dns.AddLine("local-zone: \"fill.test.\" redirect");
  // 40 TXT records of six 250-byte strings: about 60 KB an answer, by TCP.
  for (int r = 0; r < 40; ++r) {
    std::string record = "local-data: 'fill.test. 86400 IN TXT";
    for (int s = 0; s < 6; ++s) record += " \"" + std::to_string(r) + "-" + std::to_string(s) + std::string(245, 'x') + "\"";
    dns.AddLine(record + "'");
  }
  std::string error;
  if (!dns.Start(&error)) {
    std::fprintf(stderr, "unbound did not start: %s\n", error.c_str());
    return 1;
  }
  std::string quotes;
  while (quotes.size() < (1 << 20) - 64) quotes += std::string(63, '"') + "\n";
  WhoisScript whois(WhoisScript::Answer(quotes));

  SiteProcess site({"--resolver", dns.Address(), "--whois-root", whois.Address(), "--rdap-bootstrap", "https://127.0.0.1:1/",
                    "--rate-per-second", "0", "--threads", "2"});
  if (site.Port() == 0) {
    std::fprintf(stderr, "tarnwell-site did not start\n%s", site.Log().c_str());
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const long idle = site.RssKiB();
  std::printf("site_idle_rss_kib: %ld\n", idle);

  const long attack = HeadAttack(site);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  std::printf("site_head_attack_during_rss_kib: %ld\n", attack);
  std::printf("site_head_attack_after_rss_kib: %ld\n", site.RssKiB());
  std::printf("site_rss_during_target_kib: %ld\n", idle + (64 << 10));
  std::printf("site_rss_after_target_kib: %ld\n", idle + (16 << 10));

  const long fill = CacheFill(site);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  // The caches keep what they hold for up to an hour: "after" is the fill's lasting size.
  std::printf("site_cache_fill_during_rss_kib: %ld\n", fill);
  std::printf("site_cache_fill_after_rss_kib: %ld\n", site.RssKiB());

  const int fd = ConnectSite(site.Port());
  const SiteReply hostile = Exchange(fd, Page("10.0.0.1", "net_whois"));
  close(fd);
  std::printf("site_hostile_page_status: %d\n", hostile.Status);
  std::printf("site_largest_page_bytes: %zu\n", hostile.Body.size());
  std::printf("site_page_bound_bytes: %zu\n", kPageBound);
  std::printf("site_after_all_rss_kib: %ld\n", site.RssKiB());
  return 0;
}
