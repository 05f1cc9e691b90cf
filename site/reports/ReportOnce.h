#pragma once
// The end of one report: its ReportDone called exactly once, with the time it
// took, and at the latest at the page's deadline.

#include "base/Report.h"
#include "sources/ReportContext.h"

#include <boost/asio/steady_timer.hpp>
#include <memory>

namespace site {

class ReportOnce : public std::enable_shared_from_this<ReportOnce> {
public:
  // Arms the deadline; when it passes first, the report ends as timed out.
  static std::shared_ptr<ReportOnce> Start(const std::shared_ptr<ReportContext>& context, ReportDone done);

  ReportOnce(const std::shared_ptr<ReportContext>& context, ReportDone done);
  bool Finished() const { return FFinished; }
  // Later calls are ignored: whatever still runs after the end is too late.
  void Finish(ReportResult result);

private:
  boost::asio::steady_timer FTimer;
  ReportDone FDone;
  std::chrono::steady_clock::time_point FStarted = std::chrono::steady_clock::now();
  bool FFinished = false;
};

// A failed or timed-out result with its Russian reason.
ReportResult FailedResult(std::string reason, bool timedOut = false);

}  // namespace site
