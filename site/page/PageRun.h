#pragma once
// page/: a lookup page: the request read, the reports run under one budget, the HTML written.
//
// One lookup page: every ticked report at once on the page's own strand,
// under the page's budget, and the sections once all have finished.

#include "page/LookupPage.h"
#include "page/LookupRequest.h"
#include "sources/ReportContext.h"

#include <array>
#include <boost/asio/io_context.hpp>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace site {

using PageDone = std::function<void(std::vector<PageSection>)>;

// How each report is started, indexed by ReportKind.
using StartReport = std::function<void(std::shared_ptr<ReportContext>, const Target&, ReportDone)>;
using ReportStarts = std::array<StartReport, kReportCount>;

// The five reports of Reports.h.
ReportStarts RealReports();

// The pages still being looked up, so that a stopping service can end them:
// a page waiting on its resolver is held by its own pending queries.
class LivePages {
public:
  struct Page {
    virtual ~Page() = default;
    // Ends the page at once, on its own strand: every report not yet finished
    // fails with `reason` (Russian), its queries are cancelled and its late
    // results dropped. Nothing when the page has ended already.
    virtual void Cancel(std::string reason) = 0;
  };

  void Add(const std::shared_ptr<Page>& page);
  void CancelAll();

private:
  std::mutex FMutex;
  std::vector<std::weak_ptr<Page>> FPages;
};

// `done` is called once, on the page's strand. A report that has not finished
// a second after the budget shows as timed out and its late result is dropped,
// so no report can hold a page. The page is returned for cancelling; holding
// it keeps it alive.
std::shared_ptr<LivePages::Page> RunPage(boost::asio::io_context& io, SharedState& shared, LivePages& live,
                                         const LookupRequest& request, const ReportStarts& reports, PageDone done);

}  // namespace site
