#pragma once
// Gives the memory of a crowd back to the system once the crowd has gone:
// the allocator keeps freed memory for reuse, so without this an attack's
// peak would stay the process's size. A crowd is of connections, or of
// requests: behind a proxy that keeps a pool of connections open, a crowd
// leaves as its requests end while the connections stay.

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
  // Called as a connection starts answering a request, and as it has answered.
  void Started();
  void Ended();

private:
  // The most seen at once since the last trim.
  class Peak {
  public:
    // Below `crowd` at once there is too little to give back to be worth a
    // trim, which walks every free block of the heap.
    Peak(std::size_t crowd, std::size_t few) : FCrowd(crowd), FFew(few) {}
    void Rose(std::size_t now);
    // True, once per crowd, when a crowd has shrunk to a few.
    bool Left(std::size_t now);

  private:
    const std::size_t FCrowd;
    const std::size_t FFew;
    std::atomic<std::size_t> FPeak{0};
  };

  Peak FConnections{64, 8};
  // A request holds much more than a connection does: its page and records.
  Peak FRequests{32, 4};
  std::atomic<std::size_t> FAnswering{0};
};

}  // namespace site
