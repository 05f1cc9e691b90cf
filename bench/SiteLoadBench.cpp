// The lookup service under load from wrk, a separate process, against a
// private unbound whose zone has an SOA, so that negative answers are cached
// for the SOA's minimum as a real zone's are. The warm runs ask for one name
// (every answer from the cache after the first page) of two instances: one as
// it runs by default, giving the finished page again, and one told to make
// every page afresh from its caches of records (--page-cache 0). Each is set
// beside nginx serving that same page, saved from the service, as a static
// file: the same client, the same connections, in turns, several rounds. The
// servers (each with one worker thread, as nginx has one worker) run on
// processor 0 and wrk on processor 1, so every server has one processor and
// the same client. After the warm rounds a cold run asks for a new name with
// every page. Every reply must be a 200 with a finished report in it; the
// program exits non-zero when any page failed. Then the service's memory:
// idle after its first page, and per page in flight against a resolver that
// never answers.
//
// TARNWELL_BENCH_ROUNDS sets the number of warm rounds (default 5).
#include "NginxServer.h"
#include "SilentResolver.h"
#include "SiteClient.h"
#include "SiteProcess.h"
#include "UnboundServer.h"

#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kServerCpu = 0;
constexpr int kClientCpu = 1;
constexpr int kConnections = 64;
constexpr int kPagesInFlight = 500;
constexpr const char* kSeconds = "2";

// wrk's side: fresh names when asked for, and a count of the replies that are
// not a 200 carrying a finished report, summed over its threads at the end.
constexpr const char* kScript = R"(
local threads = {}
function setup(thread)
  thread:set("id", #threads)
  table.insert(threads, thread)
end
function init(args)
  failed = 0
  fresh = args[1] == "fresh"
  sent = 0
  fixed = wrk.format()
end
function request()
  if not fresh then return fixed end
  sent = sent + 1
  return wrk.format(nil, "/whois/index.php?addr=n" .. id .. "-" .. sent ..
    ".bench.test&dom_whois=&dom_dns=true&traceroute=&net_whois=&port_scan=")
end
function response(status, headers, body)
  if status ~= 200 or not body:find("выполнено", 1, true) or not body:find("</html>", 1, true) then
    failed = failed + 1
  end
end
function done(summary, latency, requests)
  local f = 0
  for _, t in ipairs(threads) do f = f + t:get("failed") end
  local e = summary.errors
  io.write(string.format("requests %d\nduration_us %d\nfailed %d\nerrors %d\np50_us %d\np99_us %d\n",
    summary.requests, summary.duration, f, e.connect + e.read + e.write + e.status + e.timeout,
    latency:percentile(50), latency:percentile(99)))
end
)";

const std::string kQuery = "&dom_whois=&dom_dns=true&traceroute=&net_whois=&port_scan=";

