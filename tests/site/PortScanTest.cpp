// The port scan against listeners of its own on 127.0.0.1, and the rule on
// which addresses may be probed.
#include "NetHarness.h"
#include "sources/TargetAddress.h"
#include "UnboundServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <boost/asio/steady_timer.hpp>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <netinet/in.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using site::Outcome;

namespace {

constexpr std::uint32_t kLoopback = 0x7f000001;

// A TCP socket bound to 127.0.0.1 on a port of the system's choice: listening
// with `backlog`, or without one a closed port nobody else takes meanwhile.
class LoopbackSocket {
public:
  explicit LoopbackSocket(std::optional<int> backlog) {
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    bind(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (backlog) listen(FSocket, *backlog);
    getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
  }
  ~LoopbackSocket() {
    close(FSocket);
    for (int client : FClients) close(client);
  }
  std::uint16_t Port() const { return FPort; }
  // Connections nobody accepts: with the queue full, the next SYN is dropped
  // and a connect to this port gets no answer, as behind a filter.
  void FillQueue(int count) {
    for (int i = 0; i < count; ++i) {
      FClients.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
      const sockaddr_in address = Loopback(FPort);
      connect(FClients.back(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
  }

private:
  static sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }
  int FSocket = socket(AF_INET, SOCK_STREAM, 0);
  std::uint16_t FPort = 0;
  std::vector<int> FClients;
};

// "port/tcp" -> state word, from the raw text.
std::map<std::string, std::string> RawStates(const std::string& raw) {
  std::map<std::string, std::string> states;
  std::istringstream lines(raw);
  std::string port, state;
  while (lines >> port && port.find("/tcp") != std::string::npos && lines >> state) {
    states[port] = state;
    lines.ignore(1000, '\n');
  }
  return states;
}

// While it lives, only `spare` more descriptors can be opened: the lowest free
// one is the next handed out, and none past the limit is.
class DescriptorLimit {
public:
  explicit DescriptorLimit(int spare) {
    getrlimit(RLIMIT_NOFILE, &FSaved);
    const int lowest = dup(0);
    close(lowest);
    rlimit tight = FSaved;
    tight.rlim_cur = static_cast<rlim_t>(lowest + spare);
    setrlimit(RLIMIT_NOFILE, &tight);
  }
  ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &FSaved); }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

private:
  rlimit FSaved{};
};

std::string Tcp(std::uint16_t port) { return std::to_string(port) + "/tcp"; }

TEST(PortScanTest, OpenClosedAndFilteredAtAnyConcurrencyWithTimeOutsFromTheAnswers) {
  LoopbackSocket open1(16), open2(16), full(0), closed1(std::nullopt), closed2(std::nullopt);
  full.FillQueue(3);
  for (std::size_t concurrency : {1u, 2u, 100u}) {
    SCOPED_TRACE(concurrency);
    NetHarness h;
    h.Opts.AllowPrivate = true;
    h.Opts.ScanConcurrency = concurrency;
    h.Opts.PortTimeout = std::chrono::seconds(6);
    h.Opts.ScanPorts = {open1.Port(), closed1.Port(), full.Port(), open2.Port(), closed2.Port()};
    const auto result = h.Run(site::PortScan, AddressTarget(kLoopback, "127.0.0.1"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->State, Outcome::Done) << result->Reason;
    // The silent port's time-out follows the others' quick answers, far below the ceiling.
    EXPECT_LT(result->Elapsed, std::chrono::seconds(2));
    EXPECT_EQ(result->Note, "Адрес 127.0.0.1");
    EXPECT_EQ(result->Summary.Rows, (std::vector<std::vector<std::string>>{{Tcp(open1.Port()), ""}, {Tcp(open2.Port()), ""}}));
    EXPECT_EQ(RawStates(result->Raw), (std::map<std::string, std::string>{
                                          {Tcp(open1.Port()), "открыт"},
                                          {Tcp(open2.Port()), "открыт"},
                                          {Tcp(closed1.Port()), "закрыт"},
                                          {Tcp(closed2.Port()), "закрыт"},
                                          {Tcp(full.Port()), "фильтруется"},
                                      }))
        << result->Raw;
  }
}

// With no ports configured the scan tries the built-in list, and an open one
// is reported under its service's name.
TEST(PortScanTest, BuiltInListFindsAndNamesAnOpenService) {
  // Taken already, 3306 is open all the same: someone listens on it.
  const int mysql = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(3306);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(mysql, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) listen(mysql, 16);
  NetHarness h;
  h.Opts.AllowPrivate = true;
  h.Opts.PortTimeout = std::chrono::milliseconds(300);
  const auto result = h.Run(site::PortScan, AddressTarget(kLoopback, "127.0.0.1"));
  close(mysql);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->State, Outcome::Done) << result->Reason;
  const std::vector<std::string> row{"3306/tcp", "mysql"};
  EXPECT_NE(std::find(result->Summary.Rows.begin(), result->Summary.Rows.end(), row), result->Summary.Rows.end()) << result->Raw;
  EXPECT_EQ(RawStates(result->Raw).at("3306/tcp"), "открыт");
}

// Probes this machine cannot make (no descriptor left) are no answer from the
// target: with none made the scan fails, with some made it says which were not.
TEST(PortScanTest, ProbesThatCouldNotBeMadeAreNotClosedPorts) {
  LoopbackSocket open(16), closed(std::nullopt);
  // The first scan has descriptors to spare: the undefined-behaviour
  // sanitizer opens a pipe the first time it checks an object's type, and
  // would otherwise take a scan's want of descriptors for a bad object.
  for (const int spare : {-1, 0, 1}) {
    SCOPED_TRACE(spare);
    NetHarness h;
    h.Opts.AllowPrivate = true;
    h.Opts.ScanConcurrency = 2;
    h.Opts.ScanPorts = {open.Port(), closed.Port()};
    // The loop's own descriptors are made before the limit: a timer starts its reactor.
    h.Shared();
    boost::asio::steady_timer reactor(h.Io);
    std::optional<site::ReportResult> result;
    if (spare < 0) {
      result = h.Run(site::PortScan, AddressTarget(kLoopback, "127.0.0.1"));
      ASSERT_TRUE(result);
      EXPECT_EQ(result->State, Outcome::Done);
      continue;
    }
    {
      DescriptorLimit limit(spare);
      result = h.Run(site::PortScan, AddressTarget(kLoopback, "127.0.0.1"));
    }
    ASSERT_TRUE(result);
    if (spare == 0) {
      EXPECT_EQ(result->State, Outcome::Failed);
      EXPECT_EQ(result->Reason, "Ни один порт не проверен: открыто слишком много сокетов");
      EXPECT_EQ(RawStates(result->Raw), (std::map<std::string, std::string>{{Tcp(open.Port()), "ошибка"}, {Tcp(closed.Port()), "ошибка"}}));
    } else {
      EXPECT_EQ(result->State, Outcome::Done);
      EXPECT_EQ(result->Reason, "Часть портов не проверена: открыто слишком много сокетов");
      EXPECT_EQ(RawStates(result->Raw), (std::map<std::string, std::string>{{Tcp(open.Port()), "открыт"}, {Tcp(closed.Port()), "ошибка"}}));
    }
  }
}

TEST(PortScanTest, DeadlineEndsTheScanOnce) {
  LoopbackSocket full(0);
  full.FillQueue(3);
  NetHarness h;
  h.Opts.AllowPrivate = true;
  h.Opts.PortTimeout = std::chrono::seconds(20);
  h.Opts.ScanPorts = {full.Port()};
  int calls = 0;
  const auto result = h.Run(site::PortScan, AddressTarget(kLoopback, "127.0.0.1"), std::chrono::milliseconds(200), &calls);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->State, Outcome::TimedOut);
  EXPECT_EQ(result->Reason, "Проверено 0 из 1 портов");
  EXPECT_EQ(RawStates(result->Raw), (std::map<std::string, std::string>{{Tcp(full.Port()), "не"}}));
  EXPECT_LT(result->Elapsed, std::chrono::seconds(2));
  h.RunUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(calls, 1);
}

TEST(PortScanTest, LoopbackIsRefusedUnlessAllowed) {
  UnboundServer dns;
  std::string error;
  ASSERT_TRUE(dns.Start(&error)) << error;
  LoopbackSocket open(16);
  const struct {
    const char* Label;
    site::Target Target;
    bool AllowLan;
  } rows[] = {
      {"address", AddressTarget(kLoopback, "127.0.0.1"), false},
      {"address, local networks allowed", AddressTarget(kLoopback, "127.0.0.1"), true},
      {"name resolving to it", DomainTarget("loopback.example.test"), false},
      {"name resolving to it, local networks allowed", DomainTarget("loopback.example.test"), true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Label);
    NetHarness h;
    h.Opts.Resolver = dns.Address();
    h.Opts.AllowLan = row.AllowLan;
    h.Opts.ScanPorts = {open.Port()};
    const auto result = h.Run(site::PortScan, row.Target);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->State, Outcome::Failed);
    EXPECT_EQ(result->Reason, site::PrivateRefusal(boost::asio::ip::address_v4(kLoopback)));
    EXPECT_TRUE(result->Raw.empty());
  }
  for (const auto& target : {Ipv6Target("::1"), DomainTarget("loopback6.example.test")}) {
    SCOPED_TRACE(target.Input);
    NetHarness h;
    h.Opts.Resolver = dns.Address();
    h.Opts.AllowLan = true;
    h.Opts.ScanPorts = {open.Port()};
    const auto result = h.Run(site::PortScan, target);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->State, Outcome::Failed);
    EXPECT_EQ(result->Reason, site::PrivateRefusal(boost::asio::ip::make_address("::1")));
  }
  NetHarness allowed;
  allowed.Opts.Resolver = dns.Address();
  allowed.Opts.AllowPrivate = true;
  allowed.Opts.ScanPorts = {open.Port()};
  const auto result = allowed.Run(site::PortScan, DomainTarget("loopback.example.test"));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->State, Outcome::Done) << result->Reason;
  EXPECT_EQ(result->Note, "Адрес 127.0.0.1 (первая запись A домена)");
  EXPECT_EQ(result->Summary.Rows.size(), 1u);

  // Over IPv6: the address itself, and a domain that has no IPv4 address.
  const int listening6 = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in6 local6{};
  local6.sin6_family = AF_INET6;
  local6.sin6_addr = in6addr_loopback;
  socklen_t length6 = sizeof local6;
  ASSERT_EQ(bind(listening6, reinterpret_cast<sockaddr*>(&local6), sizeof local6), 0);
  ASSERT_EQ(listen(listening6, 16), 0);
  ASSERT_EQ(getsockname(listening6, reinterpret_cast<sockaddr*>(&local6), &length6), 0);
  allowed.Opts.ScanPorts = {ntohs(local6.sin6_port)};
  const struct {
    site::Target Target;
    const char* Note;
  } v6rows[] = {
      {Ipv6Target("::1"), "Адрес ::1"},
      {DomainTarget("loopback6.example.test"), "Адрес ::1 (первая запись AAAA домена: адреса IPv4 у него нет)"},
  };
  for (const auto& row : v6rows) {
    SCOPED_TRACE(row.Target.Input);
    const auto v6 = allowed.Run(site::PortScan, row.Target);
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->State, Outcome::Done) << v6->Reason;
    EXPECT_EQ(v6->Note, row.Note);
    EXPECT_EQ(v6->Summary.Rows.size(), 1u) << v6->Raw;
  }
  close(listening6);

  const auto missing = allowed.Run(site::PortScan, DomainTarget("nosuch.example.test"));
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->State, Outcome::Failed);
  EXPECT_EQ(missing->Reason, "Домен не существует (NXDOMAIN)");
}

