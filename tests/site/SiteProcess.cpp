#include "SiteProcess.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

constexpr const char* kListening = "listening on 127.0.0.1:";

}  // namespace

SiteProcess::SiteProcess(const std::vector<std::string>& args) {
  std::vector<std::string> argv{TARNWELL_SITE_PROGRAM, "--listen", "127.0.0.1:0"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (auto& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, FDir.File("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, FDir.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (posix_spawn(&FPid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ) != 0) FPid = -1;
  posix_spawn_file_actions_destroy(&actions);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (FPid > 0 && std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(FPid, &status, WNOHANG) == FPid) {
      FExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      FPid = -1;
      return;
    }
    const std::string out = FDir.ReadFile("stdout");
    if (out.starts_with(kListening) && out.find('\n') != std::string::npos) {
      FPort = static_cast<std::uint16_t>(std::stoi(out.substr(std::string(kListening).size())));
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

SiteProcess::~SiteProcess() { Terminate(10); }

std::string SiteProcess::Log() const { return FDir.ReadFile("stderr"); }

int SiteProcess::Terminate(int seconds) {
  if (FPid <= 0) return FExitStatus;
  kill(FPid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  int result = -1;
  while (true) {
    if (waitpid(FPid, &status, WNOHANG) == FPid) {
      result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(FPid, SIGKILL);
      waitpid(FPid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  FPid = -1;
  return result;
}
