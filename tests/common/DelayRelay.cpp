#include "DelayRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 20;
// No relayed connection or datagram outlives this, whatever its peers do.
constexpr std::chrono::seconds kMaxLife{30};

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// A socket bound to a port of 127.0.0.1 the system picks; throws when it cannot be made.
int BoundSocket(int type, std::uint16_t& port) {
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      (type == SOCK_STREAM && listen(fd, 64) != 0) ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("cannot make a relay socket on 127.0.0.1");
  }
  port = ntohs(address.sin_port);
  return fd;
}

int ConnectTo(int type, std::uint16_t port) {
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(port);
  if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

// Sleeps `delay` in short steps, so that stopping is not held up; false when stopped.
bool Hold(std::chrono::milliseconds delay, const std::atomic<bool>& stopping) {
  const auto end = Clock::now() + delay;
  while (!stopping && Clock::now() < end)
    std::this_thread::sleep_for(std::min<Clock::duration>(end - Clock::now(), std::chrono::milliseconds(kPollMs)));
  return !stopping;
}

// Moves what `from` has to `to`; false when `from` ended or either failed.
bool Forward(int from, int to) {
  char buffer[16384];
  const ssize_t got = recv(from, buffer, sizeof buffer, 0);
  if (got <= 0) return false;
  for (ssize_t sent = 0; sent < got;) {
    const ssize_t n = send(to, buffer + sent, static_cast<std::size_t>(got - sent), MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += n;
  }
  return true;
}

}  // namespace

TcpDelayRelay::TcpDelayRelay(std::uint16_t serverPort, std::chrono::milliseconds delay)
    : FServerPort(serverPort), FDelay(delay), FListen(BoundSocket(SOCK_STREAM, FPort)) {
  FAcceptor = std::thread([this] { Accept(); });
}

TcpDelayRelay::~TcpDelayRelay() {
  FStopping = true;
  FAcceptor.join();
  for (auto& connection : FConnections) connection.join();
  close(FListen);
}

void TcpDelayRelay::Accept() {
  while (!FStopping) {
    pollfd p{FListen, POLLIN, 0};
    if (poll(&p, 1, kPollMs) != 1) continue;
    const int client = accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::lock_guard lock(FMutex);
    FConnections.emplace_back([this, client] { Pipe(client); });
  }
}

void TcpDelayRelay::Pipe(int client) {
  const auto end = Clock::now() + kMaxLife;
  const unsigned silenced = FSilenced;
  const int server = Hold(FDelay, FStopping) ? ConnectTo(SOCK_STREAM, FServerPort) : -1;
  while (server >= 0 && !FStopping && Clock::now() < end) {
    if (FSilenced != silenced) {
      Hold(std::chrono::milliseconds(kPollMs), FStopping);
      continue;
    }
    pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    if (poll(p, 2, kPollMs) <= 0) continue;
    if ((p[0].revents & (POLLIN | POLLHUP | POLLERR)) && !Forward(client, server)) break;
    if ((p[1].revents & (POLLIN | POLLHUP | POLLERR)) && !Forward(server, client)) break;
  }
  if (server >= 0) close(server);
  close(client);
}

UdpDelayRelay::UdpDelayRelay(std::uint16_t serverPort, std::chrono::milliseconds delay)
    : FServerPort(serverPort), FDelay(delay), FSocket(BoundSocket(SOCK_DGRAM, FPort)) {
  FThread = std::thread([this] { Serve(); });
}

UdpDelayRelay::~UdpDelayRelay() {
  FStopping = true;
  FThread.join();
  close(FSocket);
}

void UdpDelayRelay::Serve() {
  // One datagram on its way: held until Due, then sent from its own socket,
  // whose answer goes back to From.
  struct Held {
    Clock::time_point Due;
    std::string Data;
    sockaddr_in From;
    int Server = -1;
    bool Answered = false;
  };
  std::vector<Held> held;
  while (!FStopping) {
    const auto now = Clock::now();
    for (auto& h : held) {
      if (h.Server >= 0 || h.Answered || h.Due > now) continue;
      h.Server = ConnectTo(SOCK_DGRAM, FServerPort);
      if (h.Server >= 0) send(h.Server, h.Data.data(), h.Data.size(), 0);
    }
    std::erase_if(held, [&](const Held& h) {
      const bool ended = h.Answered || now - h.Due > kMaxLife;
      if (ended && h.Server >= 0) close(h.Server);
      return ended;
    });
    std::vector<pollfd> p{{FSocket, POLLIN, 0}};
    for (const auto& h : held) p.push_back({h.Server, static_cast<short>(h.Server >= 0 ? POLLIN : 0), 0});
    // Wake for the next datagram due, at the latest after a poll step.
    int wait = kPollMs;
    for (const auto& h : held)
      if (h.Server < 0 && !h.Answered)
        wait = std::clamp(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(h.Due - now).count()), 0, wait);
    if (poll(p.data(), p.size(), wait) <= 0) continue;
    char buffer[65536];
    if (p[0].revents & POLLIN) {
      Held h{Clock::now() + FDelay, {}, {}, -1, false};
      socklen_t length = sizeof h.From;
      const ssize_t got = recvfrom(FSocket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&h.From), &length);
      if (got > 0) {
        h.Data.assign(buffer, static_cast<std::size_t>(got));
        held.push_back(std::move(h));
      }
    }
    for (std::size_t i = 1; i < p.size(); ++i) {
      if (!(p[i].revents & POLLIN)) continue;
      Held& h = held[i - 1];
      const ssize_t got = recv(h.Server, buffer, sizeof buffer, 0);
      if (got > 0) sendto(FSocket, buffer, static_cast<std::size_t>(got), 0, reinterpret_cast<const sockaddr*>(&h.From), sizeof h.From);
      h.Answered = true;
    }
  }
  for (const auto& h : held)
    if (h.Server >= 0) close(h.Server);
}
