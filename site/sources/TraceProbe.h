#pragma once
// One probe of a route trace, as Linux allows it without privileges: a
// datagram with a small TTL (hop limit), whose fate comes back on the
// socket's error queue (IP_RECVERR, IPV6_RECVERR), or as the destination's own answer. Its round trip is
// measured by the kernel's own timestamps of sending and arrival, so that a
// busy event loop, or the probes sent before it, add nothing to it.

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/generic/datagram_protocol.hpp>
#include <boost/asio/ip/address.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace site {

enum class ProbeMethod {
  Udp,   // to a high port: the destination answers "port unreachable"
  Icmp,  // echo requests on an ICMP (ICMPv6) datagram socket, where ping_group_range permits
};

// ICMP when this process may open ICMP datagram sockets of the address's family, else UDP.
ProbeMethod AvailableProbeMethod(const boost::asio::ip::address& target);

enum class ProbeEnd {
  Transit,      // time exceeded on the way
  Reached,      // the destination answered
  Unreachable,  // a router or the destination refused: `Flag` says how
};

struct ProbeReply {
  boost::asio::ip::address From;
  ProbeEnd End = ProbeEnd::Transit;
  std::string Flag;        // "!N", "!H", "!P", "!X", ... for Unreachable
  std::chrono::microseconds RoundTrip{0};
};

class TraceProbe : public std::enable_shared_from_this<TraceProbe> {
public:
  using Done = std::function<void(const ProbeReply&)>;

  explicit TraceProbe(boost::asio::any_io_executor executor);
  // Sends one datagram with `ttl` to `target`; `done` runs on an answer only.
  // Throws std::system_error (errno) when the socket cannot be made or the datagram not sent.
  void Send(ProbeMethod method, const boost::asio::ip::address& target, int ttl, std::uint16_t sequence, Done done);
  // Stops waiting; `done` is not called afterwards.
  void Cancel();

private:
  void Wait();
  void Read();
  bool ReadErrorQueue();
  bool ReadAnswer();
  void Answered(ProbeReply reply, std::optional<std::chrono::nanoseconds> arrived);

  boost::asio::generic::datagram_protocol::socket FSocket;
  // CLOCK_REALTIME, as the kernel's stamps: taken just before sending, and
  // replaced by the kernel's own time of sending when that comes.
  std::chrono::nanoseconds FSent{0};
  boost::asio::ip::address FTarget;
  Done FDone;
};

}  // namespace site
