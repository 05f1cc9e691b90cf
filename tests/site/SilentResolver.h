#pragma once
// A UDP port on loopback that takes DNS queries and never answers them: a
// service pointed at it keeps its pages waiting.

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <string>
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
  bool QueryArrives(int milliseconds) const {
    pollfd p{FFd, POLLIN, 0};
    return poll(&p, 1, milliseconds) == 1;
  }

private:
  int FFd = -1;
  std::uint16_t FPort = 0;
};
