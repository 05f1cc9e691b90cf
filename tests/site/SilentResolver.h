#pragma once
// A UDP port on loopback that takes DNS queries and never answers them: a
// service pointed at it keeps its pages waiting.

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

class SilentResolver {
public:
  SilentResolver() {
    FFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
  }
  ~SilentResolver() { close(FFd); }
  SilentResolver(const SilentResolver&) = delete;
  SilentResolver& operator=(const SilentResolver&) = delete;

  std::string Address() const { return "127.0.0.1:" + std::to_string(FPort); }
  // True once a query for `name` has come within `milliseconds`: the page
  // that asks it has started. Every query that came before is taken, so
  // that another page's query does not stand for this one's.
  bool QueryArrives(const std::string& name, int milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{FFd, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) != 1) return false;
      unsigned char query[512];
      const ssize_t n = recv(FFd, query, sizeof query, 0);
      if (n > 0 && strcasecmp(QuestionName(query, static_cast<size_t>(n)).c_str(), name.c_str()) == 0) return true;
    }
  }

private:
  // The dotted name a query asks about; empty when the query is cut short.
  static std::string QuestionName(const unsigned char* query, size_t size) {
    std::string name;
    for (size_t at = 12; at < size && query[at] != 0; at += 1 + query[at]) {
      if (at + 1 + query[at] > size) return {};
      if (!name.empty()) name += '.';
      name.append(reinterpret_cast<const char*>(query) + at + 1, query[at]);
    }
    return name;
  }

  int FFd = -1;
  std::uint16_t FPort = 0;
};
