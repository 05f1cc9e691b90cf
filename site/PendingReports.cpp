// Stand-ins until the real reports arrive: each says it is not ready.
#include "Reports.h"

#include <boost/asio/post.hpp>

namespace site {

namespace {

void NotReady(const std::shared_ptr<ReportContext>& context, ReportDone done) {
  boost::asio::post(context->Executor, [done = std::move(done)] { done(ReportResult{Outcome::Failed, "ещё не готово", {}, {}, {}, {}}); });
}

}  // namespace

void DomainRecord(std::shared_ptr<ReportContext> context, const Target&, ReportDone done) { NotReady(context, std::move(done)); }
void RouteTrace(std::shared_ptr<ReportContext> context, const Target&, ReportDone done) { NotReady(context, std::move(done)); }
void NetworkRecord(std::shared_ptr<ReportContext> context, const Target&, ReportDone done) { NotReady(context, std::move(done)); }

}  // namespace site
