#pragma once
// A loopback HTTP server of our own, for replies that real servers do not
// send. It answers one connection after another, in order, each with the next
// reply of its script, and records the bytes of every request it read.
//
// A request is read up to its blank line plus the body its "Content-Length"
// announces; then the reply runs, the server half-closes and waits for the
// client to close. Everything it does has a deadline (Deadline, per step), so
// a client that misbehaves fails the test instead of hanging it.
//
//   ScriptedServer server({ScriptedServer::Send("HTTP/1.0 200 OK\r\n\r\nhi")});
//   client.Get(server.Url("/x"));
//   server.Join();
//   EXPECT_EQ(server.Requests()[0], "GET /x HTTP/1.0\r\n...");

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedServer {
public:
  // A reply gets the connected socket and writes what it wants.
  using Reply = std::function<void(int fd)>;

  static constexpr std::chrono::seconds Deadline{20};

  explicit ScriptedServer(std::vector<Reply> script);
  ~ScriptedServer();

  // A reply that sends these bytes, all of them.
  static Reply Send(std::string bytes);
  // Writes all bytes; false when the peer has gone or the deadline passed.
  static bool WriteAll(int fd, const std::string& bytes);

  uint16_t Port() const { return FPort; }
  std::string Url(const std::string& path) const;
  // Waits until the script has run to its end (or the deadline passed).
  void Join();
  std::vector<std::string> Requests();

private:
  void Serve(std::vector<Reply> script);
  std::string ReadRequest(int fd);

  int FListen = -1;
  uint16_t FPort = 0;
  std::mutex FMutex;
  std::vector<std::string> FRequests;
  std::thread FThread;
};
