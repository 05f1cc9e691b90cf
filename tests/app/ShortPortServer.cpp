#include "ShortPortServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(30);

bool WaitFor(int fd, short events, Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  pollfd p{fd, events, 0};
  return left > 0 && poll(&p, 1, static_cast<int>(left)) == 1;
}

}  // namespace

ShortPortServer::ShortPortServer(std::vector<std::string> replies) {
  // Ports 2000 to 9999, from a random start, so that tests running side by
  // side seldom try the same ones.
  std::mt19937 random(std::random_device{}());
  const int start = static_cast<int>(random() % 8000);
  for (int i = 0; i < 8000 && FPort == 0; ++i) {
    const uint16_t port = static_cast<uint16_t>(2000 + (start + i) % 8000);
    FListen = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(FListen, 8) == 0) FPort = port;
    else close(FListen);
  }
  if (FPort == 0) throw std::runtime_error("no free port below 10000 on 127.0.0.1");
  FThread = std::thread([this, r = std::move(replies)]() mutable { Serve(std::move(r)); });
}

ShortPortServer::~ShortPortServer() {
  Join();
  close(FListen);
}

void ShortPortServer::Join() {
  if (FThread.joinable()) FThread.join();
}

std::vector<std::string> ShortPortServer::Requests() {
  std::lock_guard<std::mutex> lock(FMutex);
  return FRequests;
}

void ShortPortServer::Serve(std::vector<std::string> replies) {
  for (const std::string& reply : replies) {
    const auto end = Clock::now() + kDeadline;
    if (!WaitFor(FListen, POLLIN, end)) return;
    const int fd = accept(FListen, nullptr, nullptr);
    if (fd < 0) return;
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && WaitFor(fd, POLLIN, end)) {
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
    }
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FRequests.push_back(request);
    }
    for (size_t at = 0; at < reply.size() && WaitFor(fd, POLLOUT, end);) {
      const ssize_t n = send(fd, reply.data() + at, reply.size() - at, MSG_NOSIGNAL);
      if (n <= 0) break;
      at += static_cast<size_t>(n);
    }
    // The body ends where the connection does.
    shutdown(fd, SHUT_WR);
    while (WaitFor(fd, POLLIN, end) && recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    close(fd);
  }
}
