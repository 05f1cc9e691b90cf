// THttpClient and libcurl side by side against the same local nginx, all
// three pinned to one processor (TARNWELL_BENCH_CPU, default 0): sequential
// small GETs, and 100 MiB GETs into memory with the growth of the peak
// resident set during the transfer. Prints one `name: value` line per figure.
#include "HttpClient.h"
#include "NginxServer.h"

#include <QCoreApplication>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sched.h>
#include <string>
#include <vector>

namespace {

constexpr int SmallRequests = 2000;
constexpr int Rounds = 3;
constexpr size_t SmallSize = 1024;
constexpr size_t LargeSize = size_t{100} << 20;

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& run) {
  const auto start = Clock::now();
  run();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
  }
  return 0;
}

// Peak resident growth of `run`, in bytes: the kernel's high-water mark is
// reset first, so the peak belongs to this run alone.
long PeakGrowth(const std::function<void()>& run) {
  std::ofstream("/proc/self/clear_refs") << "5";
  const long before = StatusKiB("VmRSS");
  run();
  return (StatusKiB("VmHWM") - before) * 1024;
}

size_t CurlAppend(char* data, size_t size, size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

// Reserves the body from the announced length, as a careful libcurl user would.
size_t CurlHeader(char* data, size_t size, size_t count, void* easy) {
  curl_off_t length = -1;
  if (size * count == 2 && data[0] == '\r' &&
      curl_easy_getinfo(static_cast<CURL*>(easy), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
      length > 0) {
    std::string* body = nullptr;
    curl_easy_getinfo(static_cast<CURL*>(easy), CURLINFO_PRIVATE, &body);
    body->reserve(static_cast<size_t>(length));
  }
  return size * count;
}

class CurlClient {
public:
  explicit CurlClient(bool reserve) : FEasy(curl_easy_init()) {
    curl_easy_setopt(FEasy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(FEasy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(FEasy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(FEasy, CURLOPT_WRITEFUNCTION, &CurlAppend);
    curl_easy_setopt(FEasy, CURLOPT_WRITEDATA, &Body);
    curl_easy_setopt(FEasy, CURLOPT_PRIVATE, &Body);
    if (reserve) {
      curl_easy_setopt(FEasy, CURLOPT_HEADERFUNCTION, &CurlHeader);
      curl_easy_setopt(FEasy, CURLOPT_HEADERDATA, FEasy);
    }
  }
  ~CurlClient() { curl_easy_cleanup(FEasy); }

  void Get(const std::string& url) {
    Body.clear();
    curl_easy_setopt(FEasy, CURLOPT_URL, url.c_str());
    if (curl_easy_perform(FEasy) != CURLE_OK) std::fprintf(stderr, "curl failed on %s\n", url.c_str());
  }

  std::string Body;

private:
  CURL* FEasy;
};

void Print(const char* name, double value) { std::printf("%s: %.3f\n", name, value); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const char* cpuText = std::getenv("TARNWELL_BENCH_CPU");
  const int cpu = cpuText ? std::atoi(cpuText) : 0;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  sched_setaffinity(0, sizeof set, &set);

  NginxServer nginx;
  nginx.Dir().WriteFile("www/small.html", std::string(SmallSize, 's'));
  {
    std::string large(LargeSize, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>((i * 2654435761u) >> 13);
    nginx.Dir().WriteFile("www/large.bin", large);
  }
  std::string error;
  if (!nginx.Start("", &error, {"taskset", "-c", std::to_string(cpu)})) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  const std::string small = nginx.Url("/small.html");
  const std::string large = nginx.Url("/large.bin");

  THttpClient client(nullptr);
  CurlClient curl(true);
  for (int i = 0; i < 100; ++i) {
    client.Get(small);
    curl.Get(small);
  }
  std::vector<double> ours, theirs;
  for (int round = 0; round < Rounds; ++round) {
    ours.push_back(SmallRequests / Seconds([&] {
                     for (int i = 0; i < SmallRequests; ++i) client.Get(small);
                   }));
    theirs.push_back(SmallRequests / Seconds([&] {
                       for (int i = 0; i < SmallRequests; ++i) curl.Get(small);
                     }));
  }
  const bool smallOk = client.Body.size() == SmallSize && curl.Body.size() == SmallSize;

  // Each large transfer starts from an empty string, so its growth is its own.
  std::string().swap(client.Body);
  std::string().swap(curl.Body);
  CurlClient plainCurl(false);
  std::vector<double> ourRates, curlRates, plainRates;
  long ourGrowth = 0, curlGrowth = 0, plainGrowth = 0;
  bool largeOk = true;
  const double mb = LargeSize / 1e6;
  auto measure = [&](std::string& body, const std::function<void()>& get, std::vector<double>& rates, long& growth) {
    double seconds = 0;
    growth = std::max(growth, PeakGrowth([&] { seconds = Seconds(get); }));
    rates.push_back(mb / seconds);
    largeOk = largeOk && body.size() == LargeSize;
    std::string().swap(body);
  };
  for (int round = 0; round < Rounds; ++round) {
    measure(client.Body, [&] { client.Get(large); }, ourRates, ourGrowth);
    measure(curl.Body, [&] { curl.Get(large); }, curlRates, curlGrowth);
    measure(plainCurl.Body, [&] { plainCurl.Get(large); }, plainRates, plainGrowth);
  }

  std::printf("cpu: %d\n", cpu);
  std::printf("small_requests: %d\n", SmallRequests);
  Print("small_tarnwell_requests_per_s", Median(ours));
  Print("small_curl_requests_per_s", Median(theirs));
  Print("small_ratio_tarnwell_to_curl", Median(ours) / Median(theirs));
  Print("large_body_mib", LargeSize / 1048576.0);
  Print("large_tarnwell_mb_per_s", Median(ourRates));
  Print("large_curl_reserving_mb_per_s", Median(curlRates));
  Print("large_curl_plain_mb_per_s", Median(plainRates));
  Print("large_ratio_tarnwell_to_curl_reserving", Median(ourRates) / Median(curlRates));
  Print("large_ratio_tarnwell_to_curl_plain", Median(ourRates) / Median(plainRates));
  Print("large_tarnwell_rss_growth_mib", ourGrowth / 1048576.0);
  Print("large_curl_reserving_rss_growth_mib", curlGrowth / 1048576.0);
  Print("large_curl_plain_rss_growth_mib", plainGrowth / 1048576.0);
  Print("large_tarnwell_rss_growth_to_body", static_cast<double>(ourGrowth) / LargeSize);
  std::printf("bodies_complete: %d\n", smallOk && largeOk ? 1 : 0);
  curl_global_cleanup();
  return smallOk && largeOk ? 0 : 1;
}
