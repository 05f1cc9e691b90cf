#pragma once
// A private squid for tests, on a free port of 127.0.0.1, serving clients
// from loopback only and caching nothing. Its configuration, logs and pid
// file live in a temporary folder; Start() returns once it accepts
// connections; the destructor kills it and removes the folder and the shared
// memory segments it leaves behind.
//
//   SquidServer proxy;
//   ASSERT_TRUE(proxy.Start());
//   client.Proxy = "127.0.0.1"; client.ProxyPort = proxy.Port();
//
// Origins must be named by IP literal or "localhost": squid asks no name
// server for them.

#include "ChildProcess.h"
#include "TempDir.h"

#include <cstdint>
#include <string>

class SquidServer {
public:
  SquidServer();
  ~SquidServer() { Stop(); }

  // On failure, `error` (when given) gets squid's log.
  bool Start(std::string* error = nullptr);
  void Stop();

  uint16_t Port() const { return FPort; }
  const TempDir& Dir() const { return FDir; }

private:
  TempDir FDir;
  ChildProcess FProcess;
  uint16_t FPort = 0;
  // squid's service name, also the prefix of its shared memory segments.
  std::string FName;
};
