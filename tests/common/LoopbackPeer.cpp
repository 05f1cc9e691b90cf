#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int DeadlineMs = 10000;

bool WaitFor(int fd, short events) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, DeadlineMs) == 1;
}

int ListenOnLoopback(uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("cannot listen on loopback");
  port = ntohs(a.sin_port);
  return fd;
}
}  // namespace

TLoopbackPeer::TLoopbackPeer(TScript script) {
  FListen = ListenOnLoopback(FPort);
  FThread = std::thread([this, script = std::move(script)] {
    if (!WaitFor(FListen, POLLIN)) return;
    FConn = ::accept(FListen, nullptr, nullptr);
    if (FConn >= 0) script(*this);
  });
}

TLoopbackPeer::~TLoopbackPeer() {
  Join();
  Close();
  ::close(FListen);
}

void TLoopbackPeer::Join() {
  if (FThread.joinable()) FThread.join();
}

bool TLoopbackPeer::Send(const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    if (!WaitFor(FConn, POLLOUT)) return false;
    const ssize_t n = ::send(FConn, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string TLoopbackPeer::Receive(size_t count) {
  std::string out;
  char buf[65536];
  while (out.size() < count && WaitFor(FConn, POLLIN)) {
    const ssize_t n = ::recv(FConn, buf, std::min(sizeof buf, count - out.size()), 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

std::string TLoopbackPeer::ReceiveAll() {
  std::string out;
  char buf[65536];
  while (WaitFor(FConn, POLLIN)) {
    const ssize_t n = ::recv(FConn, buf, sizeof buf, 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

std::string TLoopbackPeer::ReceiveUntil(const std::string& marker) {
  std::string out;
  char c;
  while (out.find(marker) == std::string::npos && WaitFor(FConn, POLLIN) && ::recv(FConn, &c, 1, 0) == 1) out += c;
  return out;
}

bool TLoopbackPeer::WaitForClose() {
  char c;
  while (WaitFor(FConn, POLLIN)) {
    const ssize_t n = ::recv(FConn, &c, 1, MSG_PEEK);
    if (n <= 0) return true;
    ::recv(FConn, &c, 1, 0);
  }
  return false;
}

void TLoopbackPeer::Reset() {
  const linger l{1, 0};
  ::setsockopt(FConn, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  Close();
}

void TLoopbackPeer::Close() {
  if (FConn >= 0) ::close(FConn);
  FConn = -1;
}

uint16_t ClosedPort() {
  uint16_t port = 0;
  const int fd = ListenOnLoopback(port);
  ::close(fd);
  return port;
}
