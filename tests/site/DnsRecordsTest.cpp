// The DNS report against a real unbound on loopback.
#include "NetHarness.h"
#include "UnboundServer.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using site::Outcome;

namespace {

class DnsRecordsTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(Dns.Start(&error)) << error;
    H.Opts.Resolver = Dns.Address();
  }

  UnboundServer Dns;
  NetHarness H;
};

using Rows = std::vector<std::vector<std::string>>;

TEST_F(DnsRecordsTest, EveryTypeOfADomain) {
  const auto result = H.Run(site::DnsRecords, DomainTarget("example.test"));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->State, Outcome::Done) << result->Reason;
  EXPECT_EQ(result->Summary.Head, (std::vector<std::string>{"Тип", "Значение", "TTL"}));
  EXPECT_EQ(result->Summary.Rows, (Rows{
                                      {"A", "192.0.2.10", "3600"},
                                      {"AAAA", "2001:db8::10", "3600"},
                                      {"CNAME", "нет записей", ""},
                                      {"MX", "10 mail.example.test", "3600"},
                                      {"NS", "ns1.example.test", "3600"},
                                      {"TXT", "\"v=spf1 -all\"", "3600"},
                                      {"SOA", "ns1.example.test hostmaster.example.test 2024010101 3600 600 86400 300", "3600"},
                                  }));
  EXPECT_NE(result->Raw.find("example.test.\t3600\tIN\tMX\t10 mail.example.test\n"), std::string::npos) << result->Raw;
  EXPECT_NE(result->Raw.find("; example.test. CNAME: нет записей\n"), std::string::npos) << result->Raw;
}

// The name servers and mail hosts with their addresses of both families;
// their records follow the domain's in the zone-file text.
TEST_F(DnsRecordsTest, AddressesOfTheNameServersAndMailHosts) {
  const auto result = H.Run(site::DnsRecords, DomainTarget("dual.example.test"));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->State, Outcome::Done) << result->Reason;
  EXPECT_EQ(result->Summary.Rows, (Rows{
                                      {"A", "нет записей", ""},
                                      {"AAAA", "нет записей", ""},
                                      {"CNAME", "нет записей", ""},
                                      {"MX", "10 mx.dual.example.test — 2001:db8::25", "3600"},
                                      {"NS", "ns.dual.example.test — 192.0.2.53, 2001:db8::53", "3600"},
                                      {"TXT", "нет записей", ""},
                                      {"SOA", "нет записей", ""},
                                  }));
  EXPECT_NE(result->Raw.find("dual.example.test.\t3600\tIN\tNS\tns.dual.example.test\n"
                             "; dual.example.test. TXT: нет записей\n"
                             "; dual.example.test. SOA: нет записей\n"
                             "mx.dual.example.test.\t3600\tIN\tAAAA\t2001:db8::25\n"
                             "ns.dual.example.test.\t3600\tIN\tA\t192.0.2.53\n"
                             "ns.dual.example.test.\t3600\tIN\tAAAA\t2001:db8::53\n"),
            std::string::npos)
      << result->Raw;
}

TEST_F(DnsRecordsTest, ReverseNameOfAnAddress) {
  const auto result = H.Run(site::DnsRecords, AddressTarget(0x0a000001, "10.0.0.1"));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->State, Outcome::Done) << result->Reason;
  EXPECT_EQ(result->Summary.Rows, (Rows{{"PTR", "host1.example.test", "3600"}}));
  EXPECT_EQ(result->Raw, "1.0.0.10.in-addr.arpa.\t3600\tIN\tPTR\thost1.example.test\n");

  const auto none = H.Run(site::DnsRecords, AddressTarget(0x0a000002, "10.0.0.2"));
  ASSERT_TRUE(none);
  EXPECT_EQ(none->State, Outcome::Done) << none->Reason;
  EXPECT_EQ(none->Summary.Rows, (Rows{{"PTR", "нет записей", ""}}));

  // IPv6 in ip6.arpa, a label per half-byte, the last first.
  const auto v6 = H.Run(site::DnsRecords, Ipv6Target("2001:db8::10"));
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->State, Outcome::Done) << v6->Reason;
  EXPECT_EQ(v6->Summary.Rows, (Rows{{"PTR", "host6.example.test", "3600"}}));
  EXPECT_EQ(v6->Raw, "0.1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.ip6.arpa.\t3600\tIN\tPTR\thost6.example.test\n");
}