TEST(ProbePolicyTest, WhichAddressesMayBeProbed) {
  const struct {
    const char* Address;
    bool Plain, Lan, Private;
  } rows[] = {
      {"203.0.114.1", true, true, true},      {"172.32.0.1", true, true, true},
      {"100.128.0.1", true, true, true},      {"10.1.2.3", false, true, true},
      {"172.16.0.1", false, true, true},      {"172.31.255.255", false, true, true},
      {"192.168.1.1", false, true, true},     {"100.64.0.1", false, true, true},
      {"100.127.255.255", false, true, true}, {"169.254.1.1", false, true, true},
      {"127.0.0.1", false, false, true},      {"127.255.255.254", false, false, true},
      {"0.0.0.0", false, false, true},        {"224.0.0.1", false, false, true},
      {"239.255.255.250", false, false, true}, {"240.0.0.1", false, false, true},
      {"255.255.255.255", false, false, true}, {"192.0.2.1", false, false, true},
      {"198.18.0.1", false, false, true},
      // IPv6: the global block, its special ranges, and the forms naming an IPv4 address.
      {"2001:4860:4860::8888", true, true, true}, {"2a00:1450::1", true, true, true},
      {"::1", false, false, true},              {"::", false, false, true},
      {"fe80::1", false, true, true},           {"fd12:3456::1", false, true, true},
      {"fec0::1", false, false, true},          {"ff02::1", false, false, true},
      {"2001:db8::1", false, false, true},      {"3fff::1", false, false, true},
      {"2001:2::1", false, false, true},        {"4000::1", false, false, true},
      {"::ffff:8.8.8.8", true, true, true},     {"::ffff:127.0.0.1", false, false, true},
      {"::ffff:10.0.0.1", false, true, true},   {"::ffff:0:127.0.0.1", false, false, true},
      {"64:ff9b::192.168.0.1", false, true, true}, {"64:ff9b::8.8.8.8", true, true, true},
      {"2002:808:808::1", true, true, true},    {"2002:7f00:1::1", false, false, true},
      {"2002:c0a8:101::1", false, false, true},
      // Teredo: server 65.54.227.120, client stored inverted (8.8.8.8, then 127.0.0.1).
      {"2001:0:4136:e378:8000:63bf:f7f7:f7f7", true, true, true},
      {"2001:0:4136:e378:8000:63bf:80ff:fffe", false, false, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Address);
    const auto address = boost::asio::ip::make_address(row.Address);
    site::Options options;
    EXPECT_EQ(site::MayProbe(address, options), row.Plain);
    options.AllowLan = true;
    EXPECT_EQ(site::MayProbe(address, options), row.Lan);
    options.AllowLan = false;
    options.AllowPrivate = true;
    EXPECT_EQ(site::MayProbe(address, options), row.Private);
  }
}

}  // namespace
