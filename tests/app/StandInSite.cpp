// A stand-in for the lookup service, for the window's embedded mode: started
// as the service is, it keeps the same start-up contract. It listens on the
// loopback port the system picks, says "listening on 127.0.0.1:PORT" on its
// standard output and answers every request with a page that names the
// request line and its own command line, until SIGTERM ends it with status 0.
//
// STANDIN_SITE_MODE picks a misbehaviour: "exit" ends at once with status 3,
// "silent" never says it listens, "garbled" says something else.
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t kMaxHead = 16384;

void Stop(int) { _exit(0); }

std::string ReadHead(int fd) {
  std::string head;
  char chunk[1024];
  while (head.size() < kMaxHead && head.find("\r\n\r\n") == std::string::npos) {
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    head.append(chunk, static_cast<size_t>(n));
  }
  return head;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '&') out += "&amp;";
    else out += c;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGTERM, Stop);
  std::signal(SIGPIPE, SIG_IGN);
  const char* mode = std::getenv("STANDIN_SITE_MODE");
  const std::string how = mode ? mode : "";
  if (how == "exit") return 3;
  std::string arguments;
  for (int i = 1; i < argc; ++i) arguments += std::string(i > 1 ? " " : "") + argv[i];

  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 16) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 1;
  if (how == "garbled") std::printf("ready, more or less\n");
  else if (how != "silent") std::printf("listening on 127.0.0.1:%u\n", ntohs(address.sin_port));
  std::fflush(stdout);

  for (;;) {
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    const std::string head = ReadHead(fd);
    const std::string page = "<html><body><h1>Stand-in service</h1><p>" + Escaped(head.substr(0, head.find("\r\n"))) +
                             "</p><p>started with: " + Escaped(arguments) + "</p></body></html>";
    const std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                              std::to_string(page.size()) + "\r\n\r\n" + page;
    for (size_t sent = 0; sent < reply.size();) {
      const ssize_t n = send(fd, reply.data() + sent, reply.size() - sent, 0);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    close(fd);
  }
}
