// Splitting the current URL into Host, Port and the request path.
#include "HttpClient.h"

namespace {

constexpr size_t MaxPathLength = 256;

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

bool Contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

}  // namespace

void THttpClient::ParseURL() {
  if (FURL.empty()) throw Exception("Empty URL");
  if (Port == 0) Port = 80;

  if (Contains(FURL, "//")) {
    const auto from = static_cast<size_t>(NthWordPos(FURL, '/', 3) - 1);
    FPath = from < FURL.size() ? FURL.substr(from, MaxPathLength) : std::string();
  } else if (Contains(FURL, "/")) {
    FPath = FURL.substr(FURL.find('/'), MaxPathLength);
  } else {
    FPath.clear();
  }

  // Only the scheme word picks the port; whatever it names, an HTTP request goes out.
  if (Contains(FURL, ":")) {
    const std::string scheme = LowerAscii(FURL.substr(0, FURL.find(':')));
    if (scheme == "https") throw Exception("HTTP Secure Socket is not supported");
    Port = scheme == "gopher" ? 70 : scheme == "ftp" ? 21 : 80;
  }

  std::string hostPart;
  if (Contains(FURL, "//")) {
    hostPart = NthWord(FURL, '/', 3);
  } else if (FURL[0] != '/') {
    hostPart = NthWord(FURL, '/', 1);
  }
  if (Contains(hostPart, ":")) {
    Port = StrToInt(NthWord(hostPart, ':', 2));
    hostPart.erase(hostPart.find(':'));
  }
  if (!hostPart.empty()) Host = hostPart;

  if (FPath.empty()) {
    FPath.assign(1, '/');
    FURL += "/";
  }
}
