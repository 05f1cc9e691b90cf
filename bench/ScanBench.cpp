// Our port scan of the common service list beside nmap's connect scan of the
// same ports, on loopback in a network namespace of the bench's own, in two
// mixes. First a few ports open, a few dropped by an nftables rule, the rest
// closed: the scan phase is set beside nmap's own ("Completed Connect Scan ...
// elapsed"). Then the rule is gone and every port answers at once, where nmap's
// scan phase rounds to 0.00 s: our scan is set beside nmap's first connect to
// its exit (its --packet-trace stamps each connect from its start). nmap's
// whole process is printed apart. Interleaved rounds; both must find the same
// state for every port, or the bench fails.
// Needs root for the namespace; says so and measures nothing otherwise.
#include "RunProgram.h"
#include "TempDir.h"
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
#include <map>
#include <netinet/in.h>
#include <optional>
#include <regex>
#include <sched.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using States = std::map<std::uint16_t, std::string>;  // port -> "open", "closed", "filtered"
constexpr int kRounds = 9;
const std::vector<std::uint16_t> kOpen = {21, 80, 443, 3306, 8080};
const std::vector<std::uint16_t> kDropped = {81, 110, 135, 1433, 5900, 8888, 9100, 49152};
constexpr const char* kRuleTable = "scanbench";

struct Run {
  double ScanMs = 0;
  double ProcessMs = 0;       // nmap's only: its whole process
  double FirstConnectMs = 0;  // nmap's only: from its start to its first connect
  States Found;
};

std::vector<int> ListenOn(const std::vector<std::uint16_t>& ports) {
  std::vector<int> sockets;
  for (std::uint16_t port : ports) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 128) != 0)
      throw std::runtime_error("cannot listen on port " + std::to_string(port));
    sockets.push_back(s);
  }
  return sockets;
}

// The namespace, its loopback up, and the rule that drops SYNs to kDropped.
void OwnNetwork(const TempDir& dir) {
  if (unshare(CLONE_NEWNET) != 0) throw std::runtime_error("unshare: no network namespace of our own");
  if (RunProgram({"ip", "link", "set", "lo", "up"}) != 0) throw std::runtime_error("ip link set lo up failed");
  std::string ports;
  for (std::uint16_t port : kDropped) ports += (ports.empty() ? "" : ", ") + std::to_string(port);
  dir.WriteFile("rules.nft", "table inet " + std::string(kRuleTable) + " {\n  chain input {\n    type filter hook input priority 0;\n"
                             "    tcp dport { " + ports + " } drop\n  }\n}\n");
  if (RunProgram({"nft", "-f", dir.File("rules.nft")}, dir.File("nft.log")) != 0)
    throw std::runtime_error("nft failed: " + dir.ReadFile("nft.log"));
}

Run OurScan(site::SharedState& shared) {
  boost::asio::io_context io;
  auto strand = boost::asio::make_strand(io);
  std::optional<site::ReportResult> result;
  const auto start = Clock::now();
  auto context = std::make_shared<site::ReportContext>(
      site::ReportContext{strand, shared, site::MakeResolver(strand, shared), start + std::chrono::seconds(20)});
  site::Target target{"127.0.0.1", "", 0x7f000001, {}, {}};
  boost::asio::post(strand, [&, context] { site::PortScan(context, target, [&](site::ReportResult r) { result = std::move(r); }); });
  context.reset();
  io.run_for(std::chrono::seconds(30));
  Run run;
  run.ScanMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (!result || result->State != site::Outcome::Done) throw std::runtime_error("our scan did not finish");
  const std::map<std::string, std::string> words = {{"открыт", "open"}, {"закрыт", "closed"}, {"фильтруется", "filtered"}};
  std::istringstream lines(result->Raw);
  std::string port, state;
  while (lines >> port && port.find("/tcp") != std::string::npos && lines >> state) {
    run.Found[static_cast<std::uint16_t>(std::stoi(port))] = words.contains(state) ? words.at(state) : state;
    lines.ignore(1000, '\n');
  }
  return run;
}

