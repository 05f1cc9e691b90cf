#include "UnboundServer.h"

#include "LoopbackPort.h"

#include <chrono>

namespace {

const char* const kZone[] = {
    R"(local-zone: "example.test." static)",
    R"(local-zone: "quiet.example.test." deny)",
    R"(local-data: "example.test. 3600 IN SOA ns1.example.test. hostmaster.example.test. 2024010101 3600 600 86400 300")",
    R"(local-data: "example.test. 3600 IN NS ns1.example.test.")",
    R"(local-data: "example.test. 3600 IN A 192.0.2.10")",
    R"(local-data: "example.test. 3600 IN AAAA 2001:db8::10")",
    R"(local-data: "example.test. 3600 IN MX 10 mail.example.test.")",
    R"(local-data: 'example.test. 3600 IN TXT "v=spf1 -all"')",
    R"(local-data: "www.example.test. 3600 IN CNAME example.test.")",
    R"(local-data: "loopback.example.test. 3600 IN A 127.0.0.1")",
    R"(local-data: "loopback6.example.test. 3600 IN AAAA ::1")",
    // dual.example.test: a name server on both families, a mail host on IPv6 only.
    R"(local-data: "dual.example.test. 3600 IN NS ns.dual.example.test.")",
    R"(local-data: "dual.example.test. 3600 IN MX 10 mx.dual.example.test.")",
    R"(local-data: "ns.dual.example.test. 3600 IN A 192.0.2.53")",
    R"(local-data: "ns.dual.example.test. 3600 IN AAAA 2001:db8::53")",
    R"(local-data: "mx.dual.example.test. 3600 IN AAAA 2001:db8::25")",
    // домен.example.test, its mail at почта.домен and its name server at сервер.
    R"(local-data: "xn--d1acufc.example.test. 3600 IN MX 10 xn--80a1acny.xn--d1acufc.example.test.")",
    R"(local-data: "xn--d1acufc.example.test. 3600 IN NS xn--b1afb6bcb.example.test.")",
    R"(local-data: "xn--d1acufc.example.test. 3600 IN SOA xn--b1afb6bcb.example.test. xn--80a1acny.xn--d1acufc.example.test. 1 3600 600 86400 300")",
    R"(local-data-ptr: "10.0.0.3 xn--b1afb6bcb.example.test")",
    R"(local-data-ptr: "10.0.0.1 host1.example.test")",
    R"(local-data-ptr: "127.0.0.2 loop2.example.test")",
    R"(local-data-ptr: "2001:db8::10 host6.example.test")",
    R"(local-data: '1.0.0.10.origin.asn.example.test. 3600 IN TXT "64500 | 10.0.0.0/8 | ZZ | test | 2020-01-01"')",
    R"(local-data: '1.0.0.127.origin.asn.example.test. 3600 IN TXT "64501 | 127.0.0.0/8 | ZZ | test | 2020-01-01"')",
    R"(local-data: 'AS64500.asn.example.test. 3600 IN TXT "64500 | ZZ | test | 2020-01-01 | TEST-NET-AS, ZZ"')",
};

std::string Config(uint16_t port, const std::vector<std::string>& lines) {
  std::string config =
      "server:\n"
      "  interface: 127.0.0.1\n"
      "  port: " + std::to_string(port) + "\n"
      "  username: \"\"\n"
      "  use-syslog: no\n"
      "  pidfile: \"\"\n"
      "  num-threads: 1\n"
      // Room for bursts: many pages ask all their questions at once, and the
      // default buffer drops some, which c-ares then retries a second later.
      "  so-rcvbuf: 4m\n"
      "  module-config: \"iterator\"\n"
      // Every other name is answered here (REFUSED): it never recurses, and
      // even if it tried, no address may be queried.
      "  local-zone: \".\" refuse\n"
      "  do-not-query-address: 0.0.0.0/0\n"
      "  do-not-query-address: ::/0\n";
  for (const char* line : kZone) config += std::string("  ") + line + "\n";
  for (const std::string& line : lines) config += "  " + line + "\n";
  return config + "remote-control:\n  control-enable: no\n";
}

}  // namespace

bool UnboundServer::Start(std::string* error) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    FPort = FreeLoopbackPort();
    FDir.WriteFile("unbound.conf", Config(FPort, FLines));
    if (!FProcess.Start({"unbound", "-d", "-c", FDir.File("unbound.conf")}, FDir.File("unbound.log"))) break;
    // unbound binds its UDP and TCP sockets before it serves either, so a TCP
    // connection means queries are answered.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (FProcess.Running() && std::chrono::steady_clock::now() < deadline) {
      if (WaitUntilListening(FPort, std::chrono::milliseconds(50))) return true;
    }
    FProcess.Stop();
  }
  if (error) *error = "unbound did not start: " + FDir.ReadFile("unbound.log");
  return false;
}

std::string UnboundServer::Address() const { return "127.0.0.1:" + std::to_string(FPort); }
