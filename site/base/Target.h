#pragma once
// The address a page is about, after decoding and validation.

#include <boost/asio/ip/address_v6.hpp>
#include <cstdint>
#include <optional>
#include <string>

namespace site {

struct Target {
  std::string Input;   // what the user typed, trimmed, as UTF-8 (for the page)
  std::string Domain;  // ASCII (IDNA) domain name, lower case, no trailing dot; empty for an address
  std::optional<std::uint32_t> Ipv4;  // host byte order; set when the input was a dotted IPv4 address
  std::optional<boost::asio::ip::address_v6> Ipv6;  // set when the input was an IPv6 address
  std::optional<std::uint32_t> As;  // set when the input was an autonomous system's number
};

}  // namespace site
