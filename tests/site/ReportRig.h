#pragma once
// Runs one report the way a page does: on a strand of an io_context, with the
// page's deadline, and returns what the report handed back. DNS answers come
// from the resolver at Opts.Resolver (a local unbound) when it is set, else
// from a table (names unknown to it fail), so no query leaves the process.

#include "sources/ReportContext.h"
#include "reports/Reports.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using ReportFunction = void (*)(std::shared_ptr<site::ReportContext>, const site::Target&, site::ReportDone);

class ReportRig {
public:
  site::Options Opts;
  std::map<std::pair<std::string, site::DnsType>, std::vector<std::string>> Dns;
  // How long the event loop is held up by other work right after the report has started.
  std::chrono::milliseconds BusyAfterStart{0};

  // Runs `report` for `input` (a dotted IPv4 address or a domain name) under
  // `budget`. Fails the test when the report does not end exactly once in time.
  site::ReportResult Run(ReportFunction report, const std::string& input,
                         std::chrono::milliseconds budget = std::chrono::seconds(10));
  // How many times the last run's report called its ReportDone.
  int Calls() const { return FCalls; }

private:
  // Made at the first run, so that every run of one test shares its caches.
  std::unique_ptr<site::SharedState> FShared;
  int FCalls = 0;
};

site::Target TargetOf(const std::string& input);
