#include "sources/TraceProbe.h"

#include <algorithm>
#include <arpa/inet.h>
#include <boost/asio/ip/udp.hpp>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <linux/net_tstamp.h>
#include <netinet/in.h>
#include <netinet/icmp6.h>
#include <netinet/ip_icmp.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace site {

namespace {

namespace asio = boost::asio;
using Protocol = asio::generic::datagram_protocol;
using Nanoseconds = std::chrono::nanoseconds;

constexpr std::uint16_t kFirstUdpPort = 33434;
// Software stamps of sending and of arrival, the error queue's sending stamps
// without a copy of the datagram.
constexpr int kStampFlags = SOF_TIMESTAMPING_TX_SOFTWARE | SOF_TIMESTAMPING_RX_SOFTWARE | SOF_TIMESTAMPING_SOFTWARE |
                            SOF_TIMESTAMPING_OPT_TSONLY;

Protocol ProtocolOf(ProbeMethod method, bool v6) {
  if (v6) return method == ProbeMethod::Icmp ? Protocol(AF_INET6, IPPROTO_ICMPV6) : Protocol(AF_INET6, IPPROTO_UDP);
  return method == ProbeMethod::Icmp ? Protocol(AF_INET, IPPROTO_ICMP) : Protocol(AF_INET, IPPROTO_UDP);
}

// The address of a socket address of either family.
asio::ip::address AddressOf(const sockaddr_storage& from) {
  if (from.ss_family == AF_INET6) {
    asio::ip::address_v6::bytes_type bytes;
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(from).sin6_addr;
    std::copy(std::begin(in6.s6_addr), std::end(in6.s6_addr), bytes.begin());
    return asio::ip::address_v6(bytes);
  }
  return asio::ip::address_v4(ntohl(reinterpret_cast<const sockaddr_in&>(from).sin_addr.s_addr));
}

void Check(int result, const char* what) {
  if (result < 0) throw std::system_error(errno, std::generic_category(), what);
}

// The kernel stamps in CLOCK_REALTIME; so must the stand-in taken before sending.
Nanoseconds Now() { return std::chrono::system_clock::now().time_since_epoch(); }

// The software stamp of a message, if the kernel gave one.
std::optional<Nanoseconds> StampOf(const cmsghdr* c) {
  if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPING) return std::nullopt;
  const auto* stamps = reinterpret_cast<const scm_timestamping*>(CMSG_DATA(c));
  const timespec& software = stamps->ts[0];
  if (software.tv_sec == 0 && software.tv_nsec == 0) return std::nullopt;
  return std::chrono::seconds(software.tv_sec) + Nanoseconds(software.tv_nsec);
}

// One message and its control data, read without waiting.
struct Received {
  explicit Received(int flags) : Flags(flags | MSG_DONTWAIT) {
    Io = {Data, sizeof Data};
    Message.msg_name = &From;
    Message.msg_namelen = sizeof From;
    Message.msg_iov = &Io;
    Message.msg_iovlen = 1;
    Message.msg_control = Control;
    Message.msg_controllen = sizeof Control;
  }
  Received(const Received&) = delete;  // Message points into it
  Received& operator=(const Received&) = delete;
  bool Read(int fd) { return recvmsg(fd, &Message, Flags) >= 0; }

  int Flags;
  char Data[512];
  alignas(cmsghdr) char Control[512];
  sockaddr_storage From{};
  iovec Io{};
  msghdr Message{};
};

// The kernel stamps arriving packets only while some socket asks for it, and
// turns that on a moment after the first one asks. One socket keeps asking
// for the life of the process, and the first trace waits (a few milliseconds
// at most, once) until a datagram to itself on loopback comes back stamped.
void HoldArrivalStamps() {
  static const bool held = [] {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof self;
    const int flags = SOF_TIMESTAMPING_RX_SOFTWARE | SOF_TIMESTAMPING_SOFTWARE;
    if (setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPING, &flags, sizeof flags) < 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&self), sizeof self) < 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&self), &length) < 0 ||
        connect(fd, reinterpret_cast<const sockaddr*>(&self), sizeof self) < 0)
      return false;  // no loopback: the probes' stamps come when they come
    for (int attempt = 0; attempt < 50; ++attempt) {
      const char byte = 0;
      Received received(0);
      if (send(fd, &byte, 1, 0) < 0 || !received.Read(fd)) return false;
      for (cmsghdr* c = CMSG_FIRSTHDR(&received.Message); c; c = CMSG_NXTHDR(&received.Message, c))
        if (StampOf(c)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }();
  (void)held;
}