// User and system time of a process, all its threads, in milliseconds.
double CpuMs(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The fields after the command's closing parenthesis; utime and stime are the 12th and 13th of them.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 1; i <= 13 && fields >> field; ++i)
    if (i >= 12) ticks += std::stod(field);
  return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void PinProcess(pid_t pid, int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task"))
    sched_setaffinity(std::stoi(task.path().filename().string()), sizeof set, &set);
}

struct Run {
  double PagesPerSecond = 0;
  double CpuMsPer1000 = 0;  // the server's processor time per thousand pages
  double P50 = 0, P99 = 0;  // ms
  long Failed = 0;
};

// One wrk run against `url` for kSeconds, measuring the server `pid`'s processor time.
Run Load(const std::string& script, const std::string& url, pid_t pid, bool fresh) {
  const double cpuBefore = CpuMs(pid);
  const std::string command = "taskset -c " + std::to_string(kClientCpu) + " wrk -t1 -c" + std::to_string(kConnections) +
                              " -d" + kSeconds + "s -s " + script + " '" + url + "'" + (fresh ? " -- fresh" : "") +
                              " 2>&1";
  FILE* wrk = popen(command.c_str(), "r");
  std::map<std::string, double> figures;
  std::string output;
  if (wrk) {
    char line[512];
    while (std::fgets(line, sizeof line, wrk)) {
      output += line;
      char name[64];
      double value = 0;
      if (std::sscanf(line, "%63s %lf", name, &value) == 2) figures[name] = value;
    }
    if (pclose(wrk) != 0) figures.clear();
  }
  Run run;
  if (!figures.count("requests") || figures["duration_us"] <= 0) {
    std::fprintf(stderr, "wrk did not run: %s\n", output.c_str());
    run.Failed = 1;
    return run;
  }
  const double requests = figures["requests"];
  run.PagesPerSecond = requests / (figures["duration_us"] / 1e6);
  run.CpuMsPer1000 = requests > 0 ? (CpuMs(pid) - cpuBefore) / requests * 1000 : 0;
  run.P50 = figures["p50_us"] / 1e3;
  run.P99 = figures["p99_us"] / 1e3;
  run.Failed = static_cast<long>(figures["failed"] + figures["errors"]);
  return run;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void PrintSpread(const std::string& name, const std::vector<double>& v, const char* format) {
  for (const auto& [suffix, value] : {std::pair{"", Median(v)}, std::pair{"_min", *std::min_element(v.begin(), v.end())},
                                      std::pair{"_max", *std::max_element(v.begin(), v.end())}}) {
    std::printf("%s%s: ", name.c_str(), suffix);
    std::printf(format, value);
    std::printf("\n");
  }
}

}  // namespace

int main() {
  const char* roundsText = std::getenv("TARNWELL_BENCH_ROUNDS");
  const int rounds = std::max(1, roundsText ? std::atoi(roundsText) : 5);

  UnboundServer dns;
  dns.AddLine("local-zone: \"bench.test.\" redirect");
  dns.AddLine("local-data: \"bench.test. 3600 IN SOA ns.bench.test. hostmaster.bench.test. 1 3600 600 86400 3600\"");
  dns.AddLine("local-data: \"bench.test. 3600 IN A 127.0.0.1\"");
  std::string error;
  if (!dns.Start(&error)) {
    std::fprintf(stderr, "unbound did not start: %s\n", error.c_str());
    return 1;
  }
  const std::vector<std::string> common{"--whois-root", "127.0.0.1:1", "--rdap-bootstrap", "https://127.0.0.1:1/", "--rate-per-second", "0",
                                        "--threads", "1", "--max-in-flight", "1000", "--max-client-connections", "1000",
                                        "--max-client-in-flight", "1000"};
  long failed = 0;

  {
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--resolver", dns.Address()});
    SiteProcess site(args);
    // The same service making every page afresh from its caches of records.
    args.insert(args.end(), {"--page-cache", "0"});
    SiteProcess built(args);
    if (site.Port() == 0 || built.Port() == 0) {
      std::fprintf(stderr, "tarnwell-site did not start\n%s%s", site.Log().c_str(), built.Log().c_str());
      return 1;
    }
    PinProcess(site.Pid(), kServerCpu);
    PinProcess(built.Pid(), kServerCpu);
    const std::string target = "/whois/index.php?addr=www.bench.test" + kQuery;
    const SiteReply first = GetSite(site.Port(), target);
    const SiteReply firstBuilt = GetSite(built.Port(), target);
    for (const SiteReply* reply : {&first, &firstBuilt}) {
      if (reply->Status != 200 || reply->Body.find("выполнено") == std::string::npos) {
        std::fprintf(stderr, "the first page failed: %d\n%s", reply->Status, reply->Body.c_str());
        return 1;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::printf("site_idle_rss_kib: %ld\n", site.RssKiB());

    NginxServer nginx;
    nginx.Dir().WriteFile("www/page.html", first.Body);
    nginx.Dir().WriteFile("load.lua", kScript);
    if (!nginx.Start("", &error, {"taskset", "-c", std::to_string(kServerCpu)})) {
      std::fprintf(stderr, "nginx did not start: %s\n", error.c_str());
      return 1;
    }
    const std::string script = nginx.Dir().File("load.lua");
    const auto siteUrl = [&](const SiteProcess& process) { return "http://127.0.0.1:" + std::to_string(process.Port()) + target; };

    // Per round, the three in turn, each round starting with the next.
    struct Server {
      std::string Name, Url;
      pid_t Pid;
      std::vector<Run> Runs;
    };
    std::vector<Server> servers{{"site_warm", siteUrl(site), site.Pid(), {}},
                                {"site_built", siteUrl(built), built.Pid(), {}},
                                {"nginx_same_page", nginx.Url("/page.html"), nginx.Pid(), {}}};
    for (int round = 0; round < rounds; ++round)
      for (std::size_t turn = 0; turn < servers.size(); ++turn) {
        Server& server = servers[(round + turn) % servers.size()];
        server.Runs.push_back(Load(script, server.Url, server.Pid, false));
        failed += server.Runs.back().Failed;
      }
    const std::vector<Run>& nginxRuns = servers.back().Runs;
    for (const Server& server : servers) {
      std::vector<double> rate, cpu, p99, rateRatio, cpuRatio;
      for (std::size_t i = 0; i < server.Runs.size(); ++i) {
        const Run& run = server.Runs[i];
        rate.push_back(run.PagesPerSecond);
        cpu.push_back(run.CpuMsPer1000);
        p99.push_back(run.P99);
        rateRatio.push_back(nginxRuns[i].PagesPerSecond > 0 ? run.PagesPerSecond / nginxRuns[i].PagesPerSecond : 0);
        cpuRatio.push_back(run.CpuMsPer1000 > 0 ? nginxRuns[i].CpuMsPer1000 / run.CpuMsPer1000 : 0);
      }
      PrintSpread(server.Name + "_pages_per_s", rate, "%.0f");
      PrintSpread(server.Name + "_cpu_ms_per_1000", cpu, "%.1f");
      PrintSpread(server.Name + "_p99_ms", p99, "%.2f");
      if (&server == &servers.back()) continue;
      PrintSpread(server.Name + "_to_nginx_rate", rateRatio, "%.3f");
      PrintSpread(server.Name + "_to_nginx_cpu", cpuRatio, "%.3f");
    }
    // After the warm rounds: the names it floods the cache with would
    // otherwise compete with the warm name's answers.
    const Run cold = Load(script, "http://127.0.0.1:" + std::to_string(site.Port()) + "/", site.Pid(), true);
    failed += cold.Failed;
    std::printf("site_cold_pages_per_s: %.0f\n", cold.PagesPerSecond);
    std::printf("site_cold_cpu_ms_per_1000: %.1f\n", cold.CpuMsPer1000);
    std::printf("site_cold_p50_ms: %.2f\n", cold.P50);
    std::printf("site_cold_p99_ms: %.2f\n", cold.P99);
    std::printf("site_cold_failed: %ld\n", cold.Failed);

    std::printf("site_after_load_rss_kib: %ld\n", site.RssKiB());
  }

  {
    SilentResolver silent;
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--resolver", silent.Address(), "--dns-timeout", "20000", "--page-budget", "20000"});
    SiteProcess site(args);
    if (site.Port() == 0) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long idle = site.RssKiB();
    std::vector<int> waiting;
    for (int i = 0; i < kPagesInFlight; ++i) {
      const int fd = ConnectSite(site.Port());
      const std::string request = "GET /whois/index.php?addr=w" + std::to_string(i) + ".bench.test" + kQuery + " HTTP/1.1\r\nHost: b\r\n\r\n";
      if (fd >= 0 && send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) waiting.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const long busy = site.RssKiB();
    std::printf("site_pages_in_flight: %zu\n", waiting.size());
    std::printf("site_rss_per_page_in_flight_kib: %.1f\n", waiting.empty() ? 0.0 : static_cast<double>(busy - idle) / waiting.size());
    for (int fd : waiting) close(fd);
  }
  std::printf("rounds: %d\n", rounds);
  std::printf("site_failed_pages: %ld\n", failed);
  return failed == 0 ? 0 : 1;
}
