#pragma once
// A plain blocking HTTP client on loopback for the service's tests, so that
// they control every byte and every connection.

#include <cstdint>
#include <map>
#include <string>

struct SiteReply {
  int Status = 0;  // 0: no reply (closed, refused or timed out)
  std::string Head;
  std::string Body;
};

// A connected socket to 127.0.0.1:port with 10 s receive and send time-outs,
// from the loopback address `source` (a client of its own) when given; to
// [::1]:port when `source` is an IPv6 address. -1 on failure.
int ConnectSite(std::uint16_t port, const char* source = nullptr);
// Sends `request` and reads one reply: its head, then Content-Length bytes.
SiteReply Exchange(int fd, const std::string& request);
// One HTTP/1.0 GET on its own connection, from `source` when given.
SiteReply GetSite(std::uint16_t port, const std::string& target, const char* source = nullptr);
// True when the peer closes or resets the connection within `milliseconds` without sending anything.
bool ClosedByPeer(int fd, int milliseconds);
// A port open for the scan to find: a listening socket on a loopback port the
// system picks, whose number goes to `port`; -1 when none could be made.
int ListenOnLoopback(std::uint16_t& port);
// The samples of a /metrics scrape, by name and labels as written ("name{a=\"b\"}").
std::map<std::string, double> MetricSamples(const std::string& text);
