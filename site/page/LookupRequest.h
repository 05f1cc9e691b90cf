#pragma once
// The window's lookup request: the address and the five ticked reports, taken
// from the query of "/whois/index.php".

#include "base/Target.h"

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string_view>

namespace site {

// The five reports in the window's order.
enum class ReportKind { DomainRecord, DnsRecords, RouteTrace, NetworkRecord, PortScan };
inline constexpr std::size_t kReportCount = 5;

// The query key that ticks a report.
const char* ReportKey(ReportKind kind);

// An address that is not one; the text is the Russian reason for the page.
struct BadAddress : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct LookupRequest {
  Target Address;
  std::array<bool, kReportCount> Wanted{};  // indexed by ReportKind
};

// `query` is the raw text after '?'. Throws BadAddress.
LookupRequest ParseLookupQuery(std::string_view query, std::size_t maxAsciiBytes);

// Decodes and checks the address bytes, as sent: a domain name (international
// names in their ASCII form), a dotted IPv4 address, an IPv6 address or an
// autonomous system's number. Throws BadAddress.
Target ParseTarget(std::string_view bytes, std::size_t maxAsciiBytes);

}  // namespace site
