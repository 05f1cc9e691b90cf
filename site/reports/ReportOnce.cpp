#include "reports/ReportOnce.h"

namespace site {

std::shared_ptr<ReportOnce> ReportOnce::Start(const std::shared_ptr<ReportContext>& context, ReportDone done) {
  auto once = std::make_shared<ReportOnce>(context, std::move(done));
  once->FTimer.expires_at(context->Deadline);
  // The timer holds the report's end alive, so it comes even if every operation was lost.
  once->FTimer.async_wait([once](boost::system::error_code error) {
    if (!error) once->Finish(FailedResult("Отчёт не завершился до конца времени, отведённого странице", true));
  });
  return once;
}

ReportOnce::ReportOnce(const std::shared_ptr<ReportContext>& context, ReportDone done)
    : FTimer(context->Executor), FDone(std::move(done)) {}

void ReportOnce::Finish(ReportResult result) {
  if (FFinished) return;
  FFinished = true;
  FTimer.cancel();
  result.Elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - FStarted);
  auto done = std::move(FDone);
  done(std::move(result));
}

ReportResult FailedResult(std::string reason, bool timedOut) {
  ReportResult result;
  result.State = timedOut ? Outcome::TimedOut : Outcome::Failed;
  result.Reason = std::move(reason);
  return result;
}

}  // namespace site
