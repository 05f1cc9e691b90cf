// Splitting the current URL into Host, Port and the request path.
#include "HttpClient.h"

namespace {

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// The length of a leading "scheme://", or 0 when the URL does not start with one.
size_t SchemeLength(const std::string& url) {
  size_t i = 0;
  while (i < url.size() && (std::isalnum(static_cast<unsigned char>(url[i])) || url[i] == '+' || url[i] == '-' ||
                            url[i] == '.')) {
    ++i;
  }
  return i > 0 && url.compare(i, 3, "://") == 0 ? i + 3 : 0;
}

}  // namespace

void THttpClient::ParseURL() {
  if (FURL.empty()) throw Exception("Empty URL");
  if (Port == 0) Port = 80;

  // Scheme, server and port are read only at the start: a ":" or "//" later
  // on, in a path or a query, names nothing.
  size_t hostFrom = 0;
  if (const size_t scheme = SchemeLength(FURL)) {
    const std::string word = LowerAscii(FURL.substr(0, scheme - 3));
    if (word == "https") throw Exception("HTTP Secure Socket is not supported");
    // Whatever the scheme names, an HTTP request goes out.
    Port = word == "gopher" ? 70 : word == "ftp" ? 21 : 80;
    hostFrom = scheme;
  } else if (FURL.front() == '/') {
    // A path alone keeps the server and its port.
    hostFrom = FURL.size();
  }

  const size_t pathFrom = hostFrom < FURL.size() ? std::min(FURL.find('/', hostFrom), FURL.size()) : FURL.size();
  std::string hostPart = FURL.substr(hostFrom, pathFrom - hostFrom);
  FPath = hostFrom < FURL.size() ? FURL.substr(pathFrom) : FURL;
  if (hostPart.find(':') != std::string::npos) {
    Port = StrToInt(NthWord(hostPart, ':', 2));
    hostPart.erase(hostPart.find(':'));
  }
  if (!hostPart.empty()) Host = hostPart;

  if (FPath.empty()) {
    FPath.assign(1, '/');
    FURL += "/";
  }
}
