#pragma once
// The page that answers a lookup: the target on top, then one section per
// ticked report in the window's order. Renders results only; never does I/O.

#include "page/LookupRequest.h"
#include "base/Report.h"
#include "history/PageChanges.h"

#include <chrono>
#include <cstddef>
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
// with the address and the reports ticked. At most `maxBytes` long: each
// section has an equal share, and a section whose results do not fit shows
// their beginning and says it was cut. `history`: what each section ends with
// about the name's earlier lookups.
std::string LookupPage(const Target& target, const std::vector<PageSection>& sections,
                       std::chrono::system_clock::time_point asked, std::size_t maxBytes, const PageHistory& history = {});

}  // namespace site
