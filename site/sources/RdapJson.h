#pragma once
// Reading RDAP answers: parsing with a nesting limit, and the few fields a
// reader wants first, taken from the object classes of domains and networks.

#include "base/Report.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace site {

// Empty when the text is not a JSON object, or nests deeper or holds more
// values than a sane answer does.
std::optional<nlohmann::json> ParseRdapJson(const std::string& text);

// Label/value rows: registrar, created, expires, status, name servers.
Table DomainSummary(const nlohmann::json& domain);
// Label/value rows: range, name, country, organisation, created.
Table NetworkSummary(const nlohmann::json& network);

// Label/value rows of an autonomous system: number, name, holder, country,
// registered, and the regional registry, named by the record's WHOIS server
// or else by `registry`, the host of the RDAP server that answered.
Table AsSummary(const nlohmann::json& autnum, const std::string& registry);

// The registrar's own record, when the registry's answer links one.
std::optional<std::string> RegistrarLink(const nlohmann::json& domain);

// Rows of `extra` whose label `base` lacks are added to `base`.
void FillMissingRows(Table& base, const Table& extra);

}  // namespace site
