#include "Streams.h"

#include <algorithm>
#include <cstring>

int64_t TMemoryStream::Read(char* Data, int64_t Count) {
  const int64_t n = std::clamp<int64_t>(Size() - FPosition, 0, std::max<int64_t>(Count, 0));
  if (n > 0) std::memcpy(Data, FBytes.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

void TMemoryStream::Write(const char* Data, int64_t Count) {
  if (Count <= 0) return;
  const auto end = static_cast<size_t>(FPosition + Count);
  if (end > FBytes.size()) FBytes.resize(end);
  std::memcpy(FBytes.data() + FPosition, Data, static_cast<size_t>(Count));
  FPosition += Count;
}
