#pragma once
// A program started by a test, with its output in a log file; stopped with
// SIGTERM (then SIGKILL after a deadline) and reaped when the object goes away.

#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
public:
  ChildProcess() = default;
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (looked up on PATH) with stdout and stderr going to logFile.
  bool Start(const std::vector<std::string>& argv, const std::string& logFile);
  // True while the program has not exited.
  bool Running();
  void Stop();
  pid_t Pid() const { return FPid; }

private:
  pid_t FPid = -1;
};