TEST_F(DnsRecordsTest, InternationalNamesInRecordsReadInBothForms) {
  const auto result = H.Run(site::DnsRecords, DomainTarget("xn--d1acufc.example.test"));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->State, Outcome::Done) << result->Reason;
  EXPECT_EQ(result->Summary.Rows,
            (Rows{
                {"A", "нет записей", ""},
                {"AAAA", "нет записей", ""},
                {"CNAME", "нет записей", ""},
                {"MX", "10 почта.домен.example.test (xn--80a1acny.xn--d1acufc.example.test)", "3600"},
                {"NS", "сервер.example.test (xn--b1afb6bcb.example.test)", "3600"},
                {"TXT", "нет записей", ""},
                {"SOA",
                 "сервер.example.test (xn--b1afb6bcb.example.test) почта.домен.example.test "
                 "(xn--80a1acny.xn--d1acufc.example.test) 1 3600 600 86400 300",
                 "3600"},
            }));
  // The zone-file text keeps the names as the DNS sends them.
  EXPECT_NE(result->Raw.find("\tMX\t10 xn--80a1acny.xn--d1acufc.example.test\n"), std::string::npos) << result->Raw;

  const auto reverse = H.Run(site::DnsRecords, AddressTarget(0x0a000003, "10.0.0.3"));
  ASSERT_TRUE(reverse);
  EXPECT_EQ(reverse->Summary.Rows, (Rows{{"PTR", "сервер.example.test (xn--b1afb6bcb.example.test)", "3600"}}));
}

TEST_F(DnsRecordsTest, FailuresSayWhy) {
  // Each query gives up long before the page's budget.
  H.Opts.DnsTimeout = std::chrono::milliseconds(300);
  const struct {
    const char* Name;
    Outcome State;
    const char* Reason;
  } rows[] = {
      {"nosuch.example.test", Outcome::Failed, "Домен nosuch.example.test не существует (NXDOMAIN)"},
      {"xn--e1afmkfd.example.test", Outcome::Failed, "Домен пример.example.test (xn--e1afmkfd.example.test) не существует (NXDOMAIN)"},
      {"elsewhere.example", Outcome::Failed, "DNS-запросы не удались: DNS-сервер отказал в ответе"},
      // Every query's own time-out is the report's: not an error of some other kind.
      {"quiet.example.test", Outcome::TimedOut, "DNS-сервер ответил не на все запросы"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    const auto result = H.Run(site::DnsRecords, DomainTarget(row.Name));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->State, row.State);
    EXPECT_EQ(result->Reason.rfind(row.Reason, 0), 0u) << result->Reason;
  }
}

TEST_F(DnsRecordsTest, DeadlineEndsTheReportOnce) {
  H.Opts.DnsTimeout = std::chrono::seconds(20);
  int calls = 0;
  const auto result = H.Run(site::DnsRecords, DomainTarget("quiet.example.test"), std::chrono::milliseconds(200), &calls);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->State, Outcome::TimedOut);
  EXPECT_EQ(result->Summary.Rows.size(), 7u);
  EXPECT_EQ(result->Summary.Rows[0][1], "превышено время ожидания");
  EXPECT_LT(result->Elapsed, std::chrono::seconds(2));
  H.RunUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(calls, 1);
}

// As the service runs: one loop on two threads, a strand per page, the cache shared.
TEST_F(DnsRecordsTest, PagesOnSeveralThreadsEachGetEveryAnswer) {
  constexpr int kPages = 40;
  site::SharedState& shared = H.Shared();
  std::atomic<int> complete{0}, finished{0};
  std::vector<std::shared_ptr<site::ReportContext>> contexts;
  for (int i = 0; i < kPages; ++i) {
    auto strand = boost::asio::make_strand(H.Io);
    contexts.push_back(std::make_shared<site::ReportContext>(site::ReportContext{
        strand, shared, site::MakeResolver(strand, shared), std::chrono::steady_clock::now() + std::chrono::seconds(10)}));
    boost::asio::post(strand, [&, i, context = contexts.back()] {
      site::DnsRecords(context, DomainTarget(i % 2 ? "example.test" : "www.example.test"), [&](site::ReportResult r) {
        if (r.State == Outcome::Done && r.Summary.Rows.size() == 7) ++complete;
        ++finished;
      });
    });
  }
  auto guard = boost::asio::make_work_guard(H.Io);
  std::thread second([&] { H.Io.run_for(std::chrono::seconds(10)); });
  H.RunUntil([&] { return finished == kPages; });
  guard.reset();
  H.Io.stop();
  second.join();
  EXPECT_EQ(finished, kPages);
  EXPECT_EQ(complete, kPages);
}

}  // namespace
