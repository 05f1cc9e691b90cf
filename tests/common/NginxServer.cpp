#include "NginxServer.h"

#include "LoopbackPort.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

std::string Config(const TempDir& dir, uint16_t port, const std::string& httpDirectives, const std::string& serverDirectives,
                   const std::string& certificate, const std::string& key) {
  const std::string d = dir.Path();
  const std::string tls =
      certificate.empty() ? "" : " ssl;\n    ssl_certificate " + certificate + ";\n    ssl_certificate_key " + key;
  return "daemon off;\n"
         "master_process off;\n"
         "worker_processes 1;\n"
         "error_log " + d + "/error.log warn;\n"
         "pid " + d + "/nginx.pid;\n"
         "events { worker_connections 256; }\n"
         "http {\n"
         "  access_log off;\n"
         "  sendfile on;\n"
         "  client_body_temp_path " + d + "/tmp/body;\n"
         "  proxy_temp_path " + d + "/tmp/proxy;\n"
         "  fastcgi_temp_path " + d + "/tmp/fastcgi;\n"
         "  uwsgi_temp_path " + d + "/tmp/uwsgi;\n"
         "  scgi_temp_path " + d + "/tmp/scgi;\n"
         "  types { text/html html; text/plain txt; }\n"
         "  default_type application/octet-stream;\n" +
         httpDirectives +
         "  server {\n"
         "    listen 127.0.0.1:" + std::to_string(port) + tls + ";\n"
         "    server_name localhost;\n"
         "    root " + d + "/www;\n" +
         serverDirectives +
         "\n  }\n"
         "}\n";
}

}  // namespace

bool NginxServer::Start(const std::string& serverDirectives, std::string* error,
                        const std::vector<std::string>& launcher) {
  std::filesystem::create_directories(FDir.File("tmp"));
  std::filesystem::create_directories(Root());
  for (int attempt = 0; attempt < 5; ++attempt) {
    FPort = FreeLoopbackPort();
    FDir.WriteFile("nginx.conf", Config(FDir, FPort, FHttpDirectives, serverDirectives, FCertificate, FKey));
    std::vector<std::string> argv = launcher;
    for (const char* a : {"nginx", "-e", "stderr", "-p", "", "-c", ""}) argv.emplace_back(a);
    argv[argv.size() - 3] = FDir.Path();
    argv[argv.size() - 1] = FDir.File("nginx.conf");
    if (!FProcess.Start(argv, FDir.File("nginx.log"))) break;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (FProcess.Running() && std::chrono::steady_clock::now() < deadline) {
      if (WaitUntilListening(FPort, std::chrono::milliseconds(50))) return true;
    }
    FProcess.Stop();
  }
  if (error) *error = "nginx did not start: " + FDir.ReadFile("nginx.log") + FDir.ReadFile("error.log");
  return false;
}

std::string NginxServer::Url(const std::string& path) const {
  return (FCertificate.empty() ? "http://127.0.0.1:" : "https://127.0.0.1:") + std::to_string(FPort) + path;
}
