#include "page/PageRun.h"

#include "sources/AresResolver.h"
#include "reports/Reports.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <memory>

namespace site {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kGrace{1};

class Page : public LivePages::Page, public std::enable_shared_from_this<Page> {
public:
  Page(boost::asio::any_io_executor strand, std::shared_ptr<ReportContext> context, const LookupRequest& request,
       const ReportStarts& reports, PageDone done)
      : FTimer(strand), FContext(std::move(context)), FTarget(request.Address), FReports(reports), FDone(std::move(done)),
        FStarted(Clock::now()) {
    for (std::size_t i = 0; i < kReportCount; ++i)
      if (request.Wanted[i]) FSections.push_back({static_cast<ReportKind>(i), {}});
    FFinished.assign(FSections.size(), false);
    FPending = FSections.size();
  }

  void Start() {
    if (FPending == 0) return End([] {});
    FTimer.expires_at(FContext->Deadline + kGrace);
    FTimer.async_wait([self = shared_from_this()](const boost::system::error_code& error) {
      if (!error) self->TimeOut();
    });
    const auto self = shared_from_this();
    for (std::size_t i = 0; i < FSections.size(); ++i) {
      const auto kind = static_cast<std::size_t>(FSections[i].Kind);
      FReports[kind](FContext, FTarget, [self, i](ReportResult result) { self->Finished(i, std::move(result)); });
    }
  }

  void Cancel(std::string reason) override {
    boost::asio::post(FTimer.get_executor(), [self = shared_from_this(), reason = std::move(reason)] {
      self->End([&] {
        for (std::size_t i = 0; i < self->FSections.size(); ++i)
          if (!self->FFinished[i]) self->FSections[i].Result = ReportResult{Outcome::Failed, reason, {}, {}, {}, {}};
      });
    });
  }

private:
  void Finished(std::size_t index, ReportResult result) {
    if (!FContext || FFinished[index]) return;
    FFinished[index] = true;
    result.Elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - FStarted);
    FSections[index].Result = std::move(result);
    if (--FPending == 0) End([] {});
  }

  // A time-out already queued when the last report finished still runs: End() makes it a no-op.
  void TimeOut() {
    End([this] {
      for (std::size_t i = 0; i < FSections.size(); ++i) {
        if (FFinished[i]) continue;
        FSections[i].Result.State = Outcome::TimedOut;
        FSections[i].Result.Elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - FStarted);
      }
    });
  }

  // The one way a page ends, whichever of its last report, its time-out and a
  // cancellation comes first: `complete` fills the sections left open, `done`
  // is called, and every later call finds the page ended and does nothing.
  template <class Complete>
  void End(Complete complete) {
    if (!FContext) return;
    complete();
    FTimer.cancel();
    // Dropping the context first makes every late result a no-op, and breaks
    // the ring of a report's pending query holding the page that holds it.
    const auto context = std::move(FContext);
    context->End();
    Metrics& counters = context->Shared.Counters;
    for (const PageSection& section : FSections) counters.Count(counters.Reports[static_cast<std::size_t>(section.Result.State)]);
    PageDone done = std::move(FDone);
    done(std::move(FSections));
  }

  boost::asio::steady_timer FTimer;
  std::shared_ptr<ReportContext> FContext;
  Target FTarget;
  ReportStarts FReports;
  PageDone FDone;
  Clock::time_point FStarted;
  std::vector<PageSection> FSections;
  std::vector<bool> FFinished;
  std::size_t FPending = 0;
};

}  // namespace

void LivePages::Add(const std::shared_ptr<Page>& page) {
  std::lock_guard lock(FMutex);
  // Finished pages are swept out whenever the list has doubled, which keeps
  // it as long as the pages in flight and the sweeping cheap.
  if (FPages.size() >= 64 && (FPages.size() & (FPages.size() - 1)) == 0)
    std::erase_if(FPages, [](const std::weak_ptr<Page>& p) { return p.expired(); });
  FPages.push_back(page);
}

void LivePages::CancelAll() {
  std::lock_guard lock(FMutex);
  for (const auto& weak : FPages)
    if (const auto page = weak.lock()) page->Cancel("служба остановлена");
  FPages.clear();
}

ReportStarts RealReports() { return {DomainRecord, DnsRecords, RouteTrace, NetworkRecord, PortScan}; }

std::shared_ptr<LivePages::Page> RunPage(boost::asio::io_context& io, SharedState& shared, LivePages& live,
                                         const LookupRequest& request, const ReportStarts& reports, PageDone done) {
  boost::asio::any_io_executor strand = boost::asio::make_strand(io);
  auto context = std::make_shared<ReportContext>(
      ReportContext{strand, shared, MakeResolver(strand, shared), Clock::now() + shared.Opts.PageBudget});
  auto page = std::make_shared<Page>(strand, std::move(context), request, reports, std::move(done));
  live.Add(page);
  boost::asio::post(strand, [page] { page->Start(); });
  return page;
}

}  // namespace site
