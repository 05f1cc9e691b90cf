#pragma once
// A WHOIS server of our own on 127.0.0.1 (or ::1) for the answers tests need: it reads
// the query line of each connection and lets the test's reply write to the
// socket. Replies are bounded in time; the destructor stops and joins it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class WhoisScript {
public:
  // Gets the query (without its line end) and the connected socket; returns when done with it.
  using Reply = std::function<void(const std::string& query, int fd, const std::atomic<bool>& stopping)>;

  explicit WhoisScript(Reply reply, bool ipv6 = false);
  ~WhoisScript();

  // A reply that sends these bytes and closes.
  static Reply Answer(std::string bytes);
  // A reply that sends nothing until the server stops.
  static Reply Stall();
  // A reply that sends without end until the client closes or the server stops.
  static Reply Endless();

  uint16_t Port() const { return FPort; }
  std::string Address() const { return (FIpv6 ? "[::1]:" : "127.0.0.1:") + std::to_string(FPort); }
  std::vector<std::string> Queries();
  // Connections taken so far, counted before their query is read.
  int Accepted() const { return FAccepted; }

private:
  void Serve();

  int FListen = -1;
  bool FIpv6 = false;
  uint16_t FPort = 0;
  Reply FReply;
  std::atomic<bool> FStopping{false};
  std::atomic<int> FAccepted{0};
  std::mutex FMutex;
  std::vector<std::string> FQueries;
  std::thread FThread;
};
