// Route traces over real routes: loopback, and a two-hop route through a
// router in network namespaces the test makes, traced from inside the client's.

#include "NetnsRoute.h"
#include "ReportRig.h"
#include "UnboundServer.h"

#include <gtest/gtest.h>

using site::DnsType;
using site::Outcome;
using site::ReportResult;

namespace {

// Three round-trip times, no probe lost, each under `limitMs`.
void ExpectThreeTimes(const std::string& times, double limitMs) {
  EXPECT_EQ(times.find('*'), std::string::npos) << times;
  double t[3] = {};
  EXPECT_EQ(std::sscanf(times.c_str(), "%lf %lf %lf", &t[0], &t[1], &t[2]), 3) << times;
  for (double ms : t) EXPECT_LT(ms, limitMs) << times;
}

// The event loop is held up this long while the answers come in: times read
// from the loop's own clock would all exceed it, the kernel's do not.
constexpr std::chrono::milliseconds kBusyLoop(200);

class RouteTraceTest : public ::testing::Test {
protected:
  void SetUp() override {
    rig.Opts.AsZone = "origin.asn.example.test";
    rig.Opts.AsNameZone = "asn.example.test";
    rig.Opts.ProbeTimeout = std::chrono::milliseconds(500);
    rig.Dns[{"127.0.0.1", DnsType::PTR}] = {"localhost."};
    rig.Dns[{"1.0.0.127.origin.asn.example.test", DnsType::TXT}] = {"\"64500 | 127.0.0.0/8 | ZZ | test | 2020-01-01\""};
    rig.Dns[{"AS64500.asn.example.test", DnsType::TXT}] = {"\"64500 | ZZ | test | 2020-01-01 | LOOP-AS, ZZ\""};
    rig.Dns[{"loop.test", DnsType::A}] = {"127.0.0.2"};
  }

  ReportRig rig;
};

TEST_F(RouteTraceTest, LoopbackIsOneHopReachedInKernelTime) {
  rig.Opts.AllowPrivate = true;
  rig.Opts.ProbeTimeout = std::chrono::seconds(5);
  rig.BusyAfterStart = kBusyLoop;
  const ReportResult result = rig.Run(site::RouteTrace, "127.0.0.1");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(result.Reason, "");
  EXPECT_EQ(result.Summary.Head.size(), 5u);
  ASSERT_EQ(result.Summary.Rows.size(), 1u) << result.Raw;
  const auto& hop = result.Summary.Rows[0];
  EXPECT_EQ(hop[0], "1");
  EXPECT_EQ(hop[1], "127.0.0.1");
  EXPECT_EQ(hop[2], "localhost");
  EXPECT_EQ(hop[3], "AS64500 LOOP-AS, ZZ");
  ExpectThreeTimes(hop[4], 1.0);
  EXPECT_LT(result.Elapsed, rig.Opts.ProbeTimeout) << "a reached destination ends the trace at once";
}

TEST_F(RouteTraceTest, PrivateTargetsAreRefusedUnlessAllowed) {
  for (const char* target : {"127.0.0.1", "loop.test", "10.1.2.3"}) {
    const ReportResult result = rig.Run(site::RouteTrace, target);
    EXPECT_EQ(result.State, Outcome::Failed) << target;
    EXPECT_NE(result.Reason.find("частной или зарезервированной"), std::string::npos) << target << ": " << result.Reason;
    EXPECT_TRUE(result.Summary.Rows.empty());
  }
}

// The system refuses the probes (a broadcast address without SO_BROADCAST, or
// no route at all where only loopback is up: connect fails, nothing is sent):
// the reason is Russian, the system's own words are for the log.
TEST_F(RouteTraceTest, RefusedProbesEndTheTraceWithARussianReason) {
  rig.Opts.AllowPrivate = true;
  const ReportResult result = rig.Run(site::RouteTrace, "255.255.255.255");
  EXPECT_EQ(result.State, Outcome::Failed);
  EXPECT_TRUE(result.Reason == "Не удалось отправить пробный пакет: система не разрешает такие пакеты" ||
              result.Reason == "Не удалось отправить пробный пакет: нет маршрута в сеть адресата")
      << result.Reason;
}

class NamespaceTraceTest : public RouteTraceTest {
protected:
  void SetUp() override {
    RouteTraceTest::SetUp();
    if (!route.Ready()) GTEST_SKIP() << "network namespaces need root";
    rig.Opts.AllowPrivate = true;  // the namespaces use documentation ranges
    dns.AddLine(R"(local-data-ptr: "192.0.2.1 router.example.test")");
    dns.AddLine(R"(local-data: '2.100.51.198.origin.asn.example.test. 3600 IN TXT "64501 | 198.51.100.0/24 | ZZ | test | 2020-01-01"')");
    dns.AddLine(R"(local-data: 'AS64501.asn.example.test. 3600 IN TXT "64501 | ZZ | test | 2020-01-01 | TARGET-AS"')");
    dns.AddLine(R"(local-data-ptr: "2001:db8:2::1 router.example.test")");
    dns.AddLine(R"(local-data: '2.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.1.0.8.b.d.0.1.0.0.2.origin6.asn.example.test. 3600 IN TXT "64501 | 2001:db8:100::/48 | ZZ | test | 2020-01-01"')");
    dns.AddLine(R"(local-data: "v6only.example.test. 3600 IN AAAA 2001:db8:100::2")");
  }

