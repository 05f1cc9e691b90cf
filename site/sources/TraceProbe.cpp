#include "sources/TraceProbe.h"

#include <arpa/inet.h>
#include <cerrno>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace site {

namespace {

namespace asio = boost::asio;
using Protocol = asio::generic::datagram_protocol;

constexpr std::uint16_t kFirstUdpPort = 33434;

Protocol ProtocolOf(ProbeMethod method) {
  return method == ProbeMethod::Icmp ? Protocol(AF_INET, IPPROTO_ICMP) : Protocol(AF_INET, IPPROTO_UDP);
}

void Check(int result, const char* what) {
  if (result < 0) throw std::system_error(errno, std::generic_category(), what);
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

}  // namespace

ProbeMethod AvailableProbeMethod() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) return ProbeMethod::Udp;
  close(fd);
  return ProbeMethod::Icmp;
}

TraceProbe::TraceProbe(asio::any_io_executor executor) : FSocket(executor) {}

void TraceProbe::Send(ProbeMethod method, std::uint32_t target, int ttl, std::uint16_t sequence, Done done) {
  FTarget = target;
  FDone = std::move(done);
  boost::system::error_code opened;
  FSocket.open(ProtocolOf(method), opened);
  if (opened) throw std::system_error(opened.value(), std::generic_category(), "socket");
  const int fd = FSocket.native_handle();
  const int on = 1;
  Check(setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl), "IP_TTL");
  Check(setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on), "IP_RECVERR");
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(target);
  to.sin_port = htons(method == ProbeMethod::Udp ? kFirstUdpPort + sequence : 0);
  Check(connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), "connect");
  // Waiting starts before sending: the reactor reports edges, and the answer
  // may come back before a later wait would be registered.
  Wait();
  FSent = std::chrono::steady_clock::now();
  if (method == ProbeMethod::Icmp) {
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
    if (self->ReadErrorQueue() || self->ReadAnswer()) return;
    self->Wait();
  });
}

bool TraceProbe::ReadErrorQueue() {
  char data[512];
  char control[512];
  sockaddr_in from{};
  iovec io{data, sizeof data};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  if (recvmsg(FSocket.native_handle(), &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return false;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
    const auto* error = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
    if (error->ee_origin != SO_EE_ORIGIN_ICMP) continue;
    const auto* offender = reinterpret_cast<const sockaddr_in*>(SO_EE_OFFENDER(error));
    ProbeReply reply;
    reply.From = ntohl(offender->sin_addr.s_addr);
    if (error->ee_type == ICMP_TIME_EXCEEDED) {
      reply.End = ProbeEnd::Transit;
    } else if (error->ee_type == ICMP_DEST_UNREACH && error->ee_code == ICMP_PORT_UNREACH && reply.From == FTarget) {
      reply.End = ProbeEnd::Reached;
    } else {
      reply.End = ProbeEnd::Unreachable;
      reply.Flag = error->ee_type == ICMP_DEST_UNREACH ? UnreachableFlag(error->ee_code) : "!T" + std::to_string(error->ee_type);
    }
    Answered(std::move(reply));
    return true;
  }
  // A local error (the interface's MTU, say): nothing came back from the path.
  return false;
}

bool TraceProbe::ReadAnswer() {
  char data[512];
  sockaddr_in from{};
  socklen_t length = sizeof from;
  if (recvfrom(FSocket.native_handle(), data, sizeof data, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length) < 0)
    return false;
  ProbeReply reply;
  reply.From = ntohl(from.sin_addr.s_addr);
  reply.End = ProbeEnd::Reached;
  Answered(std::move(reply));
  return true;
}

void TraceProbe::Answered(ProbeReply reply) {
  reply.RoundTrip = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - FSent);
  auto done = std::move(FDone);
  FDone = nullptr;
  boost::system::error_code ignored;
  FSocket.close(ignored);
  done(reply);
}

}  // namespace site
