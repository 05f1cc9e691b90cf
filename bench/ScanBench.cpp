// Our port scan of the common service list against 127.0.0.1, side by side
// with nmap's connect scan of the same ports, in interleaved rounds.
// Prints scan_ms, nmap_ms (medians) and scan_vs_nmap_ratio.
#include "sources/AresResolver.h"
#include "reports/Reports.h"
#include "reports/ServicePorts.h"

#include <algorithm>
#include <arpa/inet.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 9;

// Some open ports among the closed ones, as on a real host; those already taken are left as they are.
std::vector<int> ListenOn(std::initializer_list<std::uint16_t> ports) {
  std::vector<int> sockets;
  for (std::uint16_t port : ports) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(s, 128) == 0)
      sockets.push_back(s);
    else
      close(s);
  }
  return sockets;
}

std::optional<double> OurScanMs(site::SharedState& shared) {
  boost::asio::io_context io;
  auto strand = boost::asio::make_strand(io);
  std::optional<site::ReportResult> result;
  const auto start = Clock::now();
  auto context = std::make_shared<site::ReportContext>(
      site::ReportContext{strand, shared, site::MakeResolver(strand, shared), start + std::chrono::seconds(20)});
  site::Target target{"127.0.0.1", "", 0x7f000001};
  boost::asio::post(strand, [&] { site::PortScan(context, target, [&](site::ReportResult r) { result = std::move(r); }); });
  io.run_for(std::chrono::seconds(30));
  const auto elapsed = Clock::now() - start;
  if (!result || result->State != site::Outcome::Done) return std::nullopt;
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

std::optional<double> NmapMs(const std::string& ports) {
  std::vector<std::string> argv = {"nmap", "-n", "-sT", "-p", ports, "127.0.0.1"};
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const auto start = Clock::now();
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, "nmap", &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return std::nullopt;
  int status = 0;
  waitpid(pid, &status, 0);
  const auto elapsed = Clock::now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  const std::vector<int> listeners = ListenOn({21, 80, 443, 3306, 8080});
  std::string ports;
  for (const site::ServicePort& entry : site::CommonServicePorts())
    ports += (ports.empty() ? "" : ",") + std::to_string(entry.Port);

  site::Options options;
  options.AllowPrivate = true;
  site::SharedState shared(options);
  std::vector<double> ours, nmap;
  for (int round = 0; round < kRounds; ++round) {
    // Alternate which goes first, so neither always runs on a warmer machine.
    for (int turn = 0; turn < 2; ++turn) {
      const bool oursNow = (round + turn) % 2 == 0;
      const auto ms = oursNow ? OurScanMs(shared) : NmapMs(ports);
      if (!ms) {
        std::fprintf(stderr, "%s failed\n", oursNow ? "our scan" : "nmap");
        return 1;
      }
      (oursNow ? ours : nmap).push_back(*ms);
    }
  }
  for (int s : listeners) close(s);
  const double scanMs = Median(ours), nmapMs = Median(nmap);
  std::printf("scan_ports: %zu\n", site::CommonServicePorts().size());
  std::printf("scan_ms: %.2f\n", scanMs);
  std::printf("nmap_ms: %.2f\n", nmapMs);
  std::printf("scan_vs_nmap_ratio: %.3f\n", scanMs / nmapMs);
  return 0;
}
