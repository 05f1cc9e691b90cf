#pragma once
// Which RDAP service answers for a top-level domain or an IPv4 address,
// according to IANA's bootstrap files (dns.json, ipv4.json), fetched from the
// configured base and kept for a day.

#include "sources/ReportContext.h"

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
// The service base URL for the longest matching prefix holding `address`.
std::optional<std::string> ServiceForIpv4(const nlohmann::json& ipv4, std::uint32_t address);

// The bootstrap file `name` ("dns.json", "ipv4.json"). On failure the file
// is null and `failure` says why, in Russian.
using BootstrapDone = std::function<void(std::shared_ptr<const nlohmann::json> file, std::string failure, bool timedOut)>;
void FetchBootstrap(const std::shared_ptr<ReportContext>& context, const std::string& name, BootstrapDone done);

}  // namespace site
