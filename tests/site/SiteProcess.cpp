#include "SiteProcess.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace {

constexpr const char* kListening = "listening on ";

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
    const auto end = out.find('\n');
    if (out.starts_with(kListening) && end != std::string::npos) {
      // The port follows the last colon: the address may be IPv6.
      FPort = static_cast<std::uint16_t>(std::stoi(out.substr(out.rfind(':', end) + 1)));
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
