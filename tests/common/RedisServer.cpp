#include "RedisServer.h"

#include "LoopbackPort.h"
#include "RunProgram.h"

#include <chrono>
#include <filesystem>

bool RedisServer::Start(const std::string& password) {
  if (FPort == 0) FPort = FreeLoopbackPort();
  const std::string config = "port " + std::to_string(FPort) + "\nbind 127.0.0.1\nsave \"\"\nappendonly no\ndaemonize no\n" +
                             "dir " + FDir.Path() + "\nlogfile \"\"\n" + (password.empty() ? "" : "requirepass " + password + "\n");
  FDir.WriteFile("redis.conf", config);
  if (!FProcess.Start({"redis-server", FDir.File("redis.conf")}, FDir.File("redis.log"))) return false;
  return WaitUntilListening(FPort, std::chrono::seconds(10)) && FProcess.Running();
}

std::string RedisServer::Keys(const std::string& pattern) const { return Cli({"--scan", "--pattern", pattern}); }

std::string RedisServer::Cli(const std::vector<std::string>& arguments) const {
  std::vector<std::string> argv{"redis-cli", "-p", std::to_string(FPort)};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::filesystem::remove(FDir.File("cli.txt"));
  if (RunProgram(argv, FDir.File("cli.txt")) != 0) return {};
  return FDir.ReadFile("cli.txt");
}
