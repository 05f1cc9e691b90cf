#include "PostgresServer.h"

#include "LoopbackPort.h"
#include "RunProgram.h"

#include <chrono>
#include <filesystem>
#include <thread>
#include <pwd.h>
#include <unistd.h>

namespace {

// Debian keeps the server's programs out of PATH, in a folder per major version: the newest.
std::string BinDir() {
  std::string best;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", error))
    if (std::filesystem::exists(entry.path() / "bin" / "postgres") && entry.path().string() > best) best = entry.path().string();
  return best + "/bin/";
}

}  // namespace

std::vector<std::string> PostgresServer::Command(const std::string& program, std::vector<std::string> args) const {
  std::vector<std::string> argv;
  if (geteuid() == 0) argv = {"runuser", "-u", "nobody", "--"};
  argv.push_back(BinDir() + program);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

bool PostgresServer::Start() {
  if (!FMade) {
    if (geteuid() == 0) {
      const passwd* nobody = getpwnam("nobody");
      if (!nobody || chown(FDir.Path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0) return false;
    }
    if (RunProgram(Command("initdb", {"-D", FDir.File("data"), "-U", "tarnwell", "--auth=trust", "--no-sync", "-E", "UTF8", "--locale=C"}),
                   FDir.File("initdb.log")) != 0)
      return false;
    FPort = FreeLoopbackPort();
    FMade = true;
  }
  if (!FProcess.Start(Command("postgres", {"-D", FDir.File("data"), "-p", std::to_string(FPort), "-c", "listen_addresses=127.0.0.1",
                                           "-c", "unix_socket_directories=" + FDir.Path(), "-c", "fsync=off"}),
                      FDir.File("postgres.log")))
    return false;
  if (!WaitUntilListening(FPort, std::chrono::seconds(30))) return false;
  // Listening comes before accepting: it says "starting up" until its recovery is done.
  for (int i = 0; i < 300 && FProcess.Running(); ++i) {
    if (RunProgram({BinDir() + "pg_isready", "-q", "-h", "127.0.0.1", "-p", std::to_string(FPort)}) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

void PostgresServer::Stop() {
  if (!FProcess.Running()) return;
  RunProgram(Command("pg_ctl", {"-D", FDir.File("data"), "-m", "fast", "-w", "-t", "10", "stop"}), "/dev/null");
  FProcess.Stop();
}

std::string PostgresServer::Log() const { return FDir.ReadFile("initdb.log") + FDir.ReadFile("postgres.log"); }
