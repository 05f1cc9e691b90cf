#include "sources/HttpsUrl.h"

#include <algorithm>
#include <cctype>

namespace site {

namespace {

// The target is bounded, not the whole text, so that an address taken reads
// the same when written out with its port, or made from a redirection.
constexpr std::size_t kMaxTarget = 2048;
constexpr std::size_t kMaxAuthority = 253 + 1 + 5;

bool HostChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
}

bool TargetChar(char c) {
  // Printable ASCII without blanks: anything else would corrupt the request line.
  return c > ' ' && c < 0x7f;
}

}  // namespace

std::optional<HttpsUrl> ParseHttpsUrl(const std::string& text) {
  static const std::string kScheme = "https://";
  if (text.size() > kScheme.size() + kMaxAuthority + kMaxTarget || text.size() <= kScheme.size()) return std::nullopt;
  std::string scheme = text.substr(0, kScheme.size());
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
  if (scheme != kScheme) return std::nullopt;

  const std::string rest = text.substr(kScheme.size());
  const std::size_t slash = std::min(rest.find_first_of("/?"), rest.size());
  std::string authority = rest.substr(0, slash);
  HttpsUrl url;
  url.Target = slash < rest.size() ? rest.substr(slash) : "/";
  if (url.Target.front() == '?') url.Target.insert(0, "/");
  if (url.Target.size() > kMaxTarget || !std::all_of(url.Target.begin(), url.Target.end(), TargetChar))
    return std::nullopt;

  url.Port = "443";
  if (const std::size_t colon = authority.rfind(':'); colon != std::string::npos) {
    url.Port = authority.substr(colon + 1);
    authority.resize(colon);
    if (url.Port.empty() || url.Port.size() > 5 ||
        !std::all_of(url.Port.begin(), url.Port.end(), [](unsigned char c) { return std::isdigit(c); }) ||
        std::stoul(url.Port) == 0 || std::stoul(url.Port) > 65535)
      return std::nullopt;
  }
  if (authority.empty() || authority.size() > 253 || !std::all_of(authority.begin(), authority.end(), HostChar))
    return std::nullopt;
  std::transform(authority.begin(), authority.end(), authority.begin(), [](unsigned char c) { return std::tolower(c); });
  url.Host = authority;
  return url;
}

std::optional<HttpsUrl> ResolveLocation(const HttpsUrl& base, const std::string& location) {
  if (location.starts_with("/") && !location.starts_with("//")) {
    if (location.size() > kMaxTarget || !std::all_of(location.begin(), location.end(), TargetChar)) return std::nullopt;
    HttpsUrl url = base;
    url.Target = location;
    return url;
  }
  return ParseHttpsUrl(location);
}

}  // namespace site
