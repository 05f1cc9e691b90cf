#pragma once
// A private HAProxy for tests, in HTTP mode on a free port of 127.0.0.1,
// passing every request to one backend.
//
//   HaproxyServer haproxy;
//   ASSERT_TRUE(haproxy.Start("option forwardfor", "server site 127.0.0.1:8080"));
//   ... requests to 127.0.0.1:haproxy.Port() ...
//
// HAProxy runs in the foreground (-db) with its configuration and log in a
// temporary folder. Start() returns once it accepts connections, retrying on
// another port if one was taken meanwhile. The destructor stops it (SIGTERM)
// and removes the folder.

#include "ChildProcess.h"
#include "TempDir.h"

#include <cstdint>
#include <string>

class HaproxyServer {
public:
  HaproxyServer() = default;
  ~HaproxyServer() { Stop(); }

  // `defaults` are lines of the defaults section (beside HTTP mode and
  // time-outs), `backend` those of the one backend. On failure, `error`
  // (when given) gets HAProxy's log.
  bool Start(const std::string& defaults, const std::string& backend, std::string* error = nullptr);
  void Stop() { FProcess.Stop(); }

  uint16_t Port() const { return FPort; }

private:
  TempDir FDir;
  ChildProcess FProcess;
  uint16_t FPort = 0;
};
