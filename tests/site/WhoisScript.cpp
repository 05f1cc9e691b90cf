#include "WhoisScript.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kPollMs = 20;
constexpr auto kMaxReply = std::chrono::seconds(20);

bool Send(int fd, const std::string& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

std::string ReadQuery(int fd) {
  std::string query;
  char c;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (query.size() < 1024 && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kPollMs) != 1) continue;
    if (recv(fd, &c, 1, 0) != 1 || c == '\n') break;
    if (c != '\r') query += c;
  }
  return query;
}

}  // namespace

WhoisScript::WhoisScript(Reply reply, bool ipv6) : FIpv6(ipv6), FReply(std::move(reply)) {
  FListen = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_storage a{};
  if (ipv6) {
    auto& in6 = reinterpret_cast<sockaddr_in6&>(a);
    in6.sin6_family = AF_INET6;
    in6.sin6_addr = in6addr_loopback;
  } else {
    auto& in = reinterpret_cast<sockaddr_in&>(a);
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  socklen_t length = ipv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  if (bind(FListen, reinterpret_cast<sockaddr*>(&a), length) != 0 || listen(FListen, 16) != 0 ||
      getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    close(FListen);
    throw std::runtime_error(ipv6 ? "cannot listen on ::1" : "cannot listen on 127.0.0.1");
  }
  FPort = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6&>(a).sin6_port : reinterpret_cast<sockaddr_in&>(a).sin_port);
  FThread = std::thread([this] { Serve(); });
}

WhoisScript::~WhoisScript() {
  FStopping = true;
  FThread.join();
  close(FListen);
}

WhoisScript::Reply WhoisScript::Answer(std::string bytes) {
  return [bytes = std::move(bytes)](const std::string&, int fd, const std::atomic<bool>&) { Send(fd, bytes); };
}

WhoisScript::Reply WhoisScript::Stall() {
  return [](const std::string&, int fd, const std::atomic<bool>& stopping) {
    const auto end = std::chrono::steady_clock::now() + kMaxReply;
    char byte;
    while (!stopping && std::chrono::steady_clock::now() < end) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, kPollMs) == 1 && recv(fd, &byte, 1, 0) <= 0) return;  // the client gave up
    }
  };
}

WhoisScript::Reply WhoisScript::Endless() {
  return [](const std::string&, int fd, const std::atomic<bool>& stopping) {
    const std::string line(1023, 'x');
    const auto end = std::chrono::steady_clock::now() + kMaxReply;
    while (!stopping && std::chrono::steady_clock::now() < end && Send(fd, line + "\n")) {
    }
  };
}

std::vector<std::string> WhoisScript::Queries() {
  std::lock_guard lock(FMutex);
  return FQueries;
}

void WhoisScript::Serve() {
  while (!FStopping) {
    pollfd p{FListen, POLLIN, 0};
    if (poll(&p, 1, kPollMs) != 1) continue;
    const int fd = accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++FAccepted;
    // A client that stops reading must not hold a sending reply forever.
    const timeval sendLimit{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
    const std::string query = ReadQuery(fd);
    {
      std::lock_guard lock(FMutex);
      FQueries.push_back(query);
    }
    FReply(query, fd, FStopping);
    close(fd);
  }
}
