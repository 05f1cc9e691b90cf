#include "RedisServer.h"

#include "LoopbackPort.h"
#include "RunProgram.h"

#include <chrono>

bool RedisServer::Start() {
  if (FPort == 0) FPort = FreeLoopbackPort();
  const std::string config = "port " + std::to_string(FPort) + "\nbind 127.0.0.1\nsave \"\"\nappendonly no\ndaemonize no\n" +
                             "dir " + FDir.Path() + "\nlogfile \"\"\n";
  FDir.WriteFile("redis.conf", config);
  if (!FProcess.Start({"redis-server", FDir.File("redis.conf")}, FDir.File("redis.log"))) return false;
  return WaitUntilListening(FPort, std::chrono::seconds(10)) && FProcess.Running();
}

std::string RedisServer::Keys(const std::string& pattern) const {
  if (RunProgram({"redis-cli", "-p", std::to_string(FPort), "--scan", "--pattern", pattern}, FDir.File("keys.txt")) != 0) return {};
  return FDir.ReadFile("keys.txt");
}
