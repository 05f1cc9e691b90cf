#pragma once
// The real tarnwell-site, started on a port the system picks; its port is
// read from the line it prints once it listens.

#include "ChildProcess.h"
#include "TempDir.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

class SiteProcess {
public:
  // Starts the program with "--listen 127.0.0.1:0" (unless `args` name their
  // own) and `args`, through `launcher` (a program and its arguments, the
  // service's command line appended) when it is not empty; waits (at most
  // 10 s) for its listening line. Port() is 0 when it did not come.
  explicit SiteProcess(const std::vector<std::string>& args, const std::vector<std::string>& launcher = {});
  ~SiteProcess();
  SiteProcess(const SiteProcess&) = delete;
  SiteProcess& operator=(const SiteProcess&) = delete;

  std::uint16_t Port() const { return FPort; }
  pid_t Pid() const { return FChild.Pid(); }
  // Its resident memory now, in KiB; -1 when it cannot be read.
  long RssKiB() const;
  // What the program wrote to stderr so far: its log.
  std::string Log() const;
  // Sends SIGTERM and waits at most `seconds`; the exit status, or -1 when it
  // had to be killed or did not exit normally.
  int Terminate(int seconds) { return FChild.Stop(seconds); }

private:
  TempDir FDir;
  ChildProcess FChild;
  std::uint16_t FPort = 0;
};