// The conventional marks of trace tools for ICMPv6 "destination unreachable" codes.
std::string UnreachableFlag6(std::uint8_t code) {
  switch (code) {
    case ICMP6_DST_UNREACH_NOROUTE: return "!N";
    case ICMP6_DST_UNREACH_ADMIN: return "!X";
    case ICMP6_DST_UNREACH_BEYONDSCOPE: return "!S";
    case ICMP6_DST_UNREACH_ADDR: return "!H";
    default: return "!<" + std::to_string(code) + ">";
  }
}

// The conventional marks of trace tools for ICMP "destination unreachable" codes.
std::string UnreachableFlag(std::uint8_t code) {
  switch (code) {
    case ICMP_NET_UNREACH: return "!N";
    case ICMP_HOST_UNREACH: return "!H";
    case ICMP_PROT_UNREACH: return "!P";
    case ICMP_FRAG_NEEDED: return "!F";
    case ICMP_SR_FAILED: return "!S";
    case ICMP_PKT_FILTERED: return "!X";
    default: return "!<" + std::to_string(code) + ">";
  }
}

// What an ICMPv6 error on the queue says of a probe to `target`.
ProbeReply ReplyOf6(const sock_extended_err& error, const asio::ip::address& target) {
  sockaddr_storage offender{};
  std::memcpy(&offender, SO_EE_OFFENDER(&error), sizeof(sockaddr_in6));
  ProbeReply reply;
  reply.From = AddressOf(offender);
  if (error.ee_type == ICMP6_TIME_EXCEEDED) {
    reply.End = ProbeEnd::Transit;
  } else if (error.ee_type == ICMP6_DST_UNREACH && error.ee_code == ICMP6_DST_UNREACH_NOPORT && reply.From == target) {
    reply.End = ProbeEnd::Reached;
  } else {
    reply.End = ProbeEnd::Unreachable;
    reply.Flag = error.ee_type == ICMP6_DST_UNREACH ? UnreachableFlag6(error.ee_code) : "!T" + std::to_string(error.ee_type);
  }
  return reply;
}

}  // namespace

ProbeMethod AvailableProbeMethod(const asio::ip::address& target) {
  HoldArrivalStamps();
  const int fd = target.is_v6() ? socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMPV6)
                                : socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) return ProbeMethod::Udp;
  close(fd);
  return ProbeMethod::Icmp;
}

TraceProbe::TraceProbe(asio::any_io_executor executor) : FSocket(executor) {}

void TraceProbe::Send(ProbeMethod method, const asio::ip::address& target, int ttl, std::uint16_t sequence, Done done) {
  FTarget = target;
  FDone = std::move(done);
  const bool v6 = target.is_v6();
  boost::system::error_code opened;
  FSocket.open(ProtocolOf(method, v6), opened);
  if (opened) throw std::system_error(opened.value(), std::generic_category(), "socket");
  const int fd = FSocket.native_handle();
  const int on = 1;
  const std::uint16_t port = method == ProbeMethod::Udp ? kFirstUdpPort + sequence : 0;
  if (v6) {
    Check(setsockopt(fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &ttl, sizeof ttl), "IPV6_UNICAST_HOPS");
    Check(setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on), "IPV6_RECVERR");
  } else {
    Check(setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl), "IP_TTL");
    Check(setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on), "IP_RECVERR");
  }
  Check(setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPING, &kStampFlags, sizeof kStampFlags), "SO_TIMESTAMPING");
  const asio::ip::udp::endpoint to(target, port);
  Check(connect(fd, to.data(), static_cast<socklen_t>(to.size())), "connect");
  // Waiting starts before sending: the reactor reports edges, and the answer
  // may come back before a later wait would be registered.
  Wait();
  FSent = Now();
  if (method == ProbeMethod::Icmp && v6) {
    icmp6_hdr echo{};
    echo.icmp6_type = ICMP6_ECHO_REQUEST;
    echo.icmp6_seq = htons(sequence);
    Check(static_cast<int>(send(fd, &echo, sizeof echo, 0)), "send");
  } else if (method == ProbeMethod::Icmp) {
    icmphdr echo{};
    echo.type = ICMP_ECHO;
    echo.un.echo.sequence = htons(sequence);
    Check(static_cast<int>(send(fd, &echo, sizeof echo, 0)), "send");
  } else {
    const char payload[32] = {};
    Check(static_cast<int>(send(fd, payload, sizeof payload, 0)), "send");
  }
}

