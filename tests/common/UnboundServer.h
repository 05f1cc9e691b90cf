#pragma once
// A private unbound for tests and benchmarks, on a free port of 127.0.0.1,
// answering only from its own local data: every other name is REFUSED and it
// never sends a query anywhere.
//
// The zone example.test is always there (SOA, NS, A, AAAA, MX, TXT, CNAME at
// www, loopback.example.test at 127.0.0.1, loopback6.example.test at ::1 only,
// PTR for 10.0.0.1, 127.0.0.2 and 2001:db8::10, dual.example.test whose name
// server and mail host have IPv6 addresses, an origin-AS TXT for 10.0.0.1 and 127.0.0.1 under origin.asn.example.test and an
// AS name under asn.example.test); queries for quiet.example.test are dropped
// unanswered. Names elsewhere (say elsewhere.example) are REFUSED. Tests add their own lines before Start():
//
//   UnboundServer dns;
//   dns.AddLine("local-data: \"extra.example.test. 60 IN A 192.0.2.99\"");
//   ASSERT_TRUE(dns.Start());
//   ... resolver at dns.Address() ...
//
// Start() returns once unbound answers on its port; the destructor stops it
// (SIGTERM) and removes its folder.

#include "ChildProcess.h"
#include "TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

class UnboundServer {
public:
  UnboundServer() = default;
  ~UnboundServer() { Stop(); }

  // One line of unbound's server: clause, e.g. local-data: "..." or local-zone: "..." redirect.
  void AddLine(const std::string& line) { FLines.push_back(line); }
  // On failure, `error` (when given) gets unbound's log.
  bool Start(std::string* error = nullptr);
  void Stop() { FProcess.Stop(); }
  bool Running() { return FProcess.Running(); }

  uint16_t Port() const { return FPort; }
  // "127.0.0.1:<port>", as the service's resolver option takes it.
  std::string Address() const;
  // unbound's own log (stderr with -d).
  std::string Log() const { return FDir.ReadFile("unbound.log"); }

private:
  TempDir FDir;
  ChildProcess FProcess;
  std::vector<std::string> FLines;
  uint16_t FPort = 0;
};
