// THttpClient and libcurl (reserving its body from Content-Length, as a careful
// user would) side by side against the same local nginx, pinned to processor 0.
// Five body sizes; two placements: the client on nginx's processor, and on
// the other one. Each round runs both placements, in turn first, and in each
// both clients on every size, the one that goes first taking turns from round
// to round. Every size has a pair of clients of its own, and each keeps its
// body between transfers as the window keeps the client's, so a transfer
// finds the memory of the one before in place; the first transfer of each,
// which has none, is shown apart. Every reply must be a 200 whose body has
// the served file's hash, and every request that is not counts as an error.
// Every transfer is timed alone, so a batch's total is the sum of its
// transfers and each size also shows its median transfer and its 90th
// percentile. A batch's first transfer comes after other work and, on the
// virtual machines this runs on, is regularly slower for both clients; so
// each size also shows the median of the batches' first transfers and the
// 90th percentile of the rest. Then, for every size, the peak resident growth
// of one capture into an empty body, each in a fresh process of its own, so
// that no memory an earlier transfer left with the allocator hides the growth.
// Prints one `name: value` line per figure.
//
// TARNWELL_BENCH_ROUNDS sets the number of rounds (default 5).
#include "HttpClient.h"
#include "NginxServer.h"

#include <QCoreApplication>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sched.h>
#include <string>
#include <string_view>
#include <unistd.h>
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

// Eight bytes a step, so that checking 100 MiB costs little beside receiving it.
uint64_t Hash(std::string_view bytes) {
  uint64_t h = 0x9E3779B97F4A7C15u ^ bytes.size();
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    h = (h ^ word) * 0x100000001B3u;
    h ^= h >> 29;
  }
  for (; i < bytes.size(); ++i) h = (h ^ static_cast<unsigned char>(bytes[i])) * 0x100000001B3u;
  return h;
}

