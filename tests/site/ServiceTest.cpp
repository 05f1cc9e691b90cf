// The real tarnwell-site on a loopback port the system picks: its pages, its
// refusals and its limits. Its resolver is a silent or closed loopback port,
// its WHOIS and RDAP sources closed loopback ports: nothing leaves the machine.
#include "DelayRelay.h"
#include "LoopbackPort.h"
#include "NginxServer.h"
#include "RunProgram.h"
#include "SilentResolver.h"
#include "SiteClient.h"
#include "SiteProcess.h"
#include "TempDir.h"
#include "UnboundServer.h"
#include "WhoisScript.h"
#include "sources/SourcePolicy.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <latch>
#include <thread>
#include <vector>

namespace {

// Every source of the service on loopback; `resolver` answers nothing.
std::vector<std::string> LoopbackSources(const std::string& resolver) {
  return {"--resolver", resolver, "--whois-root", "127.0.0.1:1", "--rdap-bootstrap", "https://127.0.0.1:1/", "--threads", "2"};
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::string Lookup(const std::string& addr, const std::string& ticked) {
  std::string query = "/whois/index.php?addr=" + addr;
  for (const char* key : {"dom_whois", "dom_dns", "traceroute", "net_whois", "port_scan"})
    query += std::string("&") + key + "=" + (ticked.find(key) != std::string::npos ? "true" : "");
  return query;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The service as the packaged unit confines it: socket() makes only the
// address families its RestrictAddressFamilies= line lists.
std::vector<std::string> UnderFamilies(const std::string& families) { return {TARNWELL_RESTRICT_FAMILIES, families}; }

std::string UnitFamilies() {
  std::ifstream unit(TARNWELL_SITE_UNIT);
  const std::string key = "RestrictAddressFamilies=";
  for (std::string line; std::getline(unit, line);)
    if (line.starts_with(key)) return line.substr(key.size());
  return {};
}

class SiteService : public ::testing::Test {
protected:
  SilentResolver Dns;
};

TEST_F(SiteService, AnswersALookupWithEveryReportAgainstTheLoopbackSources) {
  UnboundServer zone;
  zone.AddLine("local-data: 'loopback.example.test. 60 IN TXT \"<script>alert(1)</script> \xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82\"'");
  ASSERT_TRUE(zone.Start());
  std::uint16_t openPort = 0;
  const int listening = ListenOnLoopback(openPort);
  ASSERT_GE(listening, 0);
  const std::string open = std::to_string(openPort);

  SiteProcess site(With(LoopbackSources(zone.Address()), {"--allow-private", "--scan-ports", open, "--page-budget", "6000",
                                                          "--as-zone", "origin.asn.example.test", "--as-name-zone", "asn.example.test"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  const SiteReply reply = GetSite(site.Port(), Lookup("loopback.example.test", "dom_whois dom_dns traceroute net_whois port_scan"));
  close(listening);
  ASSERT_EQ(reply.Status, 200) << site.Log();
  EXPECT_TRUE(Has(reply.Head, "Content-Type: text/html; charset=utf-8"));
  EXPECT_TRUE(Has(reply.Body, "<h1>loopback.example.test</h1>"));
  std::size_t at = 0;
  for (const char* title : {"Информация о домене", "DNS записи", "Трассировка", "Информация о сети", "Сканирование портов"}) {
    const std::size_t found = reply.Body.find(std::string("<h2>") + title + "</h2>\n<p class=\"outcome ", at);
    ASSERT_NE(found, std::string::npos) << title << "\n" << reply.Body;
    at = found;
  }
  const std::string dns = reply.Body.substr(reply.Body.find("<h2>DNS записи</h2>"));
  EXPECT_TRUE(Has(dns.substr(0, dns.find("</section>")), "127.0.0.1"));
  // A TXT record's markup is shown, not run, and its UTF-8 reads as text.
  EXPECT_TRUE(Has(dns.substr(0, dns.find("</section>")), "&quot;&lt;script&gt;alert(1)&lt;/script&gt; привет&quot;")) << dns;
  EXPECT_FALSE(Has(reply.Body, "<script"));
  const std::string scan = reply.Body.substr(reply.Body.find("<h2>Сканирование портов</h2>"));
  EXPECT_TRUE(Has(scan.substr(0, scan.find("</section>")), open));
  // The RDAP and WHOIS sources are closed ports: that report fails, the others stand.
  EXPECT_TRUE(Has(reply.Body, "<h2>Информация о домене</h2>\n<p class=\"outcome failed\">"));
  // Each source named with its port, as none is on its protocol's own, and the system's refusal told in Russian;
  // its English words are for the log alone.
  EXPECT_TRUE(Has(reply.Body, "ошибка: Не удалось подключиться к серверу WHOIS 127.0.0.1:1: соединение отвергнуто;"));
  EXPECT_TRUE(Has(reply.Body, "Не удалось подключиться к серверу 127.0.0.1:1: соединение отвергнуто."));
  EXPECT_FALSE(Has(reply.Body, "Connection refused"));
  EXPECT_TRUE(Has(site.Log(), "\"Connection refused\" is shown as \"соединение отвергнуто\""));
  EXPECT_TRUE(Has(reply.Body, "<h2>DNS записи</h2>\n<p class=\"outcome done\">"));
  EXPECT_TRUE(Has(site.Log(), "127.0.0.1 addr=loopback.example.test reports=dom_whois,dom_dns,traceroute,net_whois,port_scan status=200 time="));
}

// A resolver whose answers come a little late, as a distant one's do: each
// trace page ends once its lookups are answered, never after a lost answer's
// retry. Fresh services, so that every page asks the resolver.
TEST_F(SiteService, TracePagesWithALateResolverEndWithoutWaitingForRetries) {
  UnboundServer zone;
  ASSERT_TRUE(zone.Start());
  UdpDelayRelay late(zone.Port(), std::chrono::milliseconds(30));
  const std::string resolver = "127.0.0.1:" + std::to_string(late.Port());
  for (int page = 0; page < 8; ++page) {
    // A retry would come after 20 s, far past the page's budget.
    SiteProcess site(With(LoopbackSources(resolver), {"--allow-private", "--dns-timeout", "60000", "--page-budget", "4000",
                                                      "--as-zone", "origin.asn.example.test", "--as-name-zone", "asn.example.test"}));
    ASSERT_NE(site.Port(), 0) << site.Log();
    const SiteReply reply = GetSite(site.Port(), Lookup("loopback.example.test", "traceroute"));
    ASSERT_EQ(reply.Status, 200) << site.Log();
    EXPECT_TRUE(Has(reply.Body, "<p class=\"outcome done\">")) << page << "\n" << reply.Body;
    EXPECT_TRUE(Has(reply.Body, " 1  127.0.0.1 (localhost) [AS64501")) << page << "\n" << reply.Body;
  }
}

// A page of records asked again soon is the page made the first time, with no
// cache of records or DNS server asked; a page with a scan is made afresh
// each time, and so is every page when giving pages again is switched off.
TEST_F(SiteService, GivesAPageOfRecordsAgainButMakesAScanAfresh) {
  UnboundServer zone;
  ASSERT_TRUE(zone.Start());
  std::uint16_t openPort = 0;
  const int listening = ListenOnLoopback(openPort);
  ASSERT_GE(listening, 0);
  const std::string open = std::to_string(openPort);
  const std::uint16_t metrics = FreeLoopbackPort(), metricsOff = FreeLoopbackPort();
  const auto args = With(LoopbackSources(zone.Address()), {"--allow-private", "--scan-ports", open});
  SiteProcess site(With(args, {"--page-cache", "60000", "--metrics-listen", "127.0.0.1:" + std::to_string(metrics)}));
  SiteProcess off(With(args, {"--page-cache", "0", "--metrics-listen", "127.0.0.1:" + std::to_string(metricsOff)}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  ASSERT_NE(off.Port(), 0) << off.Log();
  const auto lookups = [](std::uint16_t port) {
    auto samples = MetricSamples(GetSite(port, "/metrics").Body);
    return std::vector<double>{samples["tarnwell_cache_lookups_total{cache=\"pages\",level=\"local\",result=\"hit\"}"],
                               samples["tarnwell_cache_lookups_total{cache=\"dns\",level=\"local\",result=\"hit\"}"] +
                                   samples["tarnwell_cache_lookups_total{cache=\"dns\",level=\"local\",result=\"miss\"}"],
                               samples["tarnwell_pages_total{outcome=\"ok\"}"]};
  };

  const std::string records = Lookup("example.test", "dom_dns");
  const SiteReply first = GetSite(site.Port(), records);
  ASSERT_EQ(first.Status, 200) << site.Log();
  ASSERT_TRUE(Has(first.Body, "192.0.2.10"));
  const auto afterFirst = lookups(metrics);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // the page's time, to the second, would show a new page
  EXPECT_EQ(GetSite(site.Port(), records).Body, first.Body);
  const auto afterSecond = lookups(metrics);
  EXPECT_EQ(afterSecond[0], afterFirst[0] + 1);
  EXPECT_EQ(afterSecond[1], afterFirst[1]) << "the DNS cache was asked again";
  EXPECT_EQ(afterSecond[2], afterFirst[2] + 1) << "a page given again is still a page";

  const std::string scan = Lookup("127.0.0.1", "port_scan");
  ASSERT_TRUE(Has(GetSite(site.Port(), scan).Body, "Открыто: 1, закрыто: 0"));
  close(listening);
  EXPECT_TRUE(Has(GetSite(site.Port(), scan).Body, "Открыто: 0, закрыто: 1"));
  EXPECT_EQ(lookups(metrics)[0], afterSecond[0]);

  for (int i = 0; i < 2; ++i) ASSERT_TRUE(Has(GetSite(off.Port(), records).Body, "192.0.2.10"));
  EXPECT_EQ(lookups(metricsOff)[0], 0);
}

// Connections to /metrics that send nothing never keep a scrape out, and
// each is closed at the request head's deadline, as on the public listener.
TEST_F(SiteService, IdleConnectionsNeverKeepAScrapeOut) {
  const std::uint16_t metrics = FreeLoopbackPort();
  SiteProcess site(With(LoopbackSources(Dns.Address()), {"--metrics-listen", "127.0.0.1:" + std::to_string(metrics), "--header-timeout", "500"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  std::vector<int> idle;
  for (int i = 0; i < 20; ++i) {
    idle.push_back(ConnectSite(metrics));
    ASSERT_GE(idle.back(), 0);
  }
  const SiteReply scrape = GetSite(metrics, "/metrics");
  EXPECT_EQ(scrape.Status, 200);
  EXPECT_TRUE(Has(scrape.Body, "tarnwell_connections ")) << scrape.Body;
  EXPECT_TRUE(ClosedByPeer(idle.back(), 2500)) << "an idle connection outlived the head's deadline";
  for (const int fd : idle) close(fd);
}

// A crowd of lookups through nginx, which keeps a pool of connections to the
// site open after it: once the crowd has gone, the memory its pages took is
// given back, though the connections stay.
TEST_F(SiteService, GivesMemoryBackAfterACrowdBehindAProxyThatKeepsItsConnections) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator holds on to what the service frees, whatever it trims";
#endif
  UnboundServer zone;
  zone.AddLine("local-zone: \"crowd.test.\" redirect");
  // 40 TXT records of six 245-byte strings: some 60 KB a name, and more on its page.
  for (int r = 0; r < 40; ++r) {
    std::string record = "local-data: 'crowd.test. 60 IN TXT";
    for (int part = 0; part < 6; ++part) record += " \"" + std::to_string(r) + "-" + std::string(245, 'x') + "\"";
    zone.AddLine(record + "'");
  }
  ASSERT_TRUE(zone.Start());
  SiteProcess site(With(LoopbackSources(zone.Address()), {"--rate-per-second", "0", "--max-in-flight", "256", "--max-client-in-flight", "256",
                                                          "--max-client-connections", "256", "--cache-bytes", "1048576", "--page-cache", "0"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  NginxServer nginx;
  nginx.AddHttpDirectives("upstream site { server 127.0.0.1:" + std::to_string(site.Port()) + "; keepalive 32; }");
  ASSERT_TRUE(nginx.Start("location / { proxy_pass http://site; proxy_http_version 1.1; proxy_set_header Connection \"\"; }"));

  const long idle = site.RssKiB();
  // Within nginx's 256 connections, each client's and its own to the site;
  // every client asks at once, so that the site answers them all together.
  constexpr int kCrowd = 100;
  std::atomic<int> answered{0};
  std::atomic<long> peak{idle};
  std::latch connected(kCrowd);
  std::vector<std::thread> crowd;
  for (int c = 0; c < kCrowd; ++c)
    crowd.emplace_back([&, c] {
      const int fd = ConnectSite(nginx.Port());
      connected.arrive_and_wait();
      if (Exchange(fd, "GET " + Lookup("n" + std::to_string(c) + ".crowd.test", "dom_dns") + " HTTP/1.0\r\n\r\n").Status == 200) ++answered;
      close(fd);
      peak = std::max(peak.load(), site.RssKiB());
    });
  for (auto& client : crowd) client.join();
  ASSERT_EQ(answered.load(), kCrowd) << site.Log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const long after = site.RssKiB();
  EXPECT_LT(after - idle, (peak.load() - idle) / 2) << "idle " << idle << " KiB, peak " << peak.load() << " KiB, after " << after << " KiB";
}

TEST_F(SiteService, AnswersEachRequestWithItsPageOrError) {
  SiteProcess site(LoopbackSources(Dns.Address()));
  ASSERT_NE(site.Port(), 0) << site.Log();
  const std::string host = "Host: 127.0.0.1:" + std::to_string(site.Port()) + "\r\n";
  struct Row {
    const char* Name;
    std::string Request;
    int Status;
    std::string InBody;
  };
  const Row rows[] = {
      {"empty addr", "GET " + Lookup("", "dom_dns") + " HTTP/1.0\r\n\r\n", 400, "Адрес не указан"},
      {"bad IPv4", "GET " + Lookup("300.1.1.1", "dom_dns") + " HTTP/1.0\r\n\r\n", 400, "Неверный адрес IPv4"},
      {"markup in addr", "GET " + Lookup("%3Cb%3E", "dom_dns") + " HTTP/1.0\r\n\r\n", 400, "<h1>Неверный запрос</h1>"},
      {"unknown page", "GET /admin.php HTTP/1.0\r\n\r\n", 404, "Страница не найдена"},
      {"unknown provider", "GET /hosting/desc/nobody.shtml HTTP/1.0\r\n\r\n", 404, "Страница не найдена"},
      {"POST", "POST / HTTP/1.0\r\nContent-Length: 0\r\n\r\n", 405, "Метод не поддерживается"},
      {"DELETE with a body", "DELETE /x HTTP/1.1\r\n" + host + "Content-Length: 4\r\n\r\nabcd", 405, "только на запросы GET"},
      {"huge head", "GET / HTTP/1.0\r\nX-Fill: " + std::string(9000, 'a') + "\r\n\r\n", 431, "Слишком длинный запрос"},
      {"not HTTP", "HELLO\r\n\r\n", 400, "Неверный запрос"},
      {"HTTP/1.1 without Host", "GET /?ii=1 HTTP/1.1\r\n\r\n", 400, "ровно один заголовок Host"},
      {"two Hosts", "GET /?ii=1 HTTP/1.1\r\n" + host + "Host: evil.example\r\n\r\n", 400, "ровно один заголовок Host"},
      {"two Hosts in HTTP/1.0", "GET /?ii=1 HTTP/1.0\r\nHost: a\r\nHost: b\r\n\r\n", 400, "ровно один заголовок Host"},
      {"HTTP/1.0 without Host", "GET /?ii=1 HTTP/1.0\r\n\r\n", 200, "<h1>Tarnwell</h1>"},
      {"click page", "GET /click.php HTTP/1.0\r\n\r\n", 200, "Займите его быстрей"},
      {"provider page", "GET /hosting/desc/cobaltweb.shtml HTTP/1.0\r\n\r\n", 200, "http://cobaltweb.example/signup.php?ref=tarnwell&amp;plan=start"},
      {"redirect elsewhere", "GET /go.php?url=http://evil.example/&f=program HTTP/1.0\r\n\r\n", 200, "http://evil.example/"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const int fd = ConnectSite(site.Port());
    ASSERT_GE(fd, 0);
    const SiteReply reply = Exchange(fd, row.Request);
    close(fd);
    EXPECT_EQ(reply.Status, row.Status);
    EXPECT_TRUE(Has(reply.Body, row.InBody)) << reply.Body;
    EXPECT_FALSE(Has(reply.Head, "Location:"));
  }
}

TEST_F(SiteService, RedirectsOnlyTheWindowsOwnLinks) {
  SiteProcess site(LoopbackSources(Dns.Address()));
  ASSERT_NE(site.Port(), 0) << site.Log();
  const std::string self = "http://127.0.0.1:" + std::to_string(site.Port());
  const SiteReply partner = GetSite(site.Port(), "/go.php?url=http://glenhost.example/join.php?partner=tarnwell&lang=ru&f=program");
  EXPECT_EQ(partner.Status, 302);
  EXPECT_TRUE(Has(partner.Head, "\r\nLocation: http://glenhost.example/join.php?partner=tarnwell&lang=ru"));
  const SiteReply details = GetSite(site.Port(), "/go.php?url=" + self + "/hosting/desc/alderhost.shtml&f=program");
  EXPECT_EQ(details.Status, 302);
  EXPECT_TRUE(Has(details.Head, "\r\nLocation: /hosting/desc/alderhost.shtml"));
  const SiteReply split = GetSite(site.Port(), "/go.php?url=http://glenhost.example/%0D%0ALocation:%20http://evil.example/");
  EXPECT_EQ(split.Status, 200);
  EXPECT_FALSE(Has(split.Head, "Location"));
}

TEST_F(SiteService, KeepsTheConnectionWhenAskedAndClosesItOtherwise) {
  SiteProcess site(LoopbackSources(Dns.Address()));
  ASSERT_NE(site.Port(), 0) << site.Log();
  const int fd = ConnectSite(site.Port());
  for (int i = 0; i < 3; ++i) {
    const SiteReply reply = Exchange(fd, "GET " + Lookup("example.test", "") + " HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(reply.Status, 200) << i;
    EXPECT_TRUE(Has(reply.Body, "Не выбрано ни одной проверки")) << i;
  }
  EXPECT_EQ(Exchange(fd, "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n").Status, 200);
  EXPECT_TRUE(ClosedByPeer(fd, 5000));
  close(fd);
  const int old = ConnectSite(site.Port());
  EXPECT_EQ(Exchange(old, "GET / HTTP/1.0\r\n\r\n").Status, 200);
  EXPECT_TRUE(ClosedByPeer(old, 5000));
  close(old);
}

// Three clients of 1000 connections each fill the service: a client's
// connection past its share is closed, and so is anyone's past the limit;
// those already open are served.
TEST_F(SiteService, RefusesConnectionsPastTheLimitsAndStillAnswersTheOthers) {
  constexpr int kShare = 1000;
  const char* const kClients[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4"};
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = std::min<rlim_t>(files.rlim_max, 6 * kShare + 500);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &files), 0);
  ASSERT_GE(files.rlim_cur, static_cast<rlim_t>(3 * kShare + 200));

  SiteProcess site(With(LoopbackSources(Dns.Address()), {"--max-connections", std::to_string(3 * kShare), "--max-client-connections",
                                                          std::to_string(kShare), "--header-timeout", "60000"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  std::vector<int> idle;
  for (const char* client : kClients) {
    for (int i = 0; i < kShare; ++i) {
      const int fd = ConnectSite(site.Port(), client);
      ASSERT_GE(fd, 0) << client << " " << i;
      idle.push_back(fd);
    }
    // The kernel hands connections over in order: the one past the share is the last.
    if (client == kClients[0]) {
      const int extra = ConnectSite(site.Port(), client);
      ASSERT_GE(extra, 0);
      EXPECT_TRUE(ClosedByPeer(extra, 10000)) << "past the client's share";
      close(extra);
    }
  }
  const int extra = ConnectSite(site.Port(), "127.0.0.5");
  ASSERT_GE(extra, 0);
  EXPECT_TRUE(ClosedByPeer(extra, 10000)) << "past the limit";
  close(extra);
  EXPECT_FALSE(ClosedByPeer(idle.front(), 0));
  EXPECT_EQ(Exchange(idle.front(), "GET /?ii=1 HTTP/1.0\r\n\r\n").Status, 200);
  EXPECT_EQ(Exchange(idle.back(), "GET /click.php HTTP/1.0\r\n\r\n").Status, 200);
  for (int fd : idle) close(fd);
  // Once the idle ones have gone, new connections are served again; the
  // service learns of the closes asynchronously, so it gets a few tries.
  int status = 0;
  for (int attempt = 0; attempt < 100 && status != 200; ++attempt) {
    status = GetSite(site.Port(), "/?ii=1", "127.0.0.5").Status;
    if (status != 200) usleep(50000);
  }
  EXPECT_EQ(status, 200);
}

// Four clients each keep their share of pages waiting on a silent resolver
// and hold idle connections: each one's page past its share is refused at
// once, while a client who came later has its page and a cancelled page's
// slot is free the moment its client leaves.
TEST_F(SiteService, NoClientTakesAnotherClientsShareOfPages) {
  SiteProcess site(With(LoopbackSources(Dns.Address()), {"--max-in-flight", "9", "--max-client-in-flight", "2", "--max-client-connections",
                                                          "4", "--dns-timeout", "8000", "--page-budget", "8000"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  const std::string slow = "GET " + Lookup("example.test", "dom_dns") + " HTTP/1.0\r\n\r\n";
  const char* const kClients[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
  std::vector<int> waiting;
  for (const char* client : kClients) {
    for (int i = 0; i < 2; ++i) {
      // A name of its own, so that its query says this page has started.
      const std::string name = "p" + std::to_string(waiting.size()) + ".example.test";
      const std::string request = "GET " + Lookup(name, "dom_dns") + " HTTP/1.0\r\n\r\n";
      const int fd = ConnectSite(site.Port(), client);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
      ASSERT_TRUE(Dns.QueryArrives(name, 5000)) << client << " " << i;
      waiting.push_back(fd);
    }
    const SiteReply third = GetSite(site.Port(), Lookup("example.test", "dom_dns"), client);
    EXPECT_EQ(third.Status, 503) << client;
    EXPECT_TRUE(Has(third.Body, "С вашего адреса уже выполняется")) << third.Body;
    const int idle = ConnectSite(site.Port(), client);
    ASSERT_GE(idle, 0);
    waiting.push_back(idle);
  }
  // Every page still runs; a newcomer is answered beside them.
  for (int fd : waiting) EXPECT_FALSE(ClosedByPeer(fd, 0));
  const SiteReply fresh = GetSite(site.Port(), Lookup("example.test", ""), "127.0.0.9");
  EXPECT_EQ(fresh.Status, 200) << fresh.Body;
  EXPECT_TRUE(Has(fresh.Body, "Не выбрано ни одной проверки"));

  // The first client leaves: its pages end with it, not at their budget, and
  // their slots are free at once: it runs two pages again, and a newcomer is
  // still answered beside them. The service learns of the close
  // asynchronously, so a page refused meanwhile is tried again.
  close(waiting[0]);
  close(waiting[1]);
  std::vector<int> again;
  for (int attempt = 0; attempt < 20 && again.size() < 2; ++attempt) {
    const int fd = ConnectSite(site.Port(), kClients[0]);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(send(fd, slow.data(), slow.size(), 0), static_cast<ssize_t>(slow.size()));
    pollfd answered{fd, POLLIN, 0};
    if (poll(&answered, 1, 300) == 0) {
      again.push_back(fd);
    } else {
      close(fd);
      usleep(50000);
    }
  }
  EXPECT_EQ(again.size(), 2u) << "the pages of a client who left still hold their slots";
  EXPECT_EQ(GetSite(site.Port(), Lookup("example.test", ""), "127.0.0.10").Status, 200);
  for (int fd : again) close(fd);
  for (std::size_t i = 2; i < waiting.size(); ++i) close(waiting[i]);
}

TEST_F(SiteService, PastTheInFlightLimitAnswers503AtOnce) {
  SiteProcess site(With(LoopbackSources(Dns.Address()), {"--max-in-flight", "1", "--dns-timeout", "8000", "--page-budget", "8000"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  const int first = ConnectSite(site.Port());
  ASSERT_GE(first, 0);
  const std::string request = "GET " + Lookup("example.test", "dom_dns") + " HTTP/1.0\r\n\r\n";
  ASSERT_EQ(send(first, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  ASSERT_TRUE(Dns.QueryArrives("example.test", 5000)) << "the first page never asked its resolver";

  const SiteReply second = GetSite(site.Port(), Lookup("example.test", "dom_dns"));
  EXPECT_EQ(second.Status, 503);
  EXPECT_TRUE(Has(second.Head, "Retry-After: 1"));
  EXPECT_TRUE(Has(second.Body, "Служба занята"));
  // The first is still being looked up: the refusal did not wait for it.
  EXPECT_FALSE(ClosedByPeer(first, 0));
  EXPECT_EQ(GetSite(site.Port(), "/?ii=1").Status, 200);
  close(first);
}

// A page whose client has gone ends with its sources: a WHOIS server and an
// RDAP server that take the connection and say nothing are hung up on at
// once, not at their time-outs.
TEST_F(SiteService, AClientThatLeavesClosesItsPagesRegistryConnections) {
  for (const bool rdap : {false, true}) {
    std::atomic<bool> hungUp{false};
    WhoisScript silent{[&](const std::string& query, int fd, const std::atomic<bool>& stopping) {
      WhoisScript::Stall()(query, fd, stopping);
      if (!stopping) hungUp = true;
    }};
    const std::string closed = "127.0.0.1:1";
    SiteProcess site({"--resolver", Dns.Address(), "--threads", "2", "--whois-root", rdap ? closed : silent.Address(),
                      "--rdap-bootstrap", "https://" + (rdap ? silent.Address() : closed) + "/", "--whois-timeout", "15000",
                      "--rdap-timeout", "15000", "--page-budget", "15000"});
    ASSERT_NE(site.Port(), 0) << site.Log();
    const int fd = ConnectSite(site.Port());
    ASSERT_GE(fd, 0);
    const std::string request = "GET " + Lookup("silent.example", "dom_whois") + " HTTP/1.0\r\n\r\n";
    ASSERT_EQ(send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
    for (int waited = 0; silent.Accepted() == 0 && waited < 5000; waited += 20) usleep(20 * 1000);
    ASSERT_EQ(silent.Accepted(), 1) << (rdap ? "RDAP" : "WHOIS") << " was never asked\n" << site.Log();
    close(fd);
    for (int waited = 0; !hungUp && waited < 3000; waited += 20) usleep(20 * 1000);
    EXPECT_TRUE(hungUp) << (rdap ? "RDAP" : "WHOIS") << " connection still open 3 s after its client left";
  }
}

TEST_F(SiteService, LimitsLookupsPerClient) {
  SiteProcess site(With(LoopbackSources(Dns.Address()), {"--rate-per-second", "0.01", "--rate-burst", "3"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(GetSite(site.Port(), Lookup("example.test", "")).Status, 200) << i;
  const SiteReply limited = GetSite(site.Port(), Lookup("example.test", ""));
  EXPECT_EQ(limited.Status, 429);
  EXPECT_TRUE(Has(limited.Body, "Слишком много запросов"));
  // Only lookups count.
  EXPECT_EQ(GetSite(site.Port(), "/?ii=1").Status, 200);
  EXPECT_EQ(GetSite(site.Port(), Lookup("", "")).Status, 400);
}

// Behind a proxy of the site's own every connection is the proxy's: its
// requests count against the client the proxy itself named last, and only a
// trusted proxy's do. The listener is dual-stack, so one proxy comes as
// ::ffff:127.0.0.1 and the other as ::1; IPv6 clients have one rate per /64.
TEST_F(SiteService, LimitsTheClientsATrustedProxyNames) {
  SiteProcess site(With(LoopbackSources(Dns.Address()), {"--listen", "[::]:0", "--rate-per-second", "0.01", "--rate-burst", "2",
                                                          "--trusted-proxy", "127.0.0.1", "--trusted-proxy", "::1"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  const auto ask = [&](const char* source, const std::string& forwarded) {
    const int fd = ConnectSite(site.Port(), source);
    const int status = Exchange(fd, "GET " + Lookup("example.test", "") + " HTTP/1.0\r\n" + forwarded + "\r\n").Status;
    close(fd);
    return status;
  };
  for (int i = 0; i < 2; ++i) EXPECT_EQ(ask("127.0.0.1", "X-Forwarded-For: 198.51.100.7\r\n"), 200) << i;
  EXPECT_EQ(ask("127.0.0.1", "X-Forwarded-For: 198.51.100.7\r\n"), 429);
  // The client's own words come first: its own line before the one HAProxy
  // adds, its own addresses before the one nginx appends, and X-Real-IP,
  // which this proxy was not said to set.
  EXPECT_EQ(ask("127.0.0.1", "X-Forwarded-For: 198.51.100.8\r\nX-Forwarded-For: 198.51.100.7\r\n"), 429);
  EXPECT_EQ(ask("127.0.0.1", "X-Forwarded-For: 198.51.100.8, 198.51.100.7\r\n"), 429);
  EXPECT_EQ(ask("127.0.0.1", "X-Real-IP: 198.51.100.8\r\nX-Forwarded-For: 198.51.100.7\r\n"), 429);
  // Another client of the same proxy has a rate of its own.
  EXPECT_EQ(ask("127.0.0.1", "X-Forwarded-For: 198.51.100.7\r\nX-Forwarded-For: 198.51.100.8\r\n"), 200);
  // The other proxy, over IPv6: two addresses of one /64 are one client, another /64 another.
  EXPECT_EQ(ask("::1", "X-Forwarded-For: 2001:db8::1\r\n"), 200);
  EXPECT_EQ(ask("::1", "X-Forwarded-For: 2001:db8::2\r\n"), 200);
  EXPECT_EQ(ask("::1", "X-Forwarded-For: 2001:db8::3\r\n"), 429);
  EXPECT_EQ(ask("::1", "X-Forwarded-For: 2001:db8:0:1::1\r\n"), 200);
  // A client that is no proxy cannot borrow a name: it is limited as itself.
  for (int i = 0; i < 2; ++i) EXPECT_EQ(ask("127.0.0.2", "X-Forwarded-For: 198.51.100.9\r\n"), 200) << i;
  EXPECT_EQ(ask("127.0.0.2", "X-Forwarded-For: 198.51.100.10\r\n"), 429);
  EXPECT_TRUE(Has(site.Log(), "198.51.100.8 ")) << site.Log();
}

// A head is bound in time and in bytes however it comes: a client sending a
// byte at a time is cut off by the head's deadline, and heads of many short
// lines sent in small pieces are refused once the whole head passes the
// limit, with nothing more read.
TEST_F(SiteService, BoundsTheWholeHeadInTimeAndBytes) {
  SiteProcess site(With(LoopbackSources(Dns.Address()), {"--header-timeout", "1000"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  const int fd = ConnectSite(site.Port());
  const std::string request = "GET /?ii=1 HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: slow\r\n\r\n";
  std::size_t sent = 0;
  bool closed = false;
  // Four bytes a second: the whole head would take over ten seconds.
  for (; sent < request.size() && !closed; ++sent) {
    closed = send(fd, &request[sent], 1, MSG_NOSIGNAL) != 1 || ClosedByPeer(fd, 250);
  }
  EXPECT_TRUE(closed);
  EXPECT_LT(sent, request.size());
  close(fd);

  std::string lines = "GET /?ii=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  while (lines.size() < (160 << 10)) lines += "a: b\r\n";
  for (int client = 0; client < 4; ++client) {
    SCOPED_TRACE(client);
    const int piecemeal = ConnectSite(site.Port());
    ASSERT_GE(piecemeal, 0);
    std::size_t offered = 0;
    pollfd answered{piecemeal, POLLIN, 0};
    // 256 bytes every 2 ms: a loopback client's small writes, each read on its own.
    while (offered < lines.size() && poll(&answered, 1, 2) == 0) {
      const std::size_t piece = std::min<std::size_t>(256, lines.size() - offered);
      if (send(piecemeal, lines.data() + offered, piece, MSG_NOSIGNAL) != static_cast<ssize_t>(piece)) break;
      offered += piece;
    }
    const SiteReply reply = Exchange(piecemeal, "");
    close(piecemeal);
    EXPECT_EQ(reply.Status, 431);
    EXPECT_LT(offered, 16u << 10);
  }
  EXPECT_EQ(GetSite(site.Port(), "/?ii=1").Status, 200);
}

// The service's host gains a public address (on a veth pair, in a network
// namespace of the test's own) while it runs, confined as its unit confines
// it: once it has read its interfaces again, a trace or scan of that address
// is refused as loopback's would be, and no source may be reached there.
// Another public address is not the host's.
TEST_F(SiteService, RefusesTheHostsOwnAddressesAsTargetsAndSources) {
  if (geteuid() != 0) GTEST_SKIP() << "a network namespace needs root";
  std::thread([&] {
    ASSERT_EQ(unshare(CLONE_NEWNET), 0);
    for (const std::string command : {"link set lo up", "link add own0 type veth peer name own1", "link set own0 up"})
      ASSERT_EQ(RunProgram({"sh", "-c", "ip " + command}), 0) << command;
    SilentResolver dns;
    SiteProcess site(With(LoopbackSources(dns.Address()), {"--scan-ports", "80", "--page-budget", "3000", "--rate-per-second", "0"}),
                     UnderFamilies(UnitFamilies()));
    ASSERT_NE(site.Port(), 0) << site.Log();
    const std::string own = "принадлежит самому серверу службы";
    EXPECT_FALSE(Has(GetSite(site.Port(), Lookup("8.8.8.8", "traceroute port_scan")).Body, own));
    ASSERT_EQ(RunProgram({"ip", "addr", "add", "8.8.8.8/32", "dev", "own0"}), 0);
    std::string body;
    for (int attempt = 0; attempt < 40 && !Has(body, own); ++attempt) {
      if (attempt) usleep(250000);
      body = GetSite(site.Port(), Lookup("8.8.8.8", "traceroute port_scan")).Body;
    }
    const std::size_t first = body.find(own);
    ASSERT_NE(first, std::string::npos) << body;
    EXPECT_NE(body.find(own, first + 1), std::string::npos) << "both the trace and the scan refuse it\n" << body;
    EXPECT_FALSE(Has(GetSite(site.Port(), Lookup("8.8.4.4", "traceroute port_scan")).Body, own));

    // The IPv6 forms naming the host's IPv4 address are the host's too, and so is its own IPv6 address.
    ASSERT_EQ(RunProgram({"ip", "addr", "add", "2a00:1450::1/128", "dev", "own0", "nodad"}), 0);
    for (const char* spelling : {"::ffff:8.8.8.8", "2002:808:808::1", "[2A00:1450:0::1]"}) {
      SCOPED_TRACE(spelling);
      body.clear();
      for (int attempt = 0; attempt < 40 && !Has(body, own); ++attempt) {
        if (attempt) usleep(250000);
        body = GetSite(site.Port(), Lookup(spelling, "traceroute port_scan")).Body;
      }
      const std::size_t at = body.find(own);
      ASSERT_NE(at, std::string::npos) << body;
      EXPECT_NE(body.find(own, at + 1), std::string::npos) << body;
    }
    EXPECT_FALSE(Has(GetSite(site.Port(), Lookup("2a00:1450::2", "traceroute port_scan")).Body, own));

    using boost::asio::ip::make_address;
    EXPECT_FALSE(site::SourceAddressAllowed(make_address("8.8.8.8"), false));
    EXPECT_FALSE(site::SourceAddressAllowed(make_address("::ffff:8.8.8.8"), false));
    EXPECT_FALSE(site::SourceAddressAllowed(make_address("2002:808:808::1"), false));
    EXPECT_FALSE(site::SourceAddressAllowed(make_address("2a00:1450::1"), false));
    EXPECT_TRUE(site::SourceAddressAllowed(make_address("8.8.4.4"), false));
    EXPECT_TRUE(site::SourceAddressAllowed(make_address("2a00:1450::2"), false));
  }).join();
}

// Where netlink sockets are refused, as a unit without AF_NETLINK refuses
// them, the host's own addresses cannot be read: the service does not start
// rather than trace and scan its own host, and says why.
TEST(SiteProgram, RefusesToStartWhereItCannotReadItsOwnAddresses) {
  ASSERT_FALSE(UnitFamilies().empty()) << TARNWELL_SITE_UNIT;
  SiteProcess confined({"--rate-per-second", "0"}, UnderFamilies("AF_INET AF_INET6 AF_UNIX"));
  EXPECT_EQ(confined.Port(), 0);
  EXPECT_EQ(confined.Terminate(5), 2);
  EXPECT_TRUE(Has(confined.Log(), "cannot read the host's own addresses (getifaddrs: Address family not supported by protocol)"))
      << confined.Log();

  SiteProcess packaged({"--rate-per-second", "0"}, UnderFamilies(UnitFamilies()));
  ASSERT_NE(packaged.Port(), 0) << packaged.Log();
  EXPECT_EQ(GetSite(packaged.Port(), "/?ii=1").Status, 200);
}

// IPv6 spellings of addresses no public service should probe: each is named
// on the page in its canonical form, and the trace and the scan both refuse it.
TEST_F(SiteService, RefusesTheSpecialIpv6RangesInAnySpelling) {
  SiteProcess site(With(LoopbackSources(Dns.Address()), {"--scan-ports", "80", "--page-budget", "3000", "--rate-per-second", "0"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  const struct {
    const char* Typed;
    const char* Named;
  } rows[] = {
      {"::1", "::1"},
      {"[::1]", "::1"},
      {"0000:0000:0000:0000:0000:0000:0000:0001", "::1"},
      {"::", "::"},
      {"FE80::1", "fe80::1"},
      {"fe80:0:0:0:0:0:0:1", "fe80::1"},
      {"FD12:3456:789A:1::1", "fd12:3456:789a:1::1"},
      {"ff02::1", "ff02::1"},
      {"2001:DB8::1", "2001:db8::1"},
      {"2001:0db8:0000:0000:0000:0000:0000:0001", "2001:db8::1"},
      {"3fff::1", "3fff::1"},
      {"::ffff:127.0.0.1", "::ffff:127.0.0.1"},
      {"::FFFF:7F00:1", "::ffff:127.0.0.1"},
      {"[::ffff:192.168.1.1]", "::ffff:192.168.1.1"},
      {"::ffff:0:10.0.0.1", "::ffff:0:a00:1"},
      {"64:ff9b::127.0.0.1", "64:ff9b::7f00:1"},
      {"2002:7f00:0001::1", "2002:7f00:1::1"},
      {"2001:0:4136:e378:8000:63bf:80ff:fffe", "2001:0:4136:e378:8000:63bf:80ff:fffe"},
  };
  const std::string refused = " относится к частной или зарезервированной сети: проверка не выполняется";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Typed);
    const SiteReply reply = GetSite(site.Port(), Lookup(row.Typed, "traceroute port_scan"));
    ASSERT_EQ(reply.Status, 200) << reply.Body;
    EXPECT_TRUE(Has(reply.Body, std::string("<h1>") + row.Named + "</h1>")) << reply.Body;
    const std::string reason = std::string("Адрес ") + row.Named + refused;
    const std::size_t at = reply.Body.find(reason);
    ASSERT_NE(at, std::string::npos) << reply.Body;
    EXPECT_NE(reply.Body.find(reason, at + 1), std::string::npos) << "both the trace and the scan refuse it\n" << reply.Body;
  }
  const SiteReply zoned = GetSite(site.Port(), Lookup("fe80::1%25eth0", "traceroute port_scan"));
  EXPECT_TRUE(Has(zoned.Body, "Адрес IPv6 с указанием зоны")) << zoned.Body;
}

// An autonomous system's number is named as one, and the reports that have
// nothing for it say so in a line rather than fail.
TEST_F(SiteService, TakesAnAsNumberAndSaysWhichReportsHaveNothingForIt) {
  SiteProcess site(With(LoopbackSources(Dns.Address()), {"--page-budget", "3000"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  const SiteReply reply = GetSite(site.Port(), Lookup("as15169", "dom_whois dom_dns traceroute net_whois port_scan"));
  ASSERT_EQ(reply.Status, 200) << reply.Body;
  EXPECT_TRUE(Has(reply.Body, "<h1>AS15169</h1>")) << reply.Body;
  for (const char* line : {"Сведения об автономной системе — в разделе «Информация о сети».",
                           "DNS-записи есть у доменов и адресов, у номера автономной системы их нет.",
                           "Трассировка ведётся до адреса или домена; у автономной системы нет одного адреса.",
                           "Порты сканируются у адреса или домена; у автономной системы нет одного адреса."})
    EXPECT_TRUE(Has(reply.Body, line)) << line << "\n" << reply.Body;
  // Its record is asked of the (closed) sources, by its number.
  EXPECT_TRUE(Has(reply.Body, "<h2>Информация о сети</h2>\n<p class=\"outcome failed\">")) << reply.Body;
}

TEST_F(SiteService, ExitsWithZeroOnSigtermWhileBusy) {
  SiteProcess site(With(LoopbackSources(Dns.Address()), {"--dns-timeout", "8000", "--page-budget", "8000"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  const int idle = ConnectSite(site.Port());
  const int busy = ConnectSite(site.Port());
  const std::string request = "GET " + Lookup("example.test", "dom_whois dom_dns traceroute net_whois port_scan") + " HTTP/1.0\r\n\r\n";
  ASSERT_EQ(send(busy, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  ASSERT_TRUE(Dns.QueryArrives("example.test", 5000));
  EXPECT_EQ(site.Terminate(5), 0) << site.Log();
  close(idle);
  close(busy);
}

// Every option that can be wrong ends the program at start, before it
// listens, with the option named; none is left for the pages to trip over.
TEST(SiteProgram, BadOptionsEndTheProgramAtStartAndSayWhy) {
  TempDir dir;
  dir.WriteFile("bad.conf", "no-such-key = 1\n");
  dir.WriteFile("not-a-ca.pem", "just text\n");
  const struct {
    std::vector<std::string> Args;
    const char* Said;
  } rows[] = {
      {{"--no-such-option"}, "no-such-option"},
      {{"--listen", "127.0.0.1"}, "--listen wants HOST:PORT"},
      {{"--listen", "127.0.0.1:65536"}, "--listen: '65536' is not a port number"},
      {{"--listen", "localhost:8080"}, "--listen: 'localhost' is not an IP address"},
      {{"--resolver", ":53"}, "--resolver wants HOST:PORT"},
      {{"--resolver", "resolver.example:53"}, "--resolver: 'resolver.example:53' is not a DNS server address"},
      {{"--resolver", "127.0.0.1:0"}, "--resolver: port 0"},
      {{"--scan-ports", "22,,80"}, "--scan-ports: '' is not a port number"},
      {{"--scan-ports", "0"}, "--scan-ports: '0' is not a port number"},
      {{"--scan-ports", "22,80,22"}, "--scan-ports: port 22 is listed twice"},
      {{"--page-budget", "0"}, "--page-budget must be a positive number"},
      {{"--dns-timeout", "-5"}, "--dns-timeout must be a positive number"},
      {{"--page-cache", "-1"}, "--page-cache must be 0 or a positive number"},
      {{"--page-budget", "soon"}, "'--page-budget' is invalid"},
      {{"--max-in-flight", "0"}, "--max-in-flight must be at least 1"},
      {{"--max-connections", "-1"}, "--max-connections: '-1' is not a whole number"},
      {{"--threads", "-1"}, "--threads: '-1' is not a whole number"},
      {{"--threads", "100000"}, "--threads must be at most 256"},
      {{"--rate-per-second", "-1"}, "--rate-per-second must not be negative"},
      {{"--as-zone", ""}, "must not be empty"},
      {{"--whois-root", "who is"}, "--whois-root: 'who is' is not HOST or HOST:PORT"},
      {{"--rdap-bootstrap", "http://127.0.0.1/"}, "--rdap-bootstrap: 'http://127.0.0.1/' is not an https:// URL"},
      {{"--ca-file", "/nonexistent/ca.pem"}, "--ca-file: cannot load '/nonexistent/ca.pem'"},
      {{"--ca-file", dir.File("not-a-ca.pem")}, "--ca-file: cannot load"},
      {{"--trusted-proxy", "proxy.example"}, "--trusted-proxy: 'proxy.example' is not an IP address"},
      {{"--trusted-proxy-header", "X-Real-IP:"}, "--trusted-proxy-header: 'X-Real-IP:' is not a header name"},
      {{"--max-page-bytes", "1000"}, "--max-page-bytes must be at least 65536"},
      {{"--redis", "redis.example"}, "--redis wants HOST:PORT"},
      {{"--redis", "unix:"}, "--redis: unix: wants a socket path"},
      {{"--redis-timeout", "0"}, "--redis-timeout must be a positive number"},
      {{"--redis-password-file", "/nonexistent/password"}, "--redis-password-file: cannot read a password from '/nonexistent/password'"},
      {{"--metrics-listen", "9180"}, "--metrics-listen wants HOST:PORT"},
      {{"--config", "/nonexistent/site.conf"}, "cannot read the config file '/nonexistent/site.conf'"},
      {{"--config", dir.File("bad.conf")}, "no-such-key"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Said);
    SiteProcess site(row.Args);
    EXPECT_EQ(site.Port(), 0);
    EXPECT_EQ(site.Terminate(5), 2);
    EXPECT_TRUE(Has(site.Log(), row.Said)) << site.Log();
  }
}

}  // namespace
