// The page's resolver against a real unbound on loopback.
#include "NetHarness.h"
#include "sources/AsZone.h"
#include "sources/ErrorTexts.h"
#include "UnboundServer.h"

#include <ares.h>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using site::DnsAnswer;
using site::DnsType;

namespace {

class ResolverTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (int i = 1; i <= 80; ++i)
      Dns.AddLine("local-data: \"many.example.test. 60 IN A 10.1.0." + std::to_string(i) + "\"");
    Dns.AddLine(R"(local-data: 'odd.example.test. 60 IN TXT "say \"hi\"" "two"')");
    Dns.AddLine("local-data: 'utf.example.test. 60 IN TXT \"caf\xc3\xa9\"'");
    // A byte that is no UTF-8 and a C1 control written as UTF-8: both stay escaped.
    Dns.AddLine(R"(local-data: 'bin.example.test. 60 IN TXT "a\255b\194\133c"')");
    Dns.AddLine("local-data: 'AS64510.asn.example.test. 60 IN TXT \"64510 | ZZ | test | 2020-01-01 | \xd0\xa2\xd0\x95\xd0\xa1\xd0\xa2-AS, ZZ\"'");
    std::string error;
    ASSERT_TRUE(Dns.Start(&error)) << error;
    H.Opts.Resolver = Dns.Address();
  }

  UnboundServer Dns;
  NetHarness H;
};

struct AnswerRow {
  const char* Name;
  DnsType Type;
  std::vector<std::string> Records;
  std::uint32_t Ttl;
};

TEST_F(ResolverTest, EveryTypeInPresentationForm) {
  const AnswerRow rows[] = {
      {"example.test", DnsType::A, {"192.0.2.10"}, 3600},
      {"example.test", DnsType::AAAA, {"2001:db8::10"}, 3600},
      {"www.example.test", DnsType::CNAME, {"example.test"}, 3600},
      {"example.test", DnsType::MX, {"10 mail.example.test"}, 3600},
      {"example.test", DnsType::NS, {"ns1.example.test"}, 3600},
      {"example.test", DnsType::TXT, {"\"v=spf1 -all\""}, 3600},
      {"example.test", DnsType::SOA, {"ns1.example.test hostmaster.example.test 2024010101 3600 600 86400 300"}, 3600},
      {"10.0.0.1", DnsType::PTR, {"host1.example.test"}, 3600},
      {"Example.TEST", DnsType::A, {"192.0.2.10"}, 3600},
      {"odd.example.test", DnsType::TXT, {R"("say \"hi\"" "two")"}, 60},
      {"utf.example.test", DnsType::TXT, {"\"caf\xc3\xa9\""}, 60},
      {"bin.example.test", DnsType::TXT, {R"("a\255b\194\133c")"}, 60},
      // A CNAME is not an address: the A question of its owner has no A data.
      {"www.example.test", DnsType::A, {}, 0},
  };
  auto resolver = H.NewResolver();
  for (const AnswerRow& row : rows) {
    SCOPED_TRACE(std::string(row.Name) + " " + std::to_string(static_cast<int>(row.Type)));
    const auto answer = H.Ask(*resolver, row.Name, row.Type);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->Ok) << answer->Error;
    EXPECT_EQ(answer->Records, row.Records);
    EXPECT_EQ(answer->NoData, row.Records.empty());
    if (!row.Records.empty()) {
      EXPECT_EQ(answer->Ttl, row.Ttl);
    }
  }
  // What the resolver escapes, the AS zone reader turns back into the bytes the zone holds.
  const auto bin = H.Ask(*resolver, "bin.example.test", DnsType::TXT);
  ASSERT_TRUE(bin && bin->Ok);
  EXPECT_EQ(site::TxtText(bin->Records.front()), "a\xFF" "b\xC2\x85" "c");
  const auto name = H.Ask(*resolver, "AS64510.asn.example.test", DnsType::TXT);
  ASSERT_TRUE(name && name->Ok);
  EXPECT_EQ(site::AsNameOf(name->Records), "ТЕСТ-AS, ZZ");
}

TEST_F(ResolverTest, LargeAnswerComesOverTcpAndIsCapped) {
  auto resolver = H.NewResolver();
  const auto answer = H.Ask(*resolver, "many.example.test", DnsType::A);
  ASSERT_TRUE(answer);
  ASSERT_TRUE(answer->Ok) << answer->Error;
  EXPECT_EQ(answer->Records.size(), 64u);
  EXPECT_EQ(answer->Ttl, 60u);
}

TEST_F(ResolverTest, NegativeAnswersAreAnswersWithShortLives) {
  auto resolver = H.NewResolver();
  const auto missing = H.Ask(*resolver, "nosuch.example.test", DnsType::A);
  ASSERT_TRUE(missing);
  EXPECT_TRUE(missing->Ok);
  EXPECT_TRUE(missing->NoData);
  EXPECT_TRUE(missing->NxDomain);
  EXPECT_EQ(missing->Ttl, 60u);  // the zone's SOA says 300: negative answers are kept a minute at most

  const auto empty = H.Ask(*resolver, "example.test", DnsType::CNAME);
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->Ok);
  EXPECT_TRUE(empty->NoData);
  EXPECT_FALSE(empty->NxDomain);
  EXPECT_TRUE(empty->Records.empty());
}

