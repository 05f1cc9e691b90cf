// Route-trace times over the routed namespaces of the tests, with both routers
// (client 192.0.2.2 — 192.0.2.1 — 198.18.0.2 — target 198.51.100.2, and the same
// path in IPv6 to 2001:db8:100::2): per hop, our trace's median round trip, over
// UDP and over ICMP (ICMPv6), beside ping's to that hop's address and
// tracepath's on the same path, all in the same rounds; and the trace's whole
// time, the hops' names included. The kernel here has no
// netem, so the path's own delay is all there is to measure.
// Needs root for the namespaces; says so and measures nothing otherwise.
#include "NetnsRoute.h"
#include "RunProgram.h"
#include "TempDir.h"
#include "UnboundServer.h"
#include "sources/AresResolver.h"
#include "reports/Reports.h"

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 7;          // per probe method
constexpr int kPingsPerRound = 10;

// A path's hops, and the prefix of its figures' names.
struct Path {
  std::string Name;
  std::vector<std::string> Hops;
};
const Path kPaths[] = {
    {"", {"192.0.2.1", "198.18.0.2", "198.51.100.2"}},
    {"ipv6_", {"2001:db8:2::1", "2001:db8:18::2", "2001:db8:100::2"}},
};

struct Samples {
  std::map<std::string, std::vector<double>> Hops;  // by hop address, milliseconds
  std::vector<double> Totals;
};

double Quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

// One trace as a page runs it; its times go to `samples`, keyed by hop.
void OurTrace(site::SharedState& shared, const std::vector<std::string>& hops, Samples& samples) {
  boost::asio::io_context io;
  auto strand = boost::asio::make_strand(io);
  std::optional<site::ReportResult> result;
  const auto start = Clock::now();
  auto context = std::make_shared<site::ReportContext>(
      site::ReportContext{strand, shared, site::MakeResolver(strand, shared), start + std::chrono::seconds(10)});
  const auto address = boost::asio::ip::make_address(hops.back());
  site::Target target{hops.back(), "", {}, {}, {}};
  if (address.is_v4()) target.Ipv4 = address.to_v4().to_uint();
  else target.Ipv6 = address.to_v6();
  boost::asio::post(strand, [&, context] { site::RouteTrace(context, target, [&](site::ReportResult r) { result = std::move(r); }); });
  context.reset();
  io.run_for(std::chrono::seconds(12));
  const double total = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (!result || result->State != site::Outcome::Done || result->Summary.Rows.size() != hops.size())
    throw std::runtime_error("our trace went wrong:\n" + (result ? result->Reason + "\n" + result->Raw : std::string("no result")));
  for (std::size_t hop = 0; hop < hops.size(); ++hop) {
    const auto& row = result->Summary.Rows[hop];
    if (row[1] != hops[hop]) throw std::runtime_error("our trace found another route:\n" + result->Raw);
    std::istringstream times(row[4]);
    for (std::string word; times >> word;)
      if (word != "*") samples.Hops[hops[hop]].push_back(std::stod(word));
  }
  samples.Totals.push_back(total);
}

// A program's output, run from this thread (and so in its namespace).
std::string Output(const TempDir& dir, const std::vector<std::string>& argv) {
  static int runs = 0;
  const std::string file = dir.File("run" + std::to_string(++runs));
  if (RunProgram(argv, file) != 0) throw std::runtime_error(argv[0] + " failed:\n" + dir.ReadFile("run" + std::to_string(runs)));
  return dir.ReadFile("run" + std::to_string(runs));
}

void Ping(const TempDir& dir, const std::vector<std::string>& hops, Samples& samples) {
  static const std::regex time(R"(time=([0-9.]+) ms)");
  for (const std::string& hop : hops) {
    const std::string text = Output(dir, {"ping", "-n", "-c", std::to_string(kPingsPerRound), "-i", "0.01", "-W", "1", hop});
    for (std::sregex_iterator m(text.begin(), text.end(), time), end; m != end; ++m)
      samples.Hops[hop].push_back(std::stod((*m)[1]));
  }
}

