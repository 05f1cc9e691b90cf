#pragma once
// A loopback HTTP server for the window's lookups. The window's proxy port
// field takes at most four characters, so this server listens on a port below
// 10000, unlike the kernel's choice for port 0. It answers one connection after
// another with the next reply of its script and records each request head.
// Every wait has a deadline.

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ShortPortServer {
public:
  // Each reply is sent as it is, then the connection is closed.
  explicit ShortPortServer(std::vector<std::string> replies);
  ~ShortPortServer();

  uint16_t Port() const { return FPort; }
  // Waits until every reply has gone out, or the deadline has passed.
  void Join();
  std::vector<std::string> Requests();

private:
  void Serve(std::vector<std::string> replies);

  int FListen = -1;
  uint16_t FPort = 0;
  std::mutex FMutex;
  std::vector<std::string> FRequests;
  std::thread FThread;
};