Run Nmap(const TempDir& dir, const std::string& ports) {
  static int runs = 0;
  const std::string log = "nmap" + std::to_string(++runs);
  const auto start = Clock::now();
  const int status = RunProgram({"nmap", "-n", "-sT", "-Pn", "-v", "--packet-trace", "-p", ports, "127.0.0.1"}, dir.File(log));
  Run run;
  run.ProcessMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const std::string text = dir.ReadFile(log);
  if (status != 0) throw std::runtime_error("nmap failed:\n" + text);
  static const std::regex elapsed(R"(Completed Connect Scan at [0-9:]+, ([0-9.]+)s elapsed)");
  static const std::regex port(R"((?:^|\n)([0-9]+)/tcp +([a-z|]+))");
  static const std::regex notShown(R"(Not shown: ([0-9]+) ([a-z|]+) tcp ports[^,\n]*\n)");
  std::smatch m;
  if (!std::regex_search(text, m, elapsed)) throw std::runtime_error("nmap gave no scan time:\n" + text);
  run.ScanMs = std::stod(m[1]) * 1000;
  static const std::regex connect(R"(CONN \(([0-9.]+)s\) TCP)");
  if (!std::regex_search(text, m, connect)) throw std::runtime_error("nmap traced no connect:\n" + text);
  run.FirstConnectMs = std::stod(m[1]) * 1000;
  for (std::sregex_iterator i(text.begin(), text.end(), port), end; i != end; ++i)
    run.Found[static_cast<std::uint16_t>(std::stoi((*i)[1]))] = (*i)[2];
  // The ports nmap leaves out of its table are all in the one state it names.
  if (std::regex_search(text, m, notShown)) {
    std::size_t unlisted = 0;
    for (const site::ServicePort& entry : site::CommonServicePorts())
      if (run.Found.try_emplace(entry.Port, m[2]).second) ++unlisted;
    if (unlisted != std::stoul(m[1])) throw std::runtime_error("nmap's table does not add up:\n" + text);
  }
  return run;
}

struct Series {
  std::vector<double> Values;
  double Median() const { return Sorted()[Values.size() / 2]; }
  void Print(const char* name) const {
    const std::vector<double> v = Sorted();
    std::printf("%s: %.2f\n%s_min: %.2f\n%s_max: %.2f\n", name, Median(), name, v.front(), name, v.back());
  }

private:
  std::vector<double> Sorted() const {
    std::vector<double> v = Values;
    std::sort(v.begin(), v.end());
    return v;
  }
};

struct Mix {
  Series Ours, NmapScan, NmapProcess, NmapFromFirstConnect;
};

// Interleaved rounds of both scanners over `ports`, each run checked port by
// port against what the namespace holds.
Mix Compare(site::SharedState& shared, const TempDir& dir, const std::string& ports,
            const std::vector<std::uint16_t>& dropped) {
  Mix mix;
  for (int round = 0; round < kRounds; ++round) {
    // Alternate which goes first, so neither always runs on a warmer machine.
    for (int turn = 0; turn < 2; ++turn) {
      const bool oursNow = (round + turn) % 2 == 0;
      const Run run = oursNow ? OurScan(shared) : Nmap(dir, ports);
      const std::string who = oursNow ? "our scan" : "nmap";
      if (run.Found.size() != site::CommonServicePorts().size()) throw std::runtime_error(who + " did not report every port");
      for (const auto& [port, state] : run.Found) {
        const bool open = std::find(kOpen.begin(), kOpen.end(), port) != kOpen.end();
        const bool drop = std::find(dropped.begin(), dropped.end(), port) != dropped.end();
        const std::string expected = open ? "open" : drop ? "filtered" : "closed";
        if (state != expected)
          throw std::runtime_error(who + " found port " + std::to_string(port) + " " + state + ", not " + expected);
      }
      if (oursNow) {
        mix.Ours.Values.push_back(run.ScanMs);
      } else {
        mix.NmapScan.Values.push_back(run.ScanMs);
        mix.NmapProcess.Values.push_back(run.ProcessMs);
        mix.NmapFromFirstConnect.Values.push_back(run.ProcessMs - run.FirstConnectMs);
      }
    }
  }
  return mix;
}

}  // namespace

int main() {
  if (geteuid() != 0) {
    std::printf("scan_skipped: 1 (a network namespace of its own needs root)\n");
    return 0;
  }
  try {
    TempDir dir;
    OwnNetwork(dir);
    const std::vector<int> listeners = ListenOn(kOpen);
    std::string ports;
    for (const site::ServicePort& entry : site::CommonServicePorts())
      ports += (ports.empty() ? "" : ",") + std::to_string(entry.Port);

    site::Options options;
    options.AllowPrivate = true;
    site::SharedState shared(options);
    const Mix dropped = Compare(shared, dir, ports, kDropped);
    std::printf("scan_ports: %zu\nscan_open_ports: %zu\nscan_dropped_ports: %zu\n", site::CommonServicePorts().size(),
                kOpen.size(), kDropped.size());
    dropped.Ours.Print("scan_ms");
    dropped.NmapScan.Print("nmap_scan_ms");
    dropped.NmapProcess.Print("nmap_process_ms");
    std::printf("scan_vs_nmap_scan_ratio: %.3f\n", dropped.Ours.Median() / dropped.NmapScan.Median());

    if (RunProgram({"nft", "delete", "table", "inet", kRuleTable}) != 0) throw std::runtime_error("nft could not drop its rule");
    const Mix reachable = Compare(shared, dir, ports, {});
    reachable.Ours.Print("reachable_scan_ms");
    reachable.NmapFromFirstConnect.Print("reachable_nmap_first_connect_to_exit_ms");
    reachable.NmapProcess.Print("reachable_nmap_process_ms");
    std::printf("reachable_scan_vs_nmap_ratio: %.3f\n", reachable.Ours.Median() / reachable.NmapFromFirstConnect.Median());
    for (int s : listeners) close(s);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "scan_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}
