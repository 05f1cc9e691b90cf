#include "server/MemoryTrim.h"

#include <malloc.h>

namespace site {

namespace {

// Below this many connections at once there is too little to give back to
// be worth a trim, which walks every free block of the heap.
constexpr std::size_t kCrowd = 64;
constexpr std::size_t kFew = 8;

}  // namespace

void MemoryTrim::Opened(std::size_t connections) {
  std::size_t peak = FPeak.load();
  while (connections > peak && !FPeak.compare_exchange_weak(peak, connections)) {
  }
}

void MemoryTrim::Closed(std::size_t connections) {
  if (connections > kFew || FPeak.load() < kCrowd) return;
  // Only the thread that resets the peak trims, so a crowd leaving at once trims once.
  std::size_t peak = FPeak.load();
  if (peak >= kCrowd && FPeak.compare_exchange_strong(peak, 0)) malloc_trim(0);
}

}  // namespace site
