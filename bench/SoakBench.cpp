// Soak: 1,000 transactions of every kind in one process, with the figures
// that show whether anything grows: resident memory and open descriptors.
#include "Soak.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  std::string error;
  const TSoakFigures f = RunSoak(count, count / 10, error);
  if (!error.empty()) {
    std::fprintf(stderr, "nginx did not start: %s\n", error.c_str());
    return 1;
  }
  std::printf("soak_transactions: %d\n", f.Transactions);
  std::printf("soak_unexpected_outcomes: %d\n", f.Unexpected);
  if (f.Unexpected) std::printf("soak_first_unexpected: %s\n", f.FirstUnexpected.c_str());
  std::printf("soak_seconds: %.2f\n", f.Seconds);
  std::printf("soak_rss_after_warmup_kib: %lld\n", static_cast<long long>(f.RssWarmKiB));
  std::printf("soak_rss_growth_kib: %lld\n", static_cast<long long>(f.RssEndKiB - f.RssWarmKiB));
  std::printf("soak_fds_after_warmup: %d\n", f.FdsWarm);
  std::printf("soak_fds_growth: %d\n", f.FdsEnd - f.FdsWarm);
  return f.Unexpected == 0 ? 0 : 1;
}