void TraceProbe::Cancel() {
  FDone = nullptr;
  boost::system::error_code ignored;
  FSocket.close(ignored);
}

void TraceProbe::Wait() {
  FSocket.async_wait(Protocol::socket::wait_read, [self = shared_from_this()](boost::system::error_code error) {
    if (error || !self->FDone) return;
    // The next wait is registered before reading, so that nothing arriving
    // after the read goes unreported; an answer closes the socket, which ends it.
    self->Wait();
    self->Read();
  });
}

void TraceProbe::Read() {
  // The stamp of sending is queued before any answer can come, so the error
  // queue is read out first; each message takes an arrival from the network.
  while (FDone && ReadErrorQueue()) {
  }
  if (FDone) ReadAnswer();
}

bool TraceProbe::ReadErrorQueue() {
  Received received(MSG_ERRQUEUE);
  if (!received.Read(FSocket.native_handle())) return false;
  std::optional<Nanoseconds> stamp;
  const sock_extended_err* error = nullptr;
  for (cmsghdr* c = CMSG_FIRSTHDR(&received.Message); c; c = CMSG_NXTHDR(&received.Message, c)) {
    if (auto s = StampOf(c)) stamp = s;
    if ((c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) || (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR))
      error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
  }
  if (!error) return true;
  if (error->ee_origin == SO_EE_ORIGIN_TIMESTAMPING) {
    if (stamp) FSent = *stamp;
    return true;
  }
  // Anything else not from the path (the interface's MTU, say) is no answer.
  if (error->ee_origin == SO_EE_ORIGIN_ICMP6) {
    Answered(ReplyOf6(*error, FTarget), stamp);
    return true;
  }
  if (error->ee_origin != SO_EE_ORIGIN_ICMP) return true;
  sockaddr_storage offender{};
  std::memcpy(&offender, SO_EE_OFFENDER(error), sizeof(sockaddr_in));
  ProbeReply reply;
  reply.From = AddressOf(offender);
  if (error->ee_type == ICMP_TIME_EXCEEDED) {
    reply.End = ProbeEnd::Transit;
  } else if (error->ee_type == ICMP_DEST_UNREACH && error->ee_code == ICMP_PORT_UNREACH && reply.From == FTarget) {
    reply.End = ProbeEnd::Reached;
  } else {
    reply.End = ProbeEnd::Unreachable;
    reply.Flag = error->ee_type == ICMP_DEST_UNREACH ? UnreachableFlag(error->ee_code) : "!T" + std::to_string(error->ee_type);
  }
  Answered(std::move(reply), stamp);
  return true;
}

bool TraceProbe::ReadAnswer() {
  Received received(0);
  if (!received.Read(FSocket.native_handle())) return false;
  std::optional<Nanoseconds> stamp;
  for (cmsghdr* c = CMSG_FIRSTHDR(&received.Message); c; c = CMSG_NXTHDR(&received.Message, c))
    if (auto s = StampOf(c)) stamp = s;
  ProbeReply reply;
  reply.From = AddressOf(received.From);
  reply.End = ProbeEnd::Reached;
  Answered(std::move(reply), stamp);
  return true;
}

void TraceProbe::Answered(ProbeReply reply, std::optional<Nanoseconds> arrived) {
  const Nanoseconds trip = arrived.value_or(Now()) - FSent;
  reply.RoundTrip = std::chrono::duration_cast<std::chrono::microseconds>(std::max(trip, Nanoseconds(0)));
  auto done = std::move(FDone);
  FDone = nullptr;
  boost::system::error_code ignored;
  FSocket.close(ignored);
  done(reply);
}

}  // namespace site
