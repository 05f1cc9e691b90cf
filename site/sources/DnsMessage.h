#pragma once
// Reads a DNS answer message as c-ares hands it back: the records of the asked
// type in presentation form, and how long the answer may be kept.

#include "sources/Resolver.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace site {

// At most this many records of one answer are kept; the rest are dropped.
inline constexpr std::size_t kMaxDnsRecords = 64;
inline constexpr int kDnsClassIn = 1;

struct DnsMessage {
  std::vector<std::string> Records;  // of the asked type, in the order of the answer
  std::uint32_t Ttl = 0;             // the smallest TTL among Records
  std::optional<std::uint32_t> NegativeTtl;  // from the authority section's SOA: min(its TTL, its minimum)
};

// Throws std::runtime_error("malformed DNS answer") on anything that does not parse.
DnsMessage ReadDnsMessage(std::span<const unsigned char> message, DnsType type);

// "A", "AAAA", "MX", ...
std::string_view DnsTypeName(DnsType type);

// The wire code of the type (1 for A, 28 for AAAA, ...).
int DnsTypeCode(DnsType type);

// "1.0.0.10.in-addr.arpa" from "10.0.0.1", "1.0.0.0.[...].8.b.d.0.1.0.0.2.ip6.arpa"
// from "2001:db8::1"; empty when the text is neither an IPv4 nor an IPv6 address.
std::string ReverseName(const std::string& address);

}  // namespace site
