#include "Soak.h"

#include "HttpClient.h"
#include "LoopbackPort.h"
#include "NginxServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int64_t RssKiB() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int OpenFds() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

// A peer that lets connections in and never answers: the kernel accepts
// them into the backlog, so requests to it can only end by their time-out.
class TSilentPeer {
public:
  TSilentPeer() {
    FFd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(FFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(FFd, 1024);
    getsockname(FFd, reinterpret_cast<sockaddr*>(&a), &len);
    FPort = ntohs(a.sin_port);
  }
  ~TSilentPeer() { close(FFd); }
  // Takes the connections that have piled up, so the backlog never fills.
  void Drain() {
    int c;
    while ((c = accept4(FFd, nullptr, nullptr, SOCK_NONBLOCK)) >= 0) close(c);
  }
  uint16_t Port() const { return FPort; }

private:
  int FFd;
  uint16_t FPort;
};

struct TKind {
  const char* Path;  // on nginx; nullptr for the refused and silent peers
  int Reply;         // expected ReplyNumber, or 0 when an exception is expected
  const char* Error; // expected exception text
  size_t Size;       // expected body size
};

}  // namespace

TSoakFigures RunSoak(int count, int warmUp, std::string& error) {
  TSoakFigures f;
  NginxServer nginx;
  nginx.Dir().WriteFile("www/small.html", std::string(1024, 's'));
  nginx.Dir().WriteFile("www/medium.bin", std::string(100 * 1024, 'm'));
  nginx.Dir().WriteFile("www/large.bin", std::string(1024 * 1024, 'l'));
  if (!nginx.Start("location = /moved { return 302 /small.html; }", &error)) return f;
  TSilentPeer silent;
  const uint16_t refused = FreeLoopbackPort();

  const TKind kinds[] = {
      {"/small.html", 200, nullptr, 1024},     {"/medium.bin", 200, nullptr, 100 * 1024},
      {"/missing", 404, nullptr, 0},           {"/moved", 200, nullptr, 1024},
      {"/large.bin", 200, nullptr, 1024 * 1024}, {nullptr, 0, "Connection Failed", 0},
      {"/small.html", 200, nullptr, 1024},     {nullptr, 0, "Socket readln aborted", 0},
  };
  THttpClient client(nullptr);
  client.OutputFileMode = false;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    if (i == warmUp) {
      f.RssWarmKiB = RssKiB();
      f.FdsWarm = OpenFds();
    }
    const TKind& k = kinds[i % std::size(kinds)];
    std::string url;
    client.TimeOut = 0;
    if (k.Path) {
      url = nginx.Url(k.Path);
    } else if (std::string(k.Error) == "Connection Failed") {
      url = "http://127.0.0.1:" + std::to_string(refused) + "/";
    } else {
      url = "http://127.0.0.1:" + std::to_string(silent.Port()) + "/";
      client.TimeOut = 20;
    }
    std::string outcome;
    try {
      client.Get(url);
      if (k.Error || client.ReplyNumber != k.Reply || (k.Reply == 200 && client.Body.size() != k.Size))
        outcome = "reply " + std::to_string(client.ReplyNumber) + " with " + std::to_string(client.Body.size()) + " bytes";
    } catch (const std::exception& e) {
      if (!k.Error || e.what() != std::string(k.Error)) outcome = e.what();
    }
    if (!outcome.empty() && f.Unexpected++ == 0) f.FirstUnexpected = url + ": " + outcome;
    silent.Drain();
    ++f.Transactions;
  }
  f.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.RssEndKiB = RssKiB();
  f.FdsEnd = OpenFds();
  return f;
}
