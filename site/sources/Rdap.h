#pragma once
// One RDAP record (RFC 9082/9083) by its URL, kept for an hour so that
// registries' query limits hold under load.

#include "sources/ReportContext.h"

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace site {

struct RdapAnswer {
  std::optional<nlohmann::json> Record;  // empty on failure
  std::string Failure;                   // Russian
  bool TimedOut = false;
  bool NotFound = false;                 // the server holds no such record (404)
};

using RdapDone = std::function<void(RdapAnswer)>;

void FetchRdap(const std::shared_ptr<ReportContext>& context, const std::string& url, RdapDone done);

// The record as the page shows it: indented, every string valid UTF-8.
std::string PrettyRdap(const nlohmann::json& record);

}  // namespace site
