#pragma once
// The far end of a socket test: listens on 127.0.0.1, accepts one connection
// on its own thread and runs a script on it. Every blocking step of a script
// has a deadline, so a component that misbehaves fails the test, not hangs it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class TLoopbackPeer {
public:
  using TScript = std::function<void(TLoopbackPeer& peer)>;
  explicit TLoopbackPeer(TScript script);
  ~TLoopbackPeer();
  TLoopbackPeer(const TLoopbackPeer&) = delete;
  TLoopbackPeer& operator=(const TLoopbackPeer&) = delete;

  uint16_t Port() const { return FPort; }
  // Waits for the script to end.
  void Join();

  // For scripts: the connected socket's steps.
  bool Send(const std::string& bytes);
  // Reads exactly `count` bytes, or what came before the peer closed or the deadline.
  std::string Receive(size_t count);
  // Reads until the other side closes.
  std::string ReceiveAll();
  // Reads up to and including `marker`, such as the blank line of a request.
  std::string ReceiveUntil(const std::string& marker);
  void Pause(std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); }
  // Closes with a reset instead of an orderly close.
  void Reset();
  void Close();
  // Waits until the other side has closed, dropping what it sends meanwhile.
  bool WaitForClose();

private:
  int FListen = -1;
  int FConn = -1;
  uint16_t FPort = 0;
  std::thread FThread;
};

// A port on 127.0.0.1 where nothing listens.
uint16_t ClosedPort();
