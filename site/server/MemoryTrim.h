#pragma once
// Gives the memory of a crowd of connections back to the system once the
// crowd has gone: the allocator keeps freed memory for reuse, so without this
// an attack's peak would stay the process's size.

#include <atomic>
#include <cstddef>

namespace site {

class MemoryTrim {
public:
  // Called as a connection opens, with the connections then open.
  void Opened(std::size_t connections);
  // Called as a connection closes, with the connections left; trims when a
  // crowd has shrunk to a few.
  void Closed(std::size_t connections);

private:
  std::atomic<std::size_t> FPeak{0};
};

}  // namespace site
