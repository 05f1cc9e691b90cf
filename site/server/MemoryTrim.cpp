#include "server/MemoryTrim.h"

#include <malloc.h>

namespace site {

void MemoryTrim::Peak::Rose(std::size_t now) {
  std::size_t peak = FPeak.load();
  while (now > peak && !FPeak.compare_exchange_weak(peak, now)) {
  }
}

bool MemoryTrim::Peak::Left(std::size_t now) {
  if (now > FFew || FPeak.load() < FCrowd) return false;
  // Only the thread that resets the peak trims, so a crowd leaving at once trims once.
  std::size_t peak = FPeak.load();
  return peak >= FCrowd && FPeak.compare_exchange_strong(peak, 0);
}

void MemoryTrim::Opened(std::size_t connections) { FConnections.Rose(connections); }

void MemoryTrim::Closed(std::size_t connections) {
  if (FConnections.Left(connections)) malloc_trim(0);
}

void MemoryTrim::Started() { FRequests.Rose(++FAnswering); }

void MemoryTrim::Ended() {
  if (FRequests.Left(--FAnswering)) malloc_trim(0);
}

}  // namespace site
