#include "SiteProcess.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace {

constexpr const char* kListening = "listening on 127.0.0.1:";

}  // namespace

SiteProcess::SiteProcess(const std::vector<std::string>& args, const std::vector<std::string>& launcher) {
  std::vector<std::string> argv = launcher;
  argv.push_back(TARNWELL_SITE_PROGRAM);
  if (std::find(args.begin(), args.end(), "--listen") == args.end()) argv.insert(argv.end(), {"--listen", "127.0.0.1:0"});
  argv.insert(argv.end(), args.begin(), args.end());
  if (!FChild.Start(argv, FDir.File("stderr"), FDir.File("stdout"))) return;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (FChild.Running() && std::chrono::steady_clock::now() < deadline) {
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

long SiteProcess::RssKiB() const {
  std::ifstream status("/proc/" + std::to_string(Pid()) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
  return -1;
}
