#pragma once
// A two-hop (or three-hop) route in network namespaces of the test's own, so that nothing
// touches the host's network:
//   client 192.0.2.2 — 192.0.2.1 router 198.51.100.1 — 198.51.100.2 target
// or with a second router between the first and the target:
//   ... 192.0.2.1 router 198.18.0.1 — 198.18.0.2 router 198.51.100.1 — 198.51.100.2 target
// and the same in IPv6: 2001:db8:2::2 — 2001:db8:2::1 router 2001:db8:100::1 —
// 2001:db8:100::2 target (2001:db8:18::1 — 2001:db8:18::2 between two routers).
// The (first) router answers 203.0.113.1 and 2001:db8:113::1 with "unreachable"; 198.51.100.9
// is nobody, so probes past the router go unanswered for seconds.
// Needs root; Ready() is false otherwise. The destructor removes everything.
// Tests and benchmarks alike use it.

#include <functional>
#include <string>
#include <vector>

class NetnsRoute {
public:
  explicit NetnsRoute(bool secondRouter = false);
  ~NetnsRoute();
  NetnsRoute(const NetnsRoute&) = delete;
  NetnsRoute& operator=(const NetnsRoute&) = delete;

  bool Ready() const { return FReady; }
  // Lets unprivileged ICMP datagram sockets be made in the client namespace.
  bool AllowPing();
  // Runs `work` on a thread that has joined the client namespace; sockets it
  // makes, and programs it starts, live there. Whatever `work` throws is
  // thrown here; std::system_error when the namespace cannot be joined.
  void InClient(const std::function<void()>& work);

private:
  bool Ip(const std::string& command);
  std::string Client() const { return FPrefix + "c"; }
  std::string FPrefix;
  std::vector<std::string> FNamespaces;  // suffixes of the prefix
  bool FReady = false;
};
