// THttpClient and libcurl (reserving its body from Content-Length, as a careful
// user would) side by side against the same local nginx, pinned to processor 0.
// Five body sizes; two placements: the client on nginx's processor, and on
// the other one. Each round runs both clients on every size, alternating which
// goes first; every reply must be a 200 with the whole body, and every request
// that is not counts as an error. Then the peak resident growth of one
// 100 MiB capture into memory. Prints one `name: value` line per figure.
//
// TARNWELL_BENCH_ROUNDS sets the number of rounds (default 5).
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

constexpr int NginxCpu = 0;
constexpr int OtherCpu = 1;

struct TSize {
  const char* name;
  size_t bytes;
  int requests;
};

const TSize Sizes[] = {
    {"1k", size_t{1} << 10, 2000},  {"64k", size_t{64} << 10, 1000}, {"1m", size_t{1} << 20, 200},
    {"16m", size_t{16} << 20, 12}, {"100m", size_t{100} << 20, 3},
};

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

void PinTo(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  sched_setaffinity(0, sizeof set, &set);
}

size_t CurlAppend(char* data, size_t size, size_t count, void* body) {
  static_cast<std::string*>(body)->append(data, size * count);
  return size * count;
}

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
  CurlClient() : FEasy(curl_easy_init()) {
    curl_easy_setopt(FEasy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(FEasy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(FEasy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(FEasy, CURLOPT_WRITEFUNCTION, &CurlAppend);
    curl_easy_setopt(FEasy, CURLOPT_WRITEDATA, &Body);
    curl_easy_setopt(FEasy, CURLOPT_PRIVATE, &Body);
    curl_easy_setopt(FEasy, CURLOPT_HEADERFUNCTION, &CurlHeader);
    curl_easy_setopt(FEasy, CURLOPT_HEADERDATA, FEasy);
  }
  ~CurlClient() { curl_easy_cleanup(FEasy); }
  CurlClient(const CurlClient&) = delete;
  CurlClient& operator=(const CurlClient&) = delete;

  // True when the reply was a 200 with `size` body bytes.
  bool Get(const std::string& url, size_t size) {
    std::string().swap(Body);
    curl_easy_setopt(FEasy, CURLOPT_URL, url.c_str());
    long status = 0;
    return curl_easy_perform(FEasy) == CURLE_OK &&
           curl_easy_getinfo(FEasy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200 &&
           Body.size() == size;
  }

  std::string Body;

private:
  CURL* FEasy;
};

// True when the reply was a 200 with `size` body bytes.
bool OurGet(THttpClient& client, const std::string& url, size_t size) {
  std::string().swap(client.Body);
  try {
    client.Get(url);
  } catch (const std::exception&) {
    return false;
  }
  return client.ReplyNumber == 200 && client.Body.size() == size;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct TFigures {
  std::vector<double> ours, theirs, ratios;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const char* roundsText = std::getenv("TARNWELL_BENCH_ROUNDS");
  const int rounds = std::max(1, roundsText ? std::atoi(roundsText) : 5);

  NginxServer nginx;
  {
    std::string bytes(Sizes[std::size(Sizes) - 1].bytes, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    for (const TSize& s : Sizes) nginx.Dir().WriteFile(std::string("www/") + s.name + ".bin", bytes.substr(0, s.bytes));
  }
  std::string error;
  if (!nginx.Start("", &error, {"taskset", "-c", std::to_string(NginxCpu)})) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  THttpClient client(nullptr);
  CurlClient curl;
  int ourErrors = 0, curlErrors = 0;

  for (const int cpu : {NginxCpu, OtherCpu}) {
    PinTo(cpu);
    const char* placement = cpu == NginxCpu ? "same_cpu" : "other_cpu";
    std::vector<TFigures> figures(std::size(Sizes));
    for (const TSize& s : Sizes) {
      OurGet(client, nginx.Url(std::string("/") + s.name + ".bin"), s.bytes);
      curl.Get(nginx.Url(std::string("/") + s.name + ".bin"), s.bytes);
    }
    for (int round = 0; round < rounds; ++round) {
      for (size_t k = 0; k < std::size(Sizes); ++k) {
        const TSize& s = Sizes[k];
        const std::string url = nginx.Url(std::string("/") + s.name + ".bin");
        auto runOurs = [&] {
          return Seconds([&] {
            for (int i = 0; i < s.requests; ++i) ourErrors += !OurGet(client, url, s.bytes);
          });
        };
        auto runCurl = [&] {
          return Seconds([&] {
            for (int i = 0; i < s.requests; ++i) curlErrors += !curl.Get(url, s.bytes);
          });
        };
        double ours = 0, theirs = 0;
        if (round % 2 == 0) {
          ours = runOurs();
          theirs = runCurl();
        } else {
          theirs = runCurl();
          ours = runOurs();
        }
        figures[k].ours.push_back(s.requests / ours);
        figures[k].theirs.push_back(s.requests / theirs);
        figures[k].ratios.push_back(theirs / ours);
      }
    }
    for (size_t k = 0; k < std::size(Sizes); ++k) {
      const TSize& s = Sizes[k];
      const TFigures& f = figures[k];
      const std::string name = std::string(placement) + "_" + s.name;
      const double mb = s.bytes / 1e6;
      std::printf("%s_tarnwell_mb_per_s: %.1f\n", name.c_str(), Median(f.ours) * mb);
      std::printf("%s_curl_mb_per_s: %.1f\n", name.c_str(), Median(f.theirs) * mb);
      std::printf("%s_ratio_median: %.3f\n", name.c_str(), Median(f.ratios));
      std::printf("%s_ratio_min: %.3f\n", name.c_str(), *std::min_element(f.ratios.begin(), f.ratios.end()));
      std::printf("%s_ratio_max: %.3f\n", name.c_str(), *std::max_element(f.ratios.begin(), f.ratios.end()));
    }
  }

  // Resident growth of one 100 MiB capture, each from an empty body.
  PinTo(OtherCpu);
  const TSize& largest = Sizes[std::size(Sizes) - 1];
  const std::string url = nginx.Url(std::string("/") + largest.name + ".bin");
  std::string().swap(client.Body);
  std::string().swap(curl.Body);
  const long ourGrowth = PeakGrowth([&] { ourErrors += !OurGet(client, url, largest.bytes); });
  std::string().swap(client.Body);
  const long curlGrowth = PeakGrowth([&] { curlErrors += !curl.Get(url, largest.bytes); });

  std::printf("rounds: %d\n", rounds);
  std::printf("tarnwell_rss_growth_100m_mib: %.3f\n", ourGrowth / 1048576.0);
  std::printf("curl_rss_growth_100m_mib: %.3f\n", curlGrowth / 1048576.0);
  std::printf("tarnwell_rss_growth_100m_to_body: %.4f\n", static_cast<double>(ourGrowth) / largest.bytes);
  std::printf("tarnwell_errors: %d\n", ourErrors);
  std::printf("curl_errors: %d\n", curlErrors);
  curl_global_cleanup();
  return ourErrors == 0 && curlErrors == 0 ? 0 : 1;
}
