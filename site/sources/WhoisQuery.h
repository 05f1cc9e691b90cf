#pragma once
// One WHOIS exchange (RFC 3912): the query line over TCP, the answer read
// until the server closes, under a deadline and a byte cap.

#include "sources/ReportContext.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace site {

struct WhoisServer {
  std::string Host;
  std::string Port = "43";
  std::string Name() const { return Port == "43" ? Host : Host + ":" + Port; }
};

// "host" or "host:port", as configured or as a referral names it ("whois://"
// in front is dropped); empty for anything else.
std::optional<WhoisServer> ParseWhoisServer(std::string_view text);

struct WhoisReply {
  std::string Text;     // decoded to UTF-8
  std::string Failure;  // Russian
  bool TimedOut = false;
};

using WhoisDone = std::function<void(WhoisReply)>;

// Runs on the page's strand, the server's name looked up by the page's
// resolver, and calls `done` there exactly once, by `deadline` at the latest.
void WhoisQuery(const std::shared_ptr<ReportContext>& context, const WhoisServer& server, const std::string& query,
                std::chrono::steady_clock::time_point deadline, bool privateAllowed, WhoisDone done);

}  // namespace site
