#include "ReceiveBuffer.h"

#include <algorithm>
#include <cstring>

char* TReceiveBuffer::Room(size_t n) {
  if (FCapacity - FEnd >= n) return FData.get() + FEnd;
  const size_t kept = Size();
  if (FCapacity - kept >= n) {
    std::memmove(FData.get(), Data(), kept);
  } else {
    // Only a long line grows the buffer; it doubles, so a line costs its
    // length in copies at most once more.
    const size_t capacity = std::max(2 * FCapacity, kept + n);
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (kept > 0) std::memcpy(data.get(), Data(), kept);
    FData = std::move(data);
    FCapacity = capacity;
  }
  FBegin = 0;
  FEnd = kept;
  return FData.get() + FEnd;
}

void TReceiveBuffer::Take(size_t n) {
  FBegin += n;
  if (FBegin == FEnd) Clear();
}
