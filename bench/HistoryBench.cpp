// What keeping each name's history costs the lookup service. First, warm
// DNS-only pages (1,000 names that a private unbound answers, every record in
// the service's cache after the first pass) from three instances that make
// every page afresh (--page-cache 0), so that every page reads the name's last
// snapshots and has its facts compared: history off, in a SQLite file, and in
// a PostgreSQL cluster of its own on loopback. Keep-alive clients ask each in
// turn for several rounds; the medians of pages per second and the pooled page
// times are compared with history off, and PostgreSQL's count of the rows it
// inserted and updated says whether the writer kept up with those pages. Then
// the store's size: a SQLite and a PostgreSQL instance both ask for 10,000
// names over and over (100,000 lookups each) from an unbound whose answers are
// never cached (TTL 0) and whose A record of 1% of the names changes between
// one pass over the names and the next, through unbound-control; beside it the
// snapshots kept and those a writer that missed nothing would have kept. Exits 1 when a page failed.
//
// TARNWELL_BENCH_LOOKUPS sets the lookups of the size run (default 100000).
#include "ChildProcess.h"
#include "LoopbackPort.h"
#include "PostgresServer.h"
#include "DnsPages.h"
#include "SiteClient.h"
#include "SiteProcess.h"
#include "TempDir.h"
#include "UnboundServer.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kClients = 32;
constexpr int kWarmNames = 1000;
constexpr std::chrono::seconds kRun{2};
// The machine is shared: the set-ups take turns, and the medians are compared.
constexpr int kRounds = 5;
constexpr int kSizeNames = 10000;
// One name in this many has its answer changed before each pass but the first.
constexpr int kChangeEvery = 100;
constexpr const char* kUnavailable = "История изменений сейчас недоступна.";

struct Run {
  long Pages = 0;
  double Seconds = 0;
  std::vector<double> Times;  // ms, one per page that came
  long Failed = 0;
  long Unavailable = 0;  // pages that said their history could not be read
};

// kClients keep-alive clients; client c asks for names c, c + kClients, ...
// of `names` (walking round them) until `end`, or for each of its names once
// when `end` is not set.
Run Ask(std::uint16_t port, int names, std::optional<Clock::time_point> end) {
  Run run;
  std::mutex mutex;
  const auto start = Clock::now();
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      std::vector<double> times;
      long failed = 0, unavailable = 0;
      int fd = ConnectSite(port);
      const int limit = end ? 1000000 : (names - c + kClients - 1) / kClients;
      for (int i = 0; i < limit && (!end || Clock::now() < *end); ++i) {
        const auto sent = Clock::now();
        const SiteReply reply = Exchange(fd, DnsPage(Name((c + i * kClients) % names)));
        if (!PageOk(reply)) {
          if (++failed == 1) std::fprintf(stderr, "failed page: %d %s\n", reply.Status, reply.Body.substr(0, 300).c_str());
          close(fd);
          fd = ConnectSite(port);
          continue;
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
        if (reply.Body.find(kUnavailable) != std::string::npos) ++unavailable;
      }
      close(fd);
      std::lock_guard lock(mutex);
      run.Times.insert(run.Times.end(), times.begin(), times.end());
      run.Failed += failed;
      run.Unavailable += unavailable;
    });
  }
  for (auto& client : clients) client.join();
  run.Pages = static_cast<long>(run.Times.size());
  run.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return run;
}

