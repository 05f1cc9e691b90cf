#pragma once
// Which RDAP service answers for a top-level domain or an address, according
// to IANA's bootstrap files (dns.json, ipv4.json, ipv6.json, asn.json), fetched from the
// configured base and kept for a day.

#include "sources/ReportContext.h"

#include <boost/asio/ip/address.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace site {

struct DomainService {
  std::string Url;   // base URL, ending in "/"
  std::string Zone;  // the entry that matched, e.g. "test"
};

// The service for the longest matching label suffix of `domain`; empty when no entry matches.
std::optional<DomainService> ServiceForDomain(const nlohmann::json& dns, const std::string& domain);
// The service base URL for the longest prefix of the address's own family
// (ipv4.json for IPv4, ipv6.json for IPv6) holding `address`.
std::optional<std::string> ServiceForAddress(const nlohmann::json& file, const boost::asio::ip::address& address);

// The service base URL for the narrowest range of autonomous system numbers
// ("1-1876", "15169") holding `number`, from asn.json.
std::optional<std::string> ServiceForAs(const nlohmann::json& asn, std::uint32_t number);

// The bootstrap file `name` ("dns.json", "ipv4.json", "ipv6.json", "asn.json"). On failure the file
// is null and `failure` says why, in Russian.
using BootstrapDone = std::function<void(std::shared_ptr<const nlohmann::json> file, std::string failure, bool timedOut)>;
void FetchBootstrap(const std::shared_ptr<ReportContext>& context, const std::string& name, BootstrapDone done);

}  // namespace site
