#pragma once
// One HTTPS GET for registration data: the peer verified against the
// service's trust store and its host name checked, a deadline over the whole
// exchange, a cap on the answer's size, and at most a few redirections, each
// to HTTPS again.

#include "sources/ReportContext.h"

#include <chrono>
#include <functional>
#include <memory>
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

// Runs on the page's strand, its server's name looked up by the page's
// resolver, and calls `done` there exactly once, at the latest when `deadline`
// passes. `privateAllowed`: see SourcePolicy.h.
void HttpsGet(const std::shared_ptr<ReportContext>& context, const std::string& url,
              std::chrono::steady_clock::time_point deadline, bool privateAllowed, HttpsDone done);

}  // namespace site
