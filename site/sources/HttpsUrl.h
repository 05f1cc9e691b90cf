#pragma once
// The parts of an https:// address that a request needs. Only HTTPS is
// accepted: registration data travels over verified connections or not at all.

#include <optional>
#include <string>

namespace site {

struct HttpsUrl {
  std::string Host;    // lower case; an IPv4 literal stays as written
  std::string Port;    // "443" unless given
  std::string Target;  // path and query, at least "/"
};

// Empty for anything that is not a plain https URL with a host.
std::optional<HttpsUrl> ParseHttpsUrl(const std::string& text);

// The address a redirection's Location names, taken relative to `base`.
std::optional<HttpsUrl> ResolveLocation(const HttpsUrl& base, const std::string& location);

}  // namespace site
