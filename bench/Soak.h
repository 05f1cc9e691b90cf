#pragma once
// Many transactions of every kind in one process: pages of several sizes,
// 404s, redirects, refused connections and time-outs, against a private
// nginx. Used by the soak benchmark and, under LeakSanitizer, by a test.

#include <cstdint>
#include <string>

struct TSoakFigures {
  int Transactions = 0;
  int Unexpected = 0;        // outcomes other than the kind's documented one
  std::string FirstUnexpected;
  double Seconds = 0;
  int64_t RssWarmKiB = 0;    // resident memory after the warm-up
  int64_t RssEndKiB = 0;
  int FdsWarm = 0;           // open file descriptors after the warm-up
  int FdsEnd = 0;
};

// Runs `count` transactions, the first `warmUp` of them before measuring.
// Empty `error` and the figures, or why the server could not be started.
TSoakFigures RunSoak(int count, int warmUp, std::string& error);