  // The trace, and the unbound that names its hops, both inside the client's namespace.
  ReportResult Trace(const std::string& target) {
    ReportResult result;
    route.InClient([&] {
      std::string error;
      ASSERT_TRUE(dns.Start(&error)) << error;
      rig.Opts.Resolver = dns.Address();
      result = rig.Run(site::RouteTrace, target);
      dns.Stop();
    });
    return result;
  }

  UnboundServer dns;

  NetnsRoute route;
};

// Over IPv4 and IPv6 alike; a domain with only an IPv6 address is traced
// there, and the page says which address it took.
TEST_F(NamespaceTraceTest, TwoHopsOverUdpAndOverIcmpInKernelTime) {
  rig.BusyAfterStart = kBusyLoop;
  const struct {
    const char* Target;
    const char* Router;
    const char* Reached;
    const char* Note;
  } rows[] = {
      {"198.51.100.2", "192.0.2.1", "198.51.100.2", ""},
      {"2001:db8:100::2", "2001:db8:2::1", "2001:db8:100::2", ""},
      {"v6only.example.test", "2001:db8:2::1", "2001:db8:100::2",
       "Адрес 2001:db8:100::2 (первая запись AAAA домена: адреса IPv4 у него нет)"},
  };
  for (const char* method : {"UDP", "ICMP"}) {
    if (std::string(method) == "ICMP") {
      ASSERT_TRUE(route.AllowPing());
    }
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(method) + " to " + row.Target);
      const ReportResult result = Trace(row.Target);
      ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
      EXPECT_NE(result.Raw.find(method), std::string::npos) << result.Raw;
      EXPECT_EQ(result.Note, row.Note);
      ASSERT_EQ(result.Summary.Rows.size(), 2u) << result.Raw;
      const auto& router = result.Summary.Rows[0];
      const auto& target = result.Summary.Rows[1];
      EXPECT_EQ(router[1], row.Router);
      EXPECT_EQ(router[2], "router.example.test");
      EXPECT_EQ(router[3], "");
      EXPECT_EQ(target[1], row.Reached);
      EXPECT_EQ(target[3], "AS64501 TARGET-AS");
      // Forwarding may wait for a busy machine's CPU; far less than for the loop, though.
      ExpectThreeTimes(router[4], 50.0);
      ExpectThreeTimes(target[4], 50.0);
    }
  }
}

TEST_F(NamespaceTraceTest, RefusedAndSilentRoutesEndAtTheRouter) {
  ReportResult result = Trace("203.0.113.1");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  ASSERT_EQ(result.Summary.Rows.size(), 1u) << result.Raw;
  EXPECT_EQ(result.Summary.Rows[0][1], "192.0.2.1");
  EXPECT_NE(result.Summary.Rows[0][4].find("!H"), std::string::npos) << result.Raw;

  // An unreachable IPv6 route answers "no route".
  result = Trace("2001:db8:113::1");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  ASSERT_EQ(result.Summary.Rows.size(), 1u) << result.Raw;
  EXPECT_EQ(result.Summary.Rows[0][1], "2001:db8:2::1");
  EXPECT_NE(result.Summary.Rows[0][4].find("!N"), std::string::npos) << result.Raw;

  result = Trace("198.51.100.9");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_NE(result.Reason.find("не ответил"), std::string::npos);
  ASSERT_EQ(result.Summary.Rows.size(), 1u) << "silent hops after the last answer are not listed:\n" << result.Raw;
  ExpectThreeTimes(result.Summary.Rows[0][4], 50.0);
}

}  // namespace
