#include "SquidServer.h"

#include "LoopbackPort.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace {

std::string Config(const TempDir& dir, uint16_t port) {
  const std::string d = dir.Path();
  return "http_port 127.0.0.1:" + std::to_string(port) +
         "\n"
         "visible_hostname localhost\n"
         "pid_filename " + d + "/squid.pid\n"
         "cache_log " + d + "/cache.log\n"
         "access_log stdio:" + d + "/access.log\n"
         "netdb_filename none\n"
         "pinger_enable off\n"
         // Names not in hosts_file would go to a name server: keep that on
         // loopback too, and short.
         "dns_nameservers 127.0.0.1\n"
         "hosts_file " + d + "/hosts\n"
         "dns_timeout 2 seconds\n"
         "shutdown_lifetime 0 seconds\n"
         "cache deny all\n"
         "http_access allow localhost\n"
         "http_access deny all\n";
}

// Started as root, squid runs as user proxy and must be able to write its
// folder; as anyone else it stays that user.
void HandFolderToSquidsUser(const std::string& folder) {
  if (geteuid() != 0) return;
  const passwd* proxy = getpwnam("proxy");
  if (!proxy) return;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    (void)chown(entry.path().c_str(), proxy->pw_uid, proxy->pw_gid);
  }
  (void)chown(folder.c_str(), proxy->pw_uid, proxy->pw_gid);
}

}  // namespace

SquidServer::SquidServer() {
  static std::atomic<int> instances{0};
  FName = "tw" + std::to_string(getpid()) + "x" + std::to_string(instances++);
}

bool SquidServer::Start(std::string* error) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    FPort = FreeLoopbackPort();
    FDir.WriteFile("squid.conf", Config(FDir, FPort));
    FDir.WriteFile("hosts", "127.0.0.1 localhost\n");
    HandFolderToSquidsUser(FDir.Path());
    if (!FProcess.Start({"squid", "-N", "-n", FName, "-f", FDir.File("squid.conf")}, FDir.File("stderr.log"))) break;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (FProcess.Running() && std::chrono::steady_clock::now() < deadline) {
      if (WaitUntilListening(FPort, std::chrono::milliseconds(50))) return true;
    }
    Stop();
  }
  if (error) *error = "squid did not start: " + FDir.ReadFile("stderr.log") + FDir.ReadFile("cache.log");
  return false;
}

void SquidServer::Stop() {
  // squid takes two seconds to stop on SIGTERM; killed, it leaves its shared
  // memory segments, which would stop a later squid of the same name.
  if (FProcess.Pid() > 0) kill(FProcess.Pid(), SIGKILL);
  FProcess.Stop();
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored)) {
    if (entry.path().filename().string().rfind(FName + "-", 0) == 0) std::filesystem::remove(entry.path(), ignored);
  }
}
