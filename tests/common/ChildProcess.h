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

  // Starts argv[0] (looked up on PATH) with stderr going to logFile, and
  // stdout too unless `outFile` names a file of its own.
  bool Start(const std::vector<std::string>& argv, const std::string& logFile, const std::string& outFile = {});
  // True while the program has not exited.
  bool Running();
  // Sends SIGTERM, waits at most `seconds`, then kills. The exit status, or -1
  // when it had to be killed, did not exit normally or was never started.
  int Stop(int seconds = 10);
  pid_t Pid() const { return FPid; }

private:
  void Reaped(int status);
  pid_t FPid = -1;
  int FExitStatus = -1;  // once it has been reaped
};
