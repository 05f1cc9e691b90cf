#include "TinyproxyServer.h"

#include "LoopbackPort.h"

#include <chrono>

bool TinyproxyServer::Start(const std::string& extraConfig, std::string* error) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    FPort = FreeLoopbackPort();
    FDir.WriteFile("tinyproxy.conf", "Port " + std::to_string(FPort) +
                                         "\n"
                                         "Listen 127.0.0.1\n"
                                         "Timeout 30\n"
                                         "MaxClients 20\n"
                                         "Allow 127.0.0.1\n"
                                         "LogLevel Info\n"
                                         "LogFile \"" + FDir.File("tinyproxy.log") + "\"\n"
                                         "PidFile \"" + FDir.File("tinyproxy.pid") + "\"\n" +
                                         extraConfig + "\n");
    if (!FProcess.Start({"tinyproxy", "-d", "-c", FDir.File("tinyproxy.conf")}, FDir.File("stderr.log"))) break;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (FProcess.Running() && std::chrono::steady_clock::now() < deadline) {
      if (WaitUntilListening(FPort, std::chrono::milliseconds(50))) return true;
    }
    FProcess.Stop();
  }
  if (error) *error = "tinyproxy did not start: " + FDir.ReadFile("stderr.log") + FDir.ReadFile("tinyproxy.log");
  return false;
}
