#pragma once
// One HTTPS GET for registration data: the peer verified against the
// service's trust store and its host name checked, a deadline over the whole
// exchange, a cap on the answer's size, and at most a few redirections, each
// to HTTPS again.

#include "ReportContext.h"

#include <boost/asio/any_io_executor.hpp>
#include <chrono>
#include <functional>
#include <string>

namespace site {

struct HttpsReply {
  unsigned Status = 0;   // 0 when no answer came; `Failure` then says why
  std::string Body;
  std::string Failure;   // Russian
  bool TimedOut = false;
  std::string FinalUrl;  // after redirections
};

using HttpsDone = std::function<void(HttpsReply)>;

// Runs on `executor` (the page's strand) and calls `done` there exactly once,
// at the latest when `deadline` passes. `privateAllowed`: see SourcePolicy.h.
void HttpsGet(boost::asio::any_io_executor executor, SharedState& shared, const std::string& url,
              std::chrono::steady_clock::time_point deadline, bool privateAllowed, HttpsDone done);

}  // namespace site