TEST_F(ResolverTest, FailuresAreErrorsWithinTheQueryTime) {
  // A port nothing listens on (bound a moment, then freed): c-ares gives up on it within the query time.
  const int closed = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(closed, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  getsockname(closed, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string closedPort = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  close(closed);
  struct Row {
    const char* Label;
    std::string Server;
    const char* Name;
    int Status;
    int OrStatus;  // what else the system may make of it
  } rows[] = {
      {"refused", Dns.Address(), "elsewhere.example", ARES_EREFUSED, ARES_EREFUSED},
      {"unanswered", Dns.Address(), "quiet.example.test", ARES_ETIMEOUT, ARES_ETIMEOUT},
      // The port's "unreachable" answer makes it a refusal; where the system
      // holds that answer back under its ICMP rate limit, a time-out.
      {"nothing on the port", closedPort, "example.test", ARES_ECONNREFUSED, ARES_ETIMEOUT},
      {"not an address", Dns.Address(), "", -1, -1},
  };
  H.Opts.DnsTimeout = std::chrono::milliseconds(300);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Label);
    H.Opts.Resolver = row.Server;
    auto resolver = H.NewResolver();
    const auto start = std::chrono::steady_clock::now();
    const auto answer = H.Ask(*resolver, row.Name, row.Status < 0 ? DnsType::PTR : DnsType::A);
    ASSERT_TRUE(answer);
    EXPECT_FALSE(answer->Ok);
    if (row.Status < 0) {
      EXPECT_EQ(answer->Error, "не адрес IPv4");
    } else {
      EXPECT_TRUE(answer->Error == site::ResolverErrorText(row.Status) || answer->Error == site::ResolverErrorText(row.OrStatus))
          << answer->Error;
      EXPECT_EQ(answer->TimedOut, answer->Error == site::ResolverErrorText(ARES_ETIMEOUT));
    }
    // Generous: the point is that two tries stay within the query time, not how fast.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  }
}

TEST_F(ResolverTest, CachedAnswersNeedNoServer) {
  auto first = H.NewResolver();
  const auto address = H.Ask(*first, "example.test", DnsType::A);
  const auto missing = H.Ask(*first, "nosuch.example.test", DnsType::A);
  const auto refused = H.Ask(*first, "elsewhere.example", DnsType::A);
  ASSERT_TRUE(address && missing && refused);
  ASSERT_FALSE(refused->Ok);
  Dns.Stop();

  H.Opts.DnsTimeout = std::chrono::milliseconds(300);
  auto second = H.NewResolver();  // another page, same process
  const auto again = H.Ask(*second, "example.test", DnsType::A);
  ASSERT_TRUE(again);
  EXPECT_TRUE(again->Ok);
  EXPECT_EQ(again->Records, address->Records);
  const auto missingAgain = H.Ask(*second, "nosuch.example.test", DnsType::A);
  ASSERT_TRUE(missingAgain);
  EXPECT_TRUE(missingAgain->NxDomain);
  // Failures are never kept: this one asks the server, which is gone.
  const auto refusedAgain = H.Ask(*second, "elsewhere.example", DnsType::A);
  ASSERT_TRUE(refusedAgain);
  EXPECT_FALSE(refusedAgain->Ok);
  EXPECT_NE(refusedAgain->Error, refused->Error);
}

TEST_F(ResolverTest, CancelAllEndsQueriesAndTheResolverGoesOn) {
  auto resolver = H.NewResolver();
  std::vector<DnsAnswer> answers;
  boost::asio::post(H.Strand, [&] {
    for (DnsType type : {DnsType::A, DnsType::MX, DnsType::TXT})
      resolver->Query("example.test", type, [&](DnsAnswer a) { answers.push_back(std::move(a)); });
    resolver->CancelAll();
  });
  ASSERT_TRUE(H.RunUntil([&] { return answers.size() == 3; }));
  for (const DnsAnswer& answer : answers) {
    EXPECT_FALSE(answer.Ok);
    EXPECT_EQ(answer.Error, "запрос отменён");
  }
  const auto after = H.Ask(*resolver, "example.test", DnsType::A);
  ASSERT_TRUE(after);
  EXPECT_TRUE(after->Ok) << after->Error;
}

TEST_F(ResolverTest, DestroyedMidQueryEveryDoneIsCalledOnce) {
  H.Opts.DnsTimeout = std::chrono::seconds(30);
  auto resolver = H.NewResolver();
  int calls = 0;
  std::vector<DnsAnswer> answers;
  boost::asio::post(H.Strand, [&] {
    for (DnsType type : {DnsType::A, DnsType::AAAA, DnsType::MX, DnsType::SOA})
      resolver->Query("quiet.example.test", type, [&](DnsAnswer a) {
        ++calls;
        answers.push_back(std::move(a));
      });
  });
  // Let the queries go out and their sockets be waited on, then drop the page.
  H.RunUntil([] { return false; }, std::chrono::milliseconds(100));
  ASSERT_TRUE(answers.empty());
  boost::asio::post(H.Strand, [&] { resolver.reset(); });
  ASSERT_TRUE(H.RunUntil([&] { return answers.size() == 4; }));
  H.RunUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(calls, 4);
  for (const DnsAnswer& answer : answers) {
    EXPECT_FALSE(answer.Ok);
    EXPECT_EQ(answer.Error, site::ResolverErrorText(ARES_EDESTRUCTION));
  }
}

// The program refuses such a resolver at start; a page's resolver that meets
// one anyway says so in every answer rather than asking the system's.
TEST_F(ResolverTest, AResolverThatCannotBeSetFailsEveryAnswer) {
  H.Opts.Resolver = "resolver.example:53";
  auto resolver = H.NewResolver();
  const auto answer = H.Ask(*resolver, "example.test", DnsType::A);
  ASSERT_TRUE(answer);
  EXPECT_FALSE(answer->Ok);
  EXPECT_EQ(answer->Error, "неверно задан DNS-сервер службы: resolver.example:53");
}

}  // namespace
