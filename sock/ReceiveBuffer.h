#pragma once
// Bytes received from a socket and not yet taken: what a line read brought
// beyond its line waits here for the next line or the capture, so that every
// byte is received from the kernel once.

#include <cstddef>
#include <memory>

class TReceiveBuffer {
public:
  const char* Data() const { return FData.get() + FBegin; }
  size_t Size() const { return FEnd - FBegin; }
  // A place for at least `n` more bytes after the kept ones; Added(m) then
  // keeps the first m of them.
  char* Room(size_t n);
  void Added(size_t n) { FEnd += n; }
  // Drops the first `n` kept bytes.
  void Take(size_t n);
  void Clear() { FBegin = FEnd = 0; }

private:
  std::unique_ptr<char[]> FData;
  size_t FCapacity = 0;
  size_t FBegin = 0;
  size_t FEnd = 0;
};
