#pragma once
// A private redis-server for tests and benchmarks on a port of 127.0.0.1,
// keeping nothing on disk. It can be stopped and started again on the same
// port, as a Redis that went away and came back.
//
//   RedisServer redis;
//   ASSERT_TRUE(redis.Start());
//   ... --redis redis.Address() ...
//   redis.Stop();  ... redis.Start();   // same port, empty again

#include "ChildProcess.h"
#include "TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

class RedisServer {
public:
  RedisServer() = default;
  ~RedisServer() { Stop(); }

  // Returns once it accepts connections (at most 10 s); the first call picks
  // a free port. With a `password`, clients must AUTH with it (Cli() does not).
  bool Start(const std::string& password = {});
  void Stop() { FProcess.Stop(); }

  uint16_t Port() const { return FPort; }
  // "127.0.0.1:<port>", as the service's --redis takes it.
  std::string Address() const { return "127.0.0.1:" + std::to_string(FPort); }
  // The keys matching a glob pattern, one a line, as redis-cli lists them.
  std::string Keys(const std::string& pattern) const;
  // What redis-cli prints for `arguments` (a command, or its options); empty when it fails.
  std::string Cli(const std::vector<std::string>& arguments) const;
  std::string Log() const { return FDir.ReadFile("redis.log"); }

private:
  TempDir FDir;
  ChildProcess FProcess;
  uint16_t FPort = 0;
};