// The first line of a program's output; empty when it failed.
std::string Output(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {};
  char line[256] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  if (pclose(pipe) != 0 || !read) return {};
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

long FileBytes(const std::string& path) {
  std::error_code error;
  const auto bytes = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<long>(bytes);
}

// The first value of a query on the private cluster's database `db`.
std::string PgSql(const PostgresServer& pg, const std::string& db, const std::string& query) {
  return Output("psql -h 127.0.0.1 -p " + std::to_string(pg.Port()) + " -U tarnwell -d " + db + " -Atc \"" + query + "\" 2>/dev/null");
}

// A store as the benchmark sees it from outside the service.
struct Store {
  std::string Where;  // --history's value
  std::string File;   // the SQLite file; empty for PostgreSQL
  const PostgresServer* Pg = nullptr;

  std::string Sql(const std::string& query) const {
    if (Pg) return PgSql(*Pg, "postgres", query);
    return Output("sqlite3 -readonly '" + File + "' \"" + query + "\" 2>/dev/null");
  }
  long Rows() const {
    const std::string rows = Sql("SELECT count(*) FROM snapshots");
    return rows.empty() ? -1 : std::stol(rows);
  }
  // The snapshots' table with its indexes (PostgreSQL) or the file and its WAL (SQLite).
  long Bytes() const {
    if (!Pg) return FileBytes(File) + FileBytes(File + "-wal");
    const std::string bytes = Sql("SELECT pg_total_relation_size('snapshots')");
    return bytes.empty() ? -1 : std::stol(bytes);
  }
  // Waits (at most 60 s) until the writer has caught up: the count of
  // snapshots and the store's size stay the same for two seconds.
  void Settle() const {
    long rows = -2, bytes = -2;
    for (int i = 0, still = 0; i < 120 && still < 4; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      const long nowRows = Rows(), nowBytes = Bytes();
      still = nowRows == rows && nowBytes == bytes ? still + 1 : 0;
      rows = nowRows;
      bytes = nowBytes;
    }
  }
};

std::unique_ptr<SiteProcess> StartSite(const std::string& resolver, const std::string& history) {
  return std::make_unique<SiteProcess>(std::vector<std::string>{
      "--resolver", resolver, "--whois-root", "127.0.0.1:1", "--rdap-bootstrap", "https://127.0.0.1:1/", "--rate-per-second", "0",
      "--threads", "2", "--max-in-flight", "1000", "--max-client-connections", "1000", "--max-client-in-flight", "1000",
      "--page-cache", "0", "--history", history});
}

// An unbound answering kSizeNames names from its local data with TTL 0, so
// that every page asks it again, whose answers are changed while it runs.
class ChangingDns {
public:
  bool Start() {
    const std::uint16_t control = FreeLoopbackPort();
    FPort = FreeLoopbackPort();
    std::string config = "server:\n  interface: 127.0.0.1\n  port: " + std::to_string(FPort) +
                         "\n  username: \"\"\n  use-syslog: no\n  pidfile: \"\"\n  num-threads: 1\n  so-rcvbuf: 4m\n"
                         "  module-config: \"iterator\"\n  local-zone: \".\" refuse\n"
                         "  do-not-query-address: 0.0.0.0/0\n  do-not-query-address: ::/0\n"
                         "  local-zone: \"bench.test.\" static\n"
                         "  local-data: \"bench.test. 0 IN SOA ns.bench.test. hostmaster.bench.test. 1 3600 600 86400 0\"\n";
    for (int i = 0; i < kSizeNames; ++i) config += "  local-data: \"" + Record(i, 0) + "\"\n";
    config += "remote-control:\n  control-enable: yes\n  control-interface: 127.0.0.1\n  control-port: " + std::to_string(control) +
              "\n  control-use-cert: no\n";
    FDir.WriteFile("unbound.conf", config);
    if (!FProcess.Start({"unbound", "-d", "-c", FDir.File("unbound.conf")}, FDir.File("unbound.log"))) return false;
    for (int i = 0; i < 200 && FProcess.Running(); ++i)
      if (WaitUntilListening(FPort, std::chrono::milliseconds(50)) && WaitUntilListening(control, std::chrono::milliseconds(50))) return true;
    std::fprintf(stderr, "unbound did not start: %s\n", FDir.ReadFile("unbound.log").c_str());
    return false;
  }
  // A new A record for every kChangeEvery-th name, a different share of them each pass.
  bool Change(int pass) {
    std::string names, records;
    for (int i = pass % kChangeEvery; i < kSizeNames; i += kChangeEvery) {
      names += Name(i) + ".\n";
      records += Record(i, pass) + "\n";
    }
    return Control("local_datas_remove", names) && Control("local_datas", records);
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(FPort); }

private:
  static std::string Record(int i, int pass) {
    return Name(i) + ". 0 IN A 10." + std::to_string(pass % 256) + "." + std::to_string(i / 256) + "." + std::to_string(i % 256);
  }
  bool Control(const std::string& command, const std::string& input) {
    FILE* pipe = popen(("unbound-control -c '" + FDir.File("unbound.conf") + "' " + command + " >/dev/null").c_str(), "w");
    if (!pipe) return false;
    std::fputs(input.c_str(), pipe);
    return pclose(pipe) == 0;
  }

  TempDir FDir;
  ChildProcess FProcess;
  std::uint16_t FPort = 0;
};

int LookupsWanted() {
  const char* text = std::getenv("TARNWELL_BENCH_LOOKUPS");
  const int lookups = text ? std::atoi(text) : 100000;
  return std::clamp(lookups, kSizeNames, 10000000);
}

}  // namespace

