#include "SiteClient.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

int ConnectSite(std::uint16_t port, const char* source) {
  const bool v6 = source && std::string_view(source).find(':') != std::string_view::npos;
  const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  sockaddr_storage from{};
  sockaddr_storage to{};
  socklen_t length = 0;
  if (v6) {
    auto& f = reinterpret_cast<sockaddr_in6&>(from);
    auto& t = reinterpret_cast<sockaddr_in6&>(to);
    f.sin6_family = t.sin6_family = AF_INET6;
    t.sin6_port = htons(port);
    t.sin6_addr = in6addr_loopback;
    length = sizeof(sockaddr_in6);
    if (inet_pton(AF_INET6, source, &f.sin6_addr) != 1) length = 0;
  } else {
    auto& f = reinterpret_cast<sockaddr_in&>(from);
    auto& t = reinterpret_cast<sockaddr_in&>(to);
    f.sin_family = t.sin_family = AF_INET;
    t.sin_port = htons(port);
    t.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof(sockaddr_in);
    if (source && inet_pton(AF_INET, source, &f.sin_addr) != 1) length = 0;
  }
  const bool bound = length != 0 && (!source || bind(fd, reinterpret_cast<sockaddr*>(&from), length) == 0);
  if (!bound || connect(fd, reinterpret_cast<sockaddr*>(&to), length) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

SiteReply Exchange(int fd, const std::string& request) {
  SiteReply reply;
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) return reply;
  std::string received;
  char chunk[16384];
  std::size_t headEnd = std::string::npos;
  std::size_t length = std::string::npos;
  // Bounded by the 10 s time-out of every receive and a total of 16 MiB.
  while (received.size() < (16u << 20)) {
    if (headEnd != std::string::npos && length != std::string::npos && received.size() >= headEnd + 4 + length) break;
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    received.append(chunk, static_cast<std::size_t>(n));
    if (headEnd == std::string::npos && (headEnd = received.find("\r\n\r\n")) != std::string::npos) {
      const std::size_t at = received.find("Content-Length: ");
      if (at != std::string::npos && at < headEnd) length = std::stoul(received.substr(at + 16));
    }
  }
  if (headEnd == std::string::npos || received.compare(0, 5, "HTTP/") != 0) return reply;
  reply.Status = std::stoi(received.substr(9, 3));
  reply.Head = received.substr(0, headEnd);
  reply.Body = received.substr(headEnd + 4);
  return reply;
}

SiteReply GetSite(std::uint16_t port, const std::string& target, const char* source) {
  const int fd = ConnectSite(port, source);
  if (fd < 0) return {};
  SiteReply reply = Exchange(fd, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n");
  close(fd);
  return reply;
}

bool ClosedByPeer(int fd, int milliseconds) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, milliseconds) != 1) return false;
  char byte;
  // A close that met data still on its way is a reset rather than an end.
  const ssize_t n = recv(fd, &byte, 1, MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno == ECONNRESET);
}

std::map<std::string, double> MetricSamples(const std::string& text) {
  std::map<std::string, double> samples;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    const std::size_t space = line.rfind(' ');
    if (line.empty() || line[0] == '#' || space == std::string::npos) continue;
    samples[line.substr(0, space)] = std::stod(line.substr(space + 1));
  }
  return samples;
}

int ListenOnLoopback(std::uint16_t& port) {
  const int listening = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listening < 0 || bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listening, 8) != 0 ||
      getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return -1;
  port = ntohs(address.sin_port);
  return listening;
}
