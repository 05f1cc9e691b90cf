// Two real tarnwell-site instances sharing one real redis-server on loopback:
// what one fetched the other answers without a registry query, a client's
// rate holds across both, pages go on while Redis is gone, silent or asks for
// a password, and sharing comes back with it; what Redis holds past the
// bounds is never read whole (a scripted Redis only for replies no real one
// sends). The WHOIS registry is a fake that counts its queries; RDAP is a
// closed port, so every domain record comes by WHOIS.
#include "DelayRelay.h"
#include "LoopbackPort.h"
#include "RedisServer.h"
#include "RunProgram.h"
#include "ScriptedRedis.h"
#include "SiteClient.h"
#include "SiteProcess.h"
#include "TempDir.h"
#include "UnboundServer.h"
#include "WhoisScript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <unistd.h>

namespace {

std::string RecordPage(const std::string& name) {
  return "/whois/index.php?addr=" + name + "&dom_whois=true&dom_dns=&traceroute=&net_whois=&port_scan=";
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class SharedSite : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Redis.Start()) << Redis.Log();
    ASSERT_TRUE(Dns.Start());
  }

  // `redis` names Redis otherwise than by its address.
  std::vector<std::string> Args(const std::vector<std::string>& more = {}, const std::string& redis = {}) {
    std::vector<std::string> args{"--resolver", Dns.Address(), "--whois-root", Registry.Address(), "--rdap-bootstrap",
                                  "https://127.0.0.1:1/", "--threads", "2", "--redis", redis.empty() ? Redis.Address() : redis,
                                  "--redis-timeout", "50"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  // Both instances have reached Redis (at most 5 s): a page asked before may
  // rightly have gone without it.
  void WaitUntilShared(const SiteProcess& a, const SiteProcess& b) {
    for (int i = 0; i < 100 && !(Has(a.Log(), "the cache and the limits are shared") && Has(b.Log(), "the cache and the limits are shared")); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(Has(a.Log(), "connected; the cache") && Has(b.Log(), "connected; the cache")) << a.Log() << b.Log();
  }

  std::size_t QueriesFor(const std::string& name) {
    const auto queries = Registry.Queries();
    return static_cast<std::size_t>(std::count(queries.begin(), queries.end(), name));
  }

  // An instance shares what it fetched after its page has gone out: the
  // record is looked for in Redis (at most 2 s) before another instance is asked.
  void WaitUntilInRedis(const std::string& name) {
    for (int i = 0; i < 40 && Redis.Keys("*:" + name).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_FALSE(Redis.Keys("*:" + name).empty()) << name;
  }

  // The record page of `name` from the instance on `port`, with the registry's text in it.
  void ExpectRecord(std::uint16_t port, const std::string& name, const SiteProcess& site) {
    const SiteReply reply = GetSite(port, RecordPage(name));
    ASSERT_EQ(reply.Status, 200) << site.Log();
    EXPECT_TRUE(Has(reply.Body, "Registrant Organization: Shared Test")) << reply.Body;
  }

  UnboundServer Dns;
  RedisServer Redis;
  WhoisScript Registry{WhoisScript::Answer("Domain Name: SHARED.TEST\r\nRegistrant Organization: Shared Test\r\n")};
};

TEST_F(SharedSite, ARecordFetchedThroughOneInstanceIsAnsweredByTheOtherAndTheMetricsSaySo) {
  const std::uint16_t metricsPort = FreeLoopbackPort(), metricsOfA = FreeLoopbackPort();
  SiteProcess a(Args({"--metrics-listen", "127.0.0.1:" + std::to_string(metricsOfA)}));
  // B finds Redis by name, which the hosts file answers.
  SiteProcess b(Args({"--metrics-listen", "127.0.0.1:" + std::to_string(metricsPort)}, "localhost:" + std::to_string(Redis.Port())));
  ASSERT_NE(a.Port(), 0) << a.Log();
  ASSERT_NE(b.Port(), 0) << b.Log();
  WaitUntilShared(a, b);

  ExpectRecord(a.Port(), "first.test", a);
  EXPECT_EQ(QueriesFor("first.test"), 1u);
  WaitUntilInRedis("first.test");
  ExpectRecord(b.Port(), "first.test", b);
  ExpectRecord(b.Port(), "first.test", b);
  EXPECT_EQ(QueriesFor("first.test"), 1u) << "the second instance asked the registry again";
  // What B fetched itself, A has too.
  ExpectRecord(b.Port(), "second.test", b);
  WaitUntilInRedis("second.test");
  ExpectRecord(a.Port(), "second.test", a);
  EXPECT_EQ(QueriesFor("second.test"), 1u);
  EXPECT_EQ(GetSite(b.Port(), "/whois/index.php?addr=bad..name").Status, 400);
  // DNS answers are shared as well: B asks the DNS server nothing.
  const std::string dnsPage = "/whois/index.php?addr=example.test&dom_whois=&dom_dns=true&traceroute=&net_whois=&port_scan=";
  EXPECT_TRUE(Has(GetSite(a.Port(), dnsPage).Body, "192.0.2.10"));
  const double asked = MetricSamples(GetSite(metricsOfA, "/metrics").Body)["tarnwell_registry_queries_total{kind=\"dns\"}"];
  ASSERT_GE(asked, 1);
  const auto lines = [](const std::string& text) { return static_cast<double>(std::count(text.begin(), text.end(), '\n')); };
  for (int i = 0; i < 40 && lines(Redis.Keys("tarnwell:dns:*")) < asked; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // B shows the time the answer has left in Redis, not the zone's whole 3600 s it was stored with.
  const std::string dnsOfB = GetSite(b.Port(), dnsPage).Body;
  EXPECT_TRUE(Has(dnsOfB, "\tIN\tA\t192.0.2.10")) << dnsOfB;
  EXPECT_FALSE(Has(dnsOfB, "\t3600\tIN\tA\t192.0.2.10")) << dnsOfB;

  const int idle = ConnectSite(b.Port());
  ASSERT_GE(idle, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const SiteReply scrape = GetSite(metricsPort, "/metrics");
  close(idle);
  ASSERT_EQ(scrape.Status, 200) << b.Log();
  EXPECT_TRUE(Has(scrape.Head, "text/plain; version=0.0.4"));
  TempDir dir;
  dir.WriteFile("metrics.txt", scrape.Body);
  EXPECT_EQ(RunProgram({"sh", "-c", "promtool check metrics < " + dir.File("metrics.txt")}, dir.File("promtool.log")), 0)
      << dir.ReadFile("promtool.log") << scrape.Body;
  auto samples = MetricSamples(scrape.Body);
  EXPECT_EQ(samples["tarnwell_pages_total{outcome=\"ok\"}"], 4);
  EXPECT_EQ(samples["tarnwell_pages_total{outcome=\"bad_request\"}"], 1);
  EXPECT_EQ(samples["tarnwell_page_seconds_count"], 5);
  // The fake registry names no registrar server: a record report ends as failed, its text shown.
  EXPECT_EQ(samples["tarnwell_reports_total{outcome=\"done\"}"], 1);
  EXPECT_EQ(samples["tarnwell_reports_total{outcome=\"failed\"}"], 3);
  EXPECT_EQ(samples["tarnwell_registry_queries_total{kind=\"whois\"}"], 1);  // second.test only
  EXPECT_EQ(samples["tarnwell_registry_queries_total{kind=\"dns\"}"], 0);
  EXPECT_GE(samples["tarnwell_cache_lookups_total{cache=\"dns\",level=\"shared\",result=\"hit\"}"], 1);
  EXPECT_EQ(samples["tarnwell_cache_lookups_total{cache=\"dns\",level=\"shared\",result=\"miss\"}"], 0);
  EXPECT_EQ(samples["tarnwell_cache_lookups_total{cache=\"records\",level=\"local\",result=\"hit\"}"], 1);
  EXPECT_EQ(samples["tarnwell_cache_lookups_total{cache=\"records\",level=\"shared\",result=\"hit\"}"], 1);
  EXPECT_EQ(samples["tarnwell_cache_lookups_total{cache=\"records\",level=\"shared\",result=\"miss\"}"], 1);
  EXPECT_GE(samples["tarnwell_connections"], 1);  // the idle one, at least
  EXPECT_EQ(samples["tarnwell_refusals_total{code=\"429\"}"], 0);
  EXPECT_EQ(GetSite(metricsPort, "/other").Status, 404);
  // A clean exit with its Redis connection still open, and under the sanitizers nothing leaked.
  EXPECT_EQ(a.Terminate(10), 0) << a.Log();
  EXPECT_EQ(b.Terminate(10), 0) << b.Log();
}

TEST_F(SharedSite, AClientOverItsRateOnOneInstanceIsLimitedOnTheOther) {
  const std::uint16_t metricsPort = FreeLoopbackPort();
  const std::vector<std::string> rate{"--rate-per-second", "0.01", "--rate-burst", "3"};
  SiteProcess a(Args(rate));
  auto withMetrics = rate;
  withMetrics.insert(withMetrics.end(), {"--metrics-listen", "127.0.0.1:" + std::to_string(metricsPort)});
  SiteProcess b(Args(withMetrics));
  ASSERT_NE(a.Port(), 0) << a.Log();
  ASSERT_NE(b.Port(), 0) << b.Log();
  WaitUntilShared(a, b);

  const std::string none = "/whois/index.php?addr=rate.test&dom_whois=&dom_dns=&traceroute=&net_whois=&port_scan=";
  EXPECT_EQ(GetSite(a.Port(), none).Status, 200);
  EXPECT_EQ(GetSite(a.Port(), none).Status, 200);
  EXPECT_EQ(GetSite(b.Port(), none).Status, 200);
  // Three lookups in all: each instance alone would still allow more.
  EXPECT_EQ(GetSite(b.Port(), none).Status, 429) << b.Log();
  EXPECT_EQ(GetSite(a.Port(), none).Status, 429) << a.Log();

  const auto samples = MetricSamples(GetSite(metricsPort, "/metrics").Body);
  EXPECT_EQ(samples.at("tarnwell_refusals_total{code=\"429\"}"), 1);
  EXPECT_EQ(samples.at("tarnwell_pages_total{outcome=\"rate_limited\"}"), 1);
  EXPECT_EQ(samples.at("tarnwell_pages_total{outcome=\"ok\"}"), 1);
}

TEST_F(SharedSite, PagesKeepComingWhileRedisIsGoneAndSharingResumesWhenItIsBack) {
  const std::uint16_t metricsOfA = FreeLoopbackPort();
  SiteProcess a(Args({"--metrics-listen", "127.0.0.1:" + std::to_string(metricsOfA)}));
  SiteProcess b(Args());
  ASSERT_NE(a.Port(), 0) << a.Log();
  ASSERT_NE(b.Port(), 0) << b.Log();
  WaitUntilShared(a, b);
  ExpectRecord(a.Port(), "before.test", a);
  WaitUntilInRedis("before.test");
  ExpectRecord(b.Port(), "before.test", b);
  ASSERT_EQ(QueriesFor("before.test"), 1u);

  const auto sharedLookups = [&] {
    auto samples = MetricSamples(GetSite(metricsOfA, "/metrics").Body);
    return samples["tarnwell_cache_lookups_total{cache=\"records\",level=\"shared\",result=\"miss\"}"] +
           samples["tarnwell_cache_lookups_total{cache=\"records\",level=\"shared\",result=\"hit\"}"];
  };
  const double askedBefore = sharedLookups();
  EXPECT_EQ(MetricSamples(GetSite(metricsOfA, "/metrics").Body)["tarnwell_redis_connected"], 1);

  Redis.Stop();
  // Each instance answers from its own cache, or asks the registry itself.
  ExpectRecord(a.Port(), "before.test", a);
  ExpectRecord(a.Port(), "during.test", a);
  ExpectRecord(b.Port(), "during.test", b);
  EXPECT_EQ(QueriesFor("before.test"), 1u);
  EXPECT_EQ(QueriesFor("during.test"), 2u);
  // Redis was not asked, so it neither hit nor missed; and it is not connected.
  EXPECT_EQ(sharedLookups(), askedBefore);
  EXPECT_EQ(MetricSamples(GetSite(metricsOfA, "/metrics").Body)["tarnwell_redis_connected"], 0);

  ASSERT_TRUE(Redis.Start()) << Redis.Log();
  // Both reconnect within their longest pause (5 s); a name fetched through A
  // is then answered by B without a query.
  bool shared = false;
  for (int i = 0; i < 40 && !shared; ++i) {
    const std::string name = "after" + std::to_string(i) + ".test";
    ExpectRecord(a.Port(), name, a);
    for (int j = 0; j < 10 && Redis.Keys("*:" + name).empty(); ++j) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ExpectRecord(b.Port(), name, b);
    shared = QueriesFor(name) == 1;
    if (!shared) std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  EXPECT_TRUE(shared) << a.Log() << b.Log();
  for (const SiteProcess* site : {&a, &b}) {
    const std::string log = site->Log();
    const std::string down = "is unavailable";
    EXPECT_TRUE(Has(log, down)) << log;
    EXPECT_EQ(log.find(down), log.rfind(down)) << "an outage is logged once\n" << log;
    EXPECT_TRUE(Has(log, "is back")) << log;
  }
  EXPECT_EQ(a.Terminate(10), 0) << a.Log();
  EXPECT_EQ(b.Terminate(10), 0) << b.Log();
}

// A link that goes silent without closing (half-open, dropped by a firewall)
// is given up once a command has waited a second past its time-out; the
// instance reconnects and shares again. Within the relay's 30 s the silent
// link itself never ends.
TEST_F(SharedSite, ALinkThatGoesSilentIsDroppedAndSharingResumesOnANewOne) {
  TcpDelayRelay link(Redis.Port(), std::chrono::milliseconds(0));
  SiteProcess a(Args({}, "127.0.0.1:" + std::to_string(link.Port())));
  ASSERT_NE(a.Port(), 0) << a.Log();
  for (int i = 0; i < 100 && !Has(a.Log(), "connected; the cache"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(Has(a.Log(), "connected; the cache")) << a.Log();

  link.SilenceOpenConnections();
  bool shared = false;
  for (int i = 0; i < 20 && !shared; ++i) {
    const std::string name = "silent" + std::to_string(i) + ".test";
    ExpectRecord(a.Port(), name, a);
    for (int j = 0; j < 10 && !shared; ++j) {
      shared = !Redis.Keys("*:" + name).empty();
      if (!shared) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  EXPECT_TRUE(shared) << a.Log();
  EXPECT_TRUE(Has(a.Log(), "(no answer within 1050 ms)")) << a.Log();
  EXPECT_TRUE(Has(a.Log(), "is back")) << a.Log();
}

// A value in Redis past --redis-max-value-bytes (no instance stores one, but
// anything may write to a shared Redis) is a miss, and never crosses the link.
TEST_F(SharedSite, AValuePastTheBoundIsAMissAndIsNotTransferred) {
  SiteProcess a(Args());
  SiteProcess b(Args({"--redis-max-value-bytes", "1000"}));
  ASSERT_NE(a.Port(), 0) << a.Log();
  ASSERT_NE(b.Port(), 0) << b.Log();
  WaitUntilShared(a, b);
  ExpectRecord(a.Port(), "big.test", a);
  WaitUntilInRedis("big.test");
  const std::string keys = Redis.Keys("*:big.test");
  const std::string key = keys.substr(0, keys.find('\n'));
  std::string big = "Domain Name: BIG.TEST\r\nRegistrant Organization: Shared Test\r\n";
  while (big.size() < (100u << 10)) big += "% padding past the bound\r\n";
  ASSERT_EQ(Redis.Cli({"SET", key, big, "KEEPTTL"}), "OK\n");

  const auto sent = [&] {
    const std::string info = Redis.Cli({"INFO", "stats"});
    const auto at = info.find("total_net_output_bytes:");
    return at == std::string::npos ? 0.0 : std::stod(info.substr(at + 23));
  };
  const double before = sent();
  ExpectRecord(b.Port(), "big.test", b);
  EXPECT_LT(sent() - before, 50e3) << "the value crossed the link";
  EXPECT_EQ(QueriesFor("big.test"), 2u) << "the value past the bound was taken";
}

// Replies no real Redis sends: an array announcing 2^31 - 1 elements and a
// string announcing 100 MiB, each followed by an endless body. Each drops the
// connection before more than its bound is read, the pages go on, and the
// instance reconnects after each. The command time-out is long here, so that
// only the bounds can end the connections this soon.
TEST_F(SharedSite, RepliesPastTheirBoundDropTheConnectionBeforeTheyAreRead) {
  ScriptedRedis script({{"*2147483647\r\n", ":1\r\n"}, {"$104857600\r\n", "x"}});
  auto args = Args({}, script.Address());
  *(std::find(args.begin(), args.end(), "--redis-timeout") + 1) = "5000";
  SiteProcess a(args);
  ASSERT_NE(a.Port(), 0) << a.Log();
  for (int i = 0; i < 40 && !script.Done(); ++i) {
    EXPECT_EQ(GetSite(a.Port(), RecordPage("garbage" + std::to_string(i) + ".test")).Status, 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(script.Done()) << a.Log();
  for (const auto& reply : script.Replies()) {
    EXPECT_TRUE(reply.ClosedByPeer) << reply.Head << " was read whole: " << reply.Sent << " bytes";
    EXPECT_LT(reply.Sent, 8u << 20) << reply.Head;
  }
  // The outage is logged once, with its first cause.
  EXPECT_TRUE(Has(a.Log(), "(a reply of more than 16 elements)")) << a.Log();
  EXPECT_EQ(a.Terminate(10), 0) << a.Log();
}

// A Redis that asks for a password: without it, or with a wrong one, the log
// names Redis's refusal and /metrics says Redis is not connected; with the
// password read from a file the instance connects.
TEST_F(SharedSite, AProtectedRedisIsReachedWithItsPasswordAndARefusalIsNamed) {
  RedisServer guarded;
  ASSERT_TRUE(guarded.Start("s3cret")) << guarded.Log();
  TempDir dir;
  dir.WriteFile("password", "s3cret\n");
  const std::uint16_t metricsOfNone = FreeLoopbackPort(), metricsOfRight = FreeLoopbackPort();
  SiteProcess none(Args({"--metrics-listen", "127.0.0.1:" + std::to_string(metricsOfNone)}, guarded.Address()));
  SiteProcess wrong(Args({"--redis-password", "guess"}, guarded.Address()));
  SiteProcess right(Args({"--redis-password-file", dir.File("password"), "--metrics-listen", "127.0.0.1:" + std::to_string(metricsOfRight)},
                         guarded.Address()));
  for (const SiteProcess* site : {&none, &wrong, &right}) ASSERT_NE(site->Port(), 0) << site->Log();
  for (int i = 0; i < 100 && !(Has(none.Log(), "unavailable") && Has(wrong.Log(), "unavailable") && Has(right.Log(), "connected")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(Has(none.Log(), "(PING refused: NOAUTH")) << none.Log();
  EXPECT_TRUE(Has(wrong.Log(), "(AUTH refused: WRONGPASS")) << wrong.Log();
  EXPECT_TRUE(Has(right.Log(), "connected; the cache and the limits are shared")) << right.Log();
  EXPECT_EQ(MetricSamples(GetSite(metricsOfNone, "/metrics").Body)["tarnwell_redis_connected"], 0);
  EXPECT_EQ(MetricSamples(GetSite(metricsOfRight, "/metrics").Body)["tarnwell_redis_connected"], 1);
}

}  // namespace