int main() {
  std::printf("history_bench_cpus: %u\n", std::thread::hardware_concurrency());
  UnboundServer dns;
  dns.AddLine("local-zone: \"bench.test.\" redirect");
  dns.AddLine("local-data: \"bench.test. 3600 IN A 127.0.0.1\"");
  // The SOA gives the types a name lacks a negative TTL, so they are cached too.
  dns.AddLine("local-data: \"bench.test. 3600 IN SOA ns.bench.test. hostmaster.bench.test. 1 3600 600 86400 300\"");
  PostgresServer pg;
  std::string error;
  if (!dns.Start(&error) || !pg.Start()) {
    std::fprintf(stderr, "unbound or postgres did not start: %s%s\n", error.c_str(), pg.Log().c_str());
    return 1;
  }
  long failed = 0;

  // The warm run. PostgreSQL keeps the warm run's names in a database of their own.
  TempDir files;
  const std::string warmPg = "CREATE DATABASE warm";
  if (std::system(("psql -q -h 127.0.0.1 -p " + std::to_string(pg.Port()) + " -U tarnwell -d postgres -c '" + warmPg + "' >/dev/null").c_str()) != 0)
    return 1;
  struct Setup {
    const char* Label;
    std::unique_ptr<SiteProcess> Site;
    std::vector<double> Rates{}, Times{};
    long Failed = 0, Unavailable = 0;
  };
  Setup setups[] = {{"off", StartSite(dns.Address(), "off")},
                    {"sqlite", StartSite(dns.Address(), files.File("warm.sqlite"))},
                    {"postgresql", StartSite(dns.Address(), "postgresql://tarnwell@127.0.0.1:" + std::to_string(pg.Port()) + "/warm")}};
  for (Setup& setup : setups) {
    if (setup.Site->Port() == 0) return 1;
    // Every record cached and every name's first snapshot written before the rounds.
    failed += Ask(setup.Site->Port(), kWarmNames, std::nullopt).Failed;
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  for (int round = 0; round < kRounds; ++round)
    for (Setup& setup : setups) {
      Run run = Ask(setup.Site->Port(), kWarmNames, Clock::now() + kRun);
      setup.Rates.push_back(static_cast<double>(run.Pages) / run.Seconds);
      setup.Times.insert(setup.Times.end(), run.Times.begin(), run.Times.end());
      setup.Failed += run.Failed;
      setup.Unavailable += run.Unavailable;
    }
  const double offRate = Percentile(setups[0].Rates, 0.5), offP99 = Percentile(setups[0].Times, 0.99);
  for (Setup& setup : setups) {
    const std::string key = std::string("history_") + setup.Label;
    const double rate = Percentile(setup.Rates, 0.5), p99 = Percentile(setup.Times, 0.99);
    std::printf("%s_warm_pages_per_s: %.0f\n", key.c_str(), rate);
    std::printf("%s_page_p50_ms: %.3f\n", key.c_str(), Percentile(setup.Times, 0.5));
    std::printf("%s_page_p99_ms: %.3f\n", key.c_str(), p99);
    if (&setup != &setups[0]) {
      std::printf("%s_pages_per_s_ratio_to_off: %.2f\n", key.c_str(), offRate > 0 ? rate / offRate : 0);
      std::printf("%s_p99_added_ms: %.3f\n", key.c_str(), p99 - offP99);
      std::printf("%s_pages_history_unavailable: %ld\n", key.c_str(), setup.Unavailable);
    }
    std::printf("%s_failed: %ld\n", key.c_str(), setup.Failed);
    failed += setup.Failed;
    setup.Site.reset();
  }
  // Whether the writer kept up with the pages: each page of a known name
  // moves its snapshot's seen time (an update), unless its write was dropped.
  // Read once the instance is gone, so that its statistics are flushed.
  const std::string writes = PgSql(pg, "warm", "SELECT n_tup_ins + n_tup_upd FROM pg_stat_user_tables WHERE relname = 'snapshots'");
  const double pgPages = static_cast<double>(setups[2].Times.size() + kWarmNames);
  std::printf("history_postgresql_warm_store_writes_per_page: %.2f\n", writes.empty() ? -1 : std::stod(writes) / pgPages);

  // The size run.
  ChangingDns changing;
  if (!changing.Start()) return 1;
  const Store stores[] = {{files.File("size.sqlite"), files.File("size.sqlite"), nullptr}, {pg.Url(), "", &pg}};
  std::unique_ptr<SiteProcess> sizeSites[] = {StartSite(changing.Address(), stores[0].Where), StartSite(changing.Address(), stores[1].Where)};
  if (sizeSites[0]->Port() == 0 || sizeSites[1]->Port() == 0) return 1;
  const int passes = LookupsWanted() / kSizeNames;
  long changed = 0, unavailable[2] = {0, 0};
  double seconds[2] = {0, 0};
  for (int pass = 0; pass < passes; ++pass) {
    if (pass > 0) {
      if (!changing.Change(pass)) {
        std::fprintf(stderr, "unbound-control did not change the answers\n");
        return 1;
      }
      changed += kSizeNames / kChangeEvery;
    }
    for (int s = 0; s < 2; ++s) {
      const Run run = Ask(sizeSites[s]->Port(), kSizeNames, std::nullopt);
      failed += run.Failed;
      unavailable[s] += run.Unavailable;
      seconds[s] += run.Seconds;
    }
  }
  std::printf("history_size_names: %d\n", kSizeNames);
  std::printf("history_size_lookups: %d\n", passes * kSizeNames);
  std::printf("history_size_changed_answers: %ld\n", changed);
  // Each name's first snapshot, and one more for each lookup that met a changed answer.
  std::printf("history_size_snapshots_expected: %ld\n", kSizeNames + changed);
  for (int s = 0; s < 2; ++s) {
    const std::string key = s == 0 ? "history_size_sqlite" : "history_size_postgresql";
    stores[s].Settle();
    std::printf("%s_pages_per_s: %.0f\n", key.c_str(), seconds[s] > 0 ? passes * kSizeNames / seconds[s] : 0);
    std::printf("%s_pages_history_unavailable: %ld\n", key.c_str(), unavailable[s]);
    std::printf("%s_snapshots: %ld\n", key.c_str(), stores[s].Rows());
    if (s == 0) {
      std::printf("%s_file_bytes: %ld\n", key.c_str(), FileBytes(stores[s].File));
      std::printf("%s_wal_bytes: %ld\n", key.c_str(), FileBytes(stores[s].File + "-wal"));
    }
    std::printf("%s_bytes: %ld\n", key.c_str(), stores[s].Bytes());
  }
  std::printf("history_failed: %ld\n", failed);
  return failed == 0 ? 0 : 1;
}
