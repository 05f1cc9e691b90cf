#pragma once
// Relays on 127.0.0.1 that hold traffic for a fixed time before passing it to
// a local server, so that a benchmark sees a distant server's latency while
// nothing leaves the machine. Each runs on threads of its own; the destructor
// stops and joins them. Every wait is bounded.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// TCP: each accepted connection waits `delay`, then is joined to the server.
class TcpDelayRelay {
public:
  TcpDelayRelay(std::uint16_t serverPort, std::chrono::milliseconds delay);
  ~TcpDelayRelay();
  TcpDelayRelay(const TcpDelayRelay&) = delete;
  TcpDelayRelay& operator=(const TcpDelayRelay&) = delete;

  std::uint16_t Port() const { return FPort; }
  // The connections open now pass nothing more either way yet stay open, as
  // links a firewall dropped without a word; later connections pass as before.
  void SilenceOpenConnections() { ++FSilenced; }

private:
  void Accept();
  void Pipe(int client);

  std::uint16_t FServerPort;
  std::chrono::milliseconds FDelay;
  std::uint16_t FPort = 0;  // before the socket, whose making sets it
  int FListen = -1;
  std::atomic<bool> FStopping{false};
  std::atomic<unsigned> FSilenced{0};
  std::mutex FMutex;
  std::vector<std::thread> FConnections;
  std::thread FAcceptor;
};

// UDP: each datagram to the relay reaches the server `delay` later; the
// server's answer goes straight back to the datagram's sender.
class UdpDelayRelay {
public:
  UdpDelayRelay(std::uint16_t serverPort, std::chrono::milliseconds delay);
  ~UdpDelayRelay();
  UdpDelayRelay(const UdpDelayRelay&) = delete;
  UdpDelayRelay& operator=(const UdpDelayRelay&) = delete;

  std::uint16_t Port() const { return FPort; }

private:
  void Serve();

  std::uint16_t FServerPort;
  std::chrono::milliseconds FDelay;
  std::uint16_t FPort = 0;  // before the socket, whose making sets it
  int FSocket = -1;
  std::atomic<bool> FStopping{false};
  std::thread FThread;
};
