#pragma once
// A private tinyproxy for tests, on a free port of 127.0.0.1, accepting
// clients from 127.0.0.1 only. Its configuration and log live in a temporary
// folder; Start() returns once it accepts connections; the destructor stops
// it and removes the folder.
//
//   TinyproxyServer proxy;
//   ASSERT_TRUE(proxy.Start());
//   client.Proxy = "127.0.0.1"; client.ProxyPort = proxy.Port();

#include "ChildProcess.h"
#include "TempDir.h"

#include <cstdint>
#include <string>

class TinyproxyServer {
public:
  TinyproxyServer() = default;
  ~TinyproxyServer() { Stop(); }

  // `extraConfig` lines are appended to the configuration. On failure,
  // `error` (when given) gets tinyproxy's log.
  bool Start(const std::string& extraConfig = {}, std::string* error = nullptr);
  void Stop() { FProcess.Stop(); }

  uint16_t Port() const { return FPort; }
  const TempDir& Dir() const { return FDir; }

private:
  TempDir FDir;
  ChildProcess FProcess;
  uint16_t FPort = 0;
};
