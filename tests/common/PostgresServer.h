#pragma once
// A private PostgreSQL cluster for tests, on a free port of 127.0.0.1: made by
// initdb in a folder of its own (as "nobody" when the test runs as root, which
// PostgreSQL refuses to be), trusting local connections, durable writes off.
//
//   PostgresServer pg;
//   ASSERT_TRUE(pg.Start()) << pg.Log();
//   ... --history pg.Url() ...
//   pg.Stop();  ... pg.Start();   // same port, same data

#include "ChildProcess.h"
#include "TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

class PostgresServer {
public:
  PostgresServer() = default;
  ~PostgresServer() { Stop(); }

  // Returns once it accepts connections (at most 30 s); the first call makes the cluster and picks the port.
  bool Start();
  // A fast shutdown: clients are cut off, as when a server goes down.
  void Stop();

  std::uint16_t Port() const { return FPort; }
  std::string Url() const { return "postgresql://tarnwell@127.0.0.1:" + std::to_string(FPort) + "/postgres"; }
  std::string Log() const;

private:
  // The program of PostgreSQL's own folder, run as the cluster's owner.
  std::vector<std::string> Command(const std::string& program, std::vector<std::string> args) const;

  TempDir FDir;
  ChildProcess FProcess;
  std::uint16_t FPort = 0;
  bool FMade = false;
};
