#pragma once
// One lookup page: every ticked report at once on the page's own strand,
// under the page's budget, and the sections once all have finished.

#include "LookupPage.h"
#include "LookupRequest.h"
#include "ReportContext.h"

#include <boost/asio/io_context.hpp>
#include <functional>
#include <vector>

namespace site {

using PageDone = std::function<void(std::vector<PageSection>)>;

// `done` is called once, on the page's strand. A report that has not finished
// a second after the budget shows as timed out and its late result is dropped,
// so no report can hold a page.
void RunPage(boost::asio::io_context& io, SharedState& shared, const LookupRequest& request, PageDone done);

}  // namespace site
