#pragma once
// A Redis of our own for replies no real one sends, on a port of 127.0.0.1
// the system picks: on each connection in turn it answers PING, then the
// next command with a reply's Head followed by its Filler again and again,
// up to 16 MiB or until the client closes the connection. Every wait is
// bounded (20 s for a client, 5 s for a send).

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

class ScriptedRedis {
public:
  struct Reply {
    std::string Head, Filler;
    std::size_t Sent = 0;      // bytes of Filler that went out
    bool ClosedByPeer = false;  // the instance closed before all 16 MiB went
  };

  explicit ScriptedRedis(std::vector<Reply> replies) : FReplies(std::move(replies)) {
    FListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(FListen, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(FListen, 8);
    getsockname(FListen, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this] { Serve(); });
  }
  ~ScriptedRedis() {
    FThread.join();
    close(FListen);
  }

  std::string Address() const { return "127.0.0.1:" + std::to_string(FPort); }
  bool Done() const { return FDone; }
  // Once Done().
  const std::vector<Reply>& Replies() const { return FReplies; }

private:
  // Waits (at most 20 s) for something to read and reads it; false when the peer closed or nothing came.
  static bool Receive(int fd) {
    pollfd p{fd, POLLIN, 0};
    char buffer[4096];
    return poll(&p, 1, 20000) == 1 && recv(fd, buffer, sizeof buffer, 0) > 0;
  }

  void Serve() {
    for (Reply& reply : FReplies) {
      pollfd p{FListen, POLLIN, 0};
      if (poll(&p, 1, 20000) != 1) break;
      const int fd = accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
      const std::string pong = "+PONG\r\n";
      if (fd >= 0 && Receive(fd) && send(fd, pong.data(), pong.size(), MSG_NOSIGNAL) > 0 && Receive(fd) &&
          send(fd, reply.Head.data(), reply.Head.size(), MSG_NOSIGNAL) > 0) {
        std::string block;
        while (block.size() < (64u << 10)) block += reply.Filler;
        timeval timeout{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        while (reply.Sent < (16u << 20)) {
          const ssize_t n = send(fd, block.data(), block.size(), MSG_NOSIGNAL);
          if (n <= 0) {
            reply.ClosedByPeer = errno == EPIPE || errno == ECONNRESET;
            break;
          }
          reply.Sent += static_cast<std::size_t>(n);
        }
      }
      if (fd >= 0) close(fd);
    }
    FDone = true;
  }

  std::vector<Reply> FReplies;
  int FListen = -1;
  std::uint16_t FPort = 0;
  std::atomic<bool> FDone{false};
  std::thread FThread;
};
