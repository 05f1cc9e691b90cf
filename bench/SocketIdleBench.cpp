// How much processor time a capture burns while it waits for a peer that says
// nothing. The peer is a listening socket that is never accepted from: the
// kernel completes the connection, and no byte ever comes.
#include "AsyncSocket.h"

#include <QCoreApplication>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return s(u.ru_utime) + s(u.ru_stime);
}

uint16_t SilentPeer(int& fd) {
  fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 1) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    std::perror("listen");
    std::exit(1);
  }
  return ntohs(a.sin_port);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int peer = -1;
  TAsyncSocket socket(nullptr);
  socket.Host = "127.0.0.1";
  socket.Port = SilentPeer(peer);
  socket.Connect();
  socket.TimeOut = 5000;
  std::string text;
  const double before = CpuSeconds();
  try {
    socket.CaptureString(text, -1);
  } catch (const EAbortError&) {
    // The time-out is the expected end.
  }
  const double used = CpuSeconds() - before;
  std::printf("capture_wait_5s_cpu_seconds: %.4f\n", used);
  std::printf("capture_wait_timed_out: %d\n", socket.TimedOut ? 1 : 0);
  socket.Disconnect();
  ::close(peer);
  return 0;
}
