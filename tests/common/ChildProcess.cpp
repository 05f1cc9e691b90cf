#include "ChildProcess.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& logFile, const std::string& outFile) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (outFile.empty()) posix_spawn_file_actions_adddup2(&actions, 2, 1);
  else posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  FExitStatus = -1;
  const int rc = posix_spawnp(&FPid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) FPid = -1;
  return rc == 0;
}

void ChildProcess::Reaped(int status) {
  FExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  FPid = -1;
}

bool ChildProcess::Running() {
  if (FPid <= 0) return false;
  int status = 0;
  if (waitpid(FPid, &status, WNOHANG) == FPid) {
    Reaped(status);
    return false;
  }
  return true;
}

int ChildProcess::Stop(int seconds) {
  if (FPid <= 0) return FExitStatus;
  kill(FPid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  pid_t reaped = 0;
  while ((reaped = waitpid(FPid, &status, WNOHANG)) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(FPid, SIGKILL);
      waitpid(FPid, &status, 0);
      FPid = -1;
      FExitStatus = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (reaped == FPid) Reaped(status);
  else FPid = -1;
  return FExitStatus;
}