std::string Served(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
  return bytes;
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

// One way to fetch a body into memory; the body is kept until the next Get.
class TFetcher {
public:
  virtual ~TFetcher() = default;
  // The body of a 200 reply; anything else leaves `ok` false.
  virtual const std::string& Get(const std::string& url, bool& ok) = 0;
};

class CurlClient : public TFetcher {
public:
  CurlClient() : FEasy(curl_easy_init()) {
    curl_easy_setopt(FEasy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(FEasy, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(FEasy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(FEasy, CURLOPT_WRITEFUNCTION, &CurlAppend);
    curl_easy_setopt(FEasy, CURLOPT_WRITEDATA, &FBody);
    curl_easy_setopt(FEasy, CURLOPT_PRIVATE, &FBody);
    curl_easy_setopt(FEasy, CURLOPT_HEADERFUNCTION, &CurlHeader);
    curl_easy_setopt(FEasy, CURLOPT_HEADERDATA, FEasy);
  }
  ~CurlClient() override { curl_easy_cleanup(FEasy); }
  CurlClient(const CurlClient&) = delete;
  CurlClient& operator=(const CurlClient&) = delete;

  const std::string& Get(const std::string& url, bool& ok) override {
    FBody.clear();
    curl_easy_setopt(FEasy, CURLOPT_URL, url.c_str());
    long status = 0;
    ok = curl_easy_perform(FEasy) == CURLE_OK && curl_easy_getinfo(FEasy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
         status == 200;
    return FBody;
  }

private:
  std::string FBody;
  CURL* FEasy;
};

class OurClient : public TFetcher {
public:
  const std::string& Get(const std::string& url, bool& ok) override {
    try {
      FClient.Get(url);
      ok = FClient.ReplyNumber == 200;
    } catch (const std::exception&) {
      ok = false;
    }
    return FClient.Body;
  }

private:
  THttpClient FClient{nullptr};
};

// One transfer: its time in seconds; `errors` grows when the body is not the served one.
double Transfer(TFetcher& fetcher, const std::string& url, uint64_t hash, size_t size, int& errors) {
  bool ok = false;
  const auto start = Clock::now();
  const std::string& body = fetcher.Get(url, ok);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  errors += !ok || body.size() != size || Hash(body) != hash;
  return seconds;
}

double Quantile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  const double at = q * static_cast<double>(v.size() - 1);
  const size_t low = static_cast<size_t>(at);
  const size_t high = std::min(low + 1, v.size() - 1);
  return v[low] + (v[high] - v[low]) * (at - static_cast<double>(low));
}

struct TSeries {
  std::vector<double> batches;    // seconds per batch
  std::vector<double> transfers;  // seconds per transfer
  std::vector<double> openers;    // seconds per batch's first transfer
  std::vector<double> followers;  // seconds per transfer after a batch's first
};

struct TFigures {
  TSeries ours, theirs;
  std::vector<double> ratios;
};

// The child's part: one warm-up transfer of 1 KiB, so that what every
// connection needs once is in place, then the peak growth of one capture of
// `size` bytes into an empty body, printed in bytes; exit 1 when the body is wrong.
int MeasureGrowth(const std::string& client, const std::string& url, size_t size, const std::string& warmUrl) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  OurClient ours;
  CurlClient curl;
  TFetcher& fetcher = client == "curl" ? static_cast<TFetcher&>(curl) : ours;
  int errors = 0;
  // Kept until the end: memory it gave back would be the body's, not grown.
  const std::string served = Served(size);
  const uint64_t hash = Hash(served);
  Transfer(fetcher, warmUrl, Hash(std::string_view(served).substr(0, Sizes[0].bytes)), Sizes[0].bytes, errors);
  const long growth = PeakGrowth([&] { Transfer(fetcher, url, hash, size, errors); });
  std::printf("%ld\n", growth);
  curl_global_cleanup();
  return errors == 0 ? 0 : 1;
}

// Runs this program again as MeasureGrowth's child; -1 when it failed.
long GrowthInChild(const char* client, const std::string& url, size_t size, const std::string& warmUrl) {
  const std::string command = "/proc/" + std::to_string(getpid()) + "/exe --growth " + client + " " + url + " " +
                              std::to_string(size) + " " + warmUrl;
  FILE* child = popen(command.c_str(), "r");
  if (!child) return -1;
  long growth = -1;
  if (std::fscanf(child, "%ld", &growth) != 1) growth = -1;
  return pclose(child) == 0 ? growth : -1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc == 6 && std::strcmp(argv[1], "--growth") == 0)
    return MeasureGrowth(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10), argv[5]);
  const char* roundsText = std::getenv("TARNWELL_BENCH_ROUNDS");
  const int rounds = std::max(1, roundsText ? std::atoi(roundsText) : 5);

  NginxServer nginx;
  std::vector<uint64_t> hashes;
  {
    const std::string bytes = Served(Sizes[std::size(Sizes) - 1].bytes);
    for (const TSize& s : Sizes) {
      nginx.Dir().WriteFile(std::string("www/") + s.name + ".bin", bytes.substr(0, s.bytes));
      hashes.push_back(Hash(std::string_view(bytes).substr(0, s.bytes)));
    }
  }
  std::string error;
  if (!nginx.Start("", &error, {"taskset", "-c", std::to_string(NginxCpu)})) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  std::vector<OurClient> ours(std::size(Sizes));
  std::vector<CurlClient> curl(std::size(Sizes));
  int ourErrors = 0, curlErrors = 0;
  auto url = [&](const TSize& s) { return nginx.Url(std::string("/") + s.name + ".bin"); };

  // A process's first transfer of each size, shown apart: it is no round's.
  PinTo(OtherCpu);
  for (size_t k = 0; k < std::size(Sizes); ++k) {
    const double first = Transfer(ours[k], url(Sizes[k]), hashes[k], Sizes[k].bytes, ourErrors);
    const double curlFirst = Transfer(curl[k], url(Sizes[k]), hashes[k], Sizes[k].bytes, curlErrors);
    std::printf("first_%s_tarnwell_ms: %.3f\n", Sizes[k].name, first * 1e3);
    std::printf("first_%s_curl_ms: %.3f\n", Sizes[k].name, curlFirst * 1e3);
  }

  const int placements[] = {NginxCpu, OtherCpu};
  std::vector<TFigures> figures(std::size(placements) * std::size(Sizes));
  for (int round = 0; round < rounds; ++round) {
    for (size_t p = 0; p < std::size(placements); ++p) {
      const size_t placement = round % 2 == 0 ? p : std::size(placements) - 1 - p;
      PinTo(placements[placement]);
      for (size_t k = 0; k < std::size(Sizes); ++k) {
        const TSize& s = Sizes[k];
        TFigures& f = figures[placement * std::size(Sizes) + k];
        auto batch = [&](TFetcher& fetcher, TSeries& series, int& errors) {
          double total = 0;
          for (int i = 0; i < s.requests; ++i) {
            const double t = Transfer(fetcher, url(s), hashes[k], s.bytes, errors);
            series.transfers.push_back(t);
            (i == 0 ? series.openers : series.followers).push_back(t);
            total += t;
          }
          series.batches.push_back(total);
          return total;
        };
        const bool oursFirst = (round + placement) % 2 == 0;
        const double a = oursFirst ? batch(ours[k], f.ours, ourErrors) : batch(curl[k], f.theirs, curlErrors);
        const double b = oursFirst ? batch(curl[k], f.theirs, curlErrors) : batch(ours[k], f.ours, ourErrors);
        f.ratios.push_back(oursFirst ? b / a : a / b);
      }
    }
  }

  for (size_t placement = 0; placement < std::size(placements); ++placement) {
    for (size_t k = 0; k < std::size(Sizes); ++k) {
      const TSize& s = Sizes[k];
      const TFigures& f = figures[placement * std::size(Sizes) + k];
      const std::string name = std::string(placements[placement] == NginxCpu ? "same_cpu" : "other_cpu") + "_" + s.name;
      const double mb = s.bytes / 1e6;
      std::printf("%s_tarnwell_mb_per_s: %.1f\n", name.c_str(), s.requests * mb / Quantile(f.ours.batches, 0.5));
      std::printf("%s_curl_mb_per_s: %.1f\n", name.c_str(), s.requests * mb / Quantile(f.theirs.batches, 0.5));
      std::printf("%s_ratio_median: %.3f\n", name.c_str(), Quantile(f.ratios, 0.5));
      std::printf("%s_ratio_min: %.3f\n", name.c_str(), *std::min_element(f.ratios.begin(), f.ratios.end()));
      std::printf("%s_ratio_max: %.3f\n", name.c_str(), *std::max_element(f.ratios.begin(), f.ratios.end()));
      for (const auto& [who, series] : {std::pair{"tarnwell", &f.ours}, std::pair{"curl", &f.theirs}}) {
        const double median = Quantile(series->transfers, 0.5);
        const double p90 = Quantile(series->transfers, 0.9);
        std::printf("%s_%s_transfer_median_ms: %.3f\n", name.c_str(), who, median * 1e3);
        std::printf("%s_%s_transfer_p90_ms: %.3f\n", name.c_str(), who, p90 * 1e3);
        std::printf("%s_%s_transfer_p90_to_median: %.3f\n", name.c_str(), who, p90 / median);
        std::printf("%s_%s_batch_first_median_ms: %.3f\n", name.c_str(), who, Quantile(series->openers, 0.5) * 1e3);
        std::printf("%s_%s_after_first_p90_to_median: %.3f\n", name.c_str(), who,
                    Quantile(series->followers, 0.9) / Quantile(series->followers, 0.5));
      }
    }
  }

  const std::string warmUrl = url(Sizes[0]);
  for (const TSize& s : Sizes) {
    for (const char* who : {"tarnwell", "curl"}) {
      const long growth = GrowthInChild(who, url(s), s.bytes, warmUrl);
      (std::strcmp(who, "curl") == 0 ? curlErrors : ourErrors) += growth < 0;
      std::printf("%s_rss_growth_%s_kib: %.1f\n", who, s.name, growth / 1024.0);
      std::printf("%s_rss_growth_%s_to_body: %.4f\n", who, s.name, static_cast<double>(growth) / s.bytes);
    }
  }

  std::printf("rounds: %d\n", rounds);
  std::printf("tarnwell_errors: %d\n", ourErrors);
  std::printf("curl_errors: %d\n", curlErrors);
  curl_global_cleanup();
  return ourErrors == 0 && curlErrors == 0 ? 0 : 1;
}
