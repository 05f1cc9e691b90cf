#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <cctype>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool WaitFor(int fd, short events, Clock::time_point end) {
  pollfd p{fd, events, 0};
  return poll(&p, 1, MillisLeft(end)) == 1;
}

size_t AnnouncedLength(const std::string& head) {
  // Case-insensitive search for the Content-Length line of a request head.
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t at = lower.find("\r\ncontent-length: ");
  return at == std::string::npos ? 0 : std::stoul(lower.substr(at + 18));
}

}  // namespace

ScriptedServer::ScriptedServer(std::vector<Reply> script) {
  FListen = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(FListen, 16) != 0 ||
      getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(FListen);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  FPort = ntohs(a.sin_port);
  FThread = std::thread([this, s = std::move(script)]() mutable { Serve(std::move(s)); });
}

ScriptedServer::~ScriptedServer() {
  Join();
  close(FListen);
}

ScriptedServer::Reply ScriptedServer::Send(std::string bytes) {
  return [bytes = std::move(bytes)](int fd) { WriteAll(fd, bytes); };
}

bool ScriptedServer::WriteAll(int fd, const std::string& bytes) {
  const auto end = Clock::now() + Deadline;
  size_t at = 0;
  while (at < bytes.size()) {
    if (!WaitFor(fd, POLLOUT, end)) return false;
    const ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

std::string ScriptedServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

void ScriptedServer::Join() {
  if (FThread.joinable()) FThread.join();
}

std::vector<std::string> ScriptedServer::Requests() {
  std::lock_guard<std::mutex> lock(FMutex);
  return FRequests;
}

std::string ScriptedServer::ReadRequest(int fd) {
  const auto end = Clock::now() + Deadline;
  std::string request;
  size_t wanted = std::string::npos;
  char buf[65536];
  while (request.size() < wanted && WaitFor(fd, POLLIN, end)) {
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    request.append(buf, static_cast<size_t>(n));
    const size_t head = request.find("\r\n\r\n");
    if (wanted == std::string::npos && head != std::string::npos) {
      wanted = head + 4 + AnnouncedLength(request.substr(0, head + 2));
    }
  }
  return request;
}

void ScriptedServer::Serve(std::vector<Reply> script) {
  for (auto& reply : script) {
    const auto end = Clock::now() + Deadline;
    if (!WaitFor(FListen, POLLIN, end)) return;
    const int fd = accept(FListen, nullptr, nullptr);
    if (fd < 0) return;
    const std::string request = ReadRequest(fd);
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FRequests.push_back(request);
    }
    reply(fd);
    // Half-close and let the client close first, so no unread byte turns
    // the close into a reset that could destroy the reply.
    shutdown(fd, SHUT_WR);
    char sink[4096];
    const auto drainEnd = Clock::now() + Deadline;
    while (WaitFor(fd, POLLIN, drainEnd) && recv(fd, sink, sizeof sink, 0) > 0) {
    }
    close(fd);
  }
}
