// Stand-ins until the real resolver and reports arrive: each says it is not ready.
#include "AresResolver.h"
#include "Reports.h"

#include <boost/asio/post.hpp>

namespace site {

namespace {

void NotReady(const std::shared_ptr<ReportContext>& context, ReportDone done) {
  boost::asio::post(context->Executor, [done = std::move(done)] { done(ReportResult{Outcome::Failed, "ещё не готово", {}, {}, {}, {}}); });
}

class PendingResolver : public Resolver {
public:
  explicit PendingResolver(boost::asio::any_io_executor strand) : FStrand(std::move(strand)) {}
  void Query(const std::string&, DnsType, DnsDone done) override {
    boost::asio::post(FStrand, [done = std::move(done)] { done(DnsAnswer{false, "not ready", false, {}, 0}); });
  }
  void CancelAll() override {}

private:
  boost::asio::any_io_executor FStrand;
};

}  // namespace

std::shared_ptr<Resolver> MakeResolver(boost::asio::any_io_executor strand, SharedState&) {
  return std::make_shared<PendingResolver>(std::move(strand));
}

void DomainRecord(std::shared_ptr<ReportContext> context, const Target&, ReportDone done) { NotReady(context, std::move(done)); }
void DnsRecords(std::shared_ptr<ReportContext> context, const Target&, ReportDone done) { NotReady(context, std::move(done)); }
void RouteTrace(std::shared_ptr<ReportContext> context, const Target&, ReportDone done) { NotReady(context, std::move(done)); }
void NetworkRecord(std::shared_ptr<ReportContext> context, const Target&, ReportDone done) { NotReady(context, std::move(done)); }
void PortScan(std::shared_ptr<ReportContext> context, const Target&, ReportDone done) { NotReady(context, std::move(done)); }

}  // namespace site
