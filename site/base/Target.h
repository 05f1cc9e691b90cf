#pragma once
// The address a page is about, after decoding and validation.

#include <cstdint>
#include <optional>
#include <string>

namespace site {

struct Target {
  std::string Input;   // what the user typed, trimmed, as UTF-8 (for the page)
  std::string Domain;  // ASCII (IDNA) domain name, lower case, no trailing dot; empty for an IPv4 address
  std::optional<std::uint32_t> Ipv4;  // host byte order; set when the input was a dotted IPv4 address
};

}  // namespace site
