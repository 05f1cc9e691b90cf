#pragma once
// A private nginx for tests and benchmarks, on a free port of 127.0.0.1.
//
// Construction makes a temporary folder; nothing runs yet. Put the files to
// serve below Root() (Dir().WriteFile("www/page.html", ...)), then Start()
// with the directives of the server block, for example
//
//   NginxServer nginx;
//   nginx.Dir().WriteFile("www/index.html", "hello");
//   ASSERT_TRUE(nginx.Start("location /old { return 301 /index.html; }"));
//   ... requests to nginx.Url("/index.html") ...
//
// The configuration, logs, pid file and nginx's temporary folders all live in
// Dir(); the server block already has "listen 127.0.0.1:<port>" and
// "root <Root()>". nginx runs in the foreground as a single process (no
// master), so pinning it with `taskset` pins its only worker. Start() returns
// once nginx accepts connections, retrying on another port if one was taken
// meanwhile. The destructor stops nginx (SIGTERM) and removes the folder.

#include "ChildProcess.h"
#include "TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

class NginxServer {
public:
  NginxServer() = default;
  ~NginxServer() { Stop(); }

  const TempDir& Dir() const { return FDir; }
  std::string Root() const { return FDir.File("www"); }

  // `launcher` is put before the nginx command, e.g. {"taskset", "-c", "0"}.
  // On failure, `error` (when given) gets nginx's log.
  bool Start(const std::string& serverDirectives, std::string* error = nullptr,
             const std::vector<std::string>& launcher = {});
  void Stop() { FProcess.Stop(); }
  // Directives of the http block, beside the server block (an upstream block, say); call before Start().
  void AddHttpDirectives(const std::string& directives) { FHttpDirectives += directives + "\n"; }
  // Serve HTTPS instead of HTTP with this certificate chain and key; call before Start().
  void ServeHttps(const std::string& certificateFile, const std::string& keyFile) {
    FCertificate = certificateFile;
    FKey = keyFile;
  }

  uint16_t Port() const { return FPort; }
  // "http://127.0.0.1:<port>" (or https) followed by path.
  std::string Url(const std::string& path) const;
  pid_t Pid() const { return FProcess.Pid(); }

private:
  TempDir FDir;
  ChildProcess FProcess;
  uint16_t FPort = 0;
  std::string FCertificate;
  std::string FKey;
  std::string FHttpDirectives;
};
