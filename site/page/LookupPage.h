#pragma once
// The page that answers a lookup: the target on top, then one section per
// ticked report in the window's order. Renders results only; never does I/O.

#include "page/LookupRequest.h"
#include "base/Report.h"

#include <chrono>
#include <string>
#include <vector>

namespace site {

struct PageSection {
  ReportKind Kind;
  ReportResult Result;
};

// The window's option text of a report, which heads its section.
const char* ReportTitle(ReportKind kind);

// `asked`: when the lookup was asked for, printed at the top of every page
// with the address and the reports ticked.
std::string LookupPage(const Target& target, const std::vector<PageSection>& sections,
                       std::chrono::system_clock::time_point asked);

}  // namespace site
