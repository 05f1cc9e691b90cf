#include "HaproxyServer.h"

#include "LoopbackPort.h"

#include <chrono>

namespace {

std::string Config(uint16_t port, const std::string& defaults, const std::string& backend) {
  return "global\n"
         "  maxconn 256\n"
         "defaults\n"
         "  mode http\n"
         "  timeout connect 5s\n"
         "  timeout client 30s\n"
         "  timeout server 30s\n"
         "  " + defaults + "\n"
         "frontend tests\n"
         "  bind 127.0.0.1:" + std::to_string(port) + "\n"
         "  default_backend tests\n"
         "backend tests\n"
         "  " + backend + "\n";
}

}  // namespace

bool HaproxyServer::Start(const std::string& defaults, const std::string& backend, std::string* error) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    FPort = FreeLoopbackPort();
    FDir.WriteFile("haproxy.cfg", Config(FPort, defaults, backend));
    if (!FProcess.Start({"haproxy", "-db", "-f", FDir.File("haproxy.cfg")}, FDir.File("haproxy.log"))) break;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (FProcess.Running() && std::chrono::steady_clock::now() < deadline) {
      if (WaitUntilListening(FPort, std::chrono::milliseconds(50))) return true;
    }
    FProcess.Stop();
  }
  if (error) *error = "haproxy did not start: " + FDir.ReadFile("haproxy.log");
  return false;
}