void Tracepath(const TempDir& dir, const std::vector<std::string>& hops, Samples& samples) {
  static const std::regex line(R"((?:^|\n) *[0-9]+: +([0-9a-f.:]+) +([0-9.]+)ms)");
  const std::string text = Output(dir, {"tracepath", "-n", hops.back()});
  for (std::sregex_iterator m(text.begin(), text.end(), line), end; m != end; ++m)
    samples.Hops[(*m)[1]].push_back(std::stod((*m)[2]));
}

void Print(const std::string& name, const std::vector<double>& values) {
  if (values.empty()) throw std::runtime_error("no samples for " + name);
  std::printf("%s_ms: %.3f\n%s_ms_q10: %.3f\n%s_ms_q90: %.3f\n", name.c_str(), Quantile(values, 0.5), name.c_str(),
              Quantile(values, 0.1), name.c_str(), Quantile(values, 0.9));
}

}  // namespace

int main() {
  if (geteuid() != 0) {
    std::printf("trace_skipped: 1 (the network namespaces need root)\n");
    return 0;
  }
  try {
    NetnsRoute route(true);
    if (!route.Ready()) throw std::runtime_error("the network namespaces could not be made");
    TempDir dir;
    site::Options options;
    options.AllowPrivate = true;
    options.AsZone = "origin.asn.example.test";
    options.AsNameZone = "asn.example.test";
    std::map<std::string, Samples> udp, icmp, ping, tracepath;  // by path
    route.InClient([&] {
      UnboundServer dns;
      dns.AddLine(R"(local-data-ptr: "192.0.2.1 router.example.test")");
      dns.AddLine(R"(local-data-ptr: "198.18.0.2 router2.example.test")");
      dns.AddLine(R"(local-data-ptr: "198.51.100.2 target.example.test")");
      dns.AddLine(R"(local-data: '2.100.51.198.origin.asn.example.test. 3600 IN TXT "64501 | 198.51.100.0/24 | ZZ | test | 2020-01-01"')");
      dns.AddLine(R"(local-data: 'AS64501.asn.example.test. 3600 IN TXT "64501 | ZZ | test | 2020-01-01 | TARGET-AS"')");
      dns.AddLine(R"(local-data-ptr: "2001:db8:2::1 router.example.test")");
      dns.AddLine(R"(local-data-ptr: "2001:db8:18::2 router2.example.test")");
      dns.AddLine(R"(local-data-ptr: "2001:db8:100::2 target.example.test")");
      std::string error;
      if (!dns.Start(&error)) throw std::runtime_error("unbound: " + error);
      options.Resolver = dns.Address();
      for (auto* ours : {&udp, &icmp}) {
        // ICMP once the namespace lets this process make ICMP datagram sockets.
        if (ours == &icmp && !route.AllowPing()) throw std::runtime_error("ping_group_range could not be set");
        for (int round = 0; round < kRounds; ++round) {
          for (const Path& path : kPaths) {
            // A fresh shared state per trace, so that no hop's name comes from a cache.
            site::SharedState shared(options);
            OurTrace(shared, path.Hops, (*ours)[path.Name]);
            Ping(dir, path.Hops, ping[path.Name]);
            Tracepath(dir, path.Hops, tracepath[path.Name]);
          }
        }
      }
    });
    for (const Path& path : kPaths) {
      const std::vector<std::string>& hops = path.Hops;
      for (std::size_t hop = 0; hop < hops.size(); ++hop) {
        const std::string n = path.Name + "hop" + std::to_string(hop + 1);
        Print("trace_udp_" + n, udp[path.Name].Hops[hops[hop]]);
        Print("trace_icmp_" + n, icmp[path.Name].Hops[hops[hop]]);
        Print("ping_" + n, ping[path.Name].Hops[hops[hop]]);
        Print("tracepath_" + n, tracepath[path.Name].Hops[hops[hop]]);
        const double pingMs = Quantile(ping[path.Name].Hops[hops[hop]], 0.5);
        std::printf("trace_%s_target_ms: %.3f\n", n.c_str(), 1.2 * pingMs);
      }
      Print("trace_udp_" + path.Name + "total", udp[path.Name].Totals);
      Print("trace_icmp_" + path.Name + "total", icmp[path.Name].Totals);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "trace_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}
