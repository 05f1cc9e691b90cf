#pragma once
// A WHOIS lookup as registries chain it: the root server's "refer:" answer,
// then one hop more on "Registrar WHOIS Server:". Each answer is kept for an hour.

#include "sources/ReportContext.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace site {

struct WhoisHop {
  std::string Server;  // "host" or "host:port"
  std::string Text;    // UTF-8
};

struct WhoisResult {
  std::vector<WhoisHop> Hops;  // the answers that came, root first
  std::string Failure;         // Russian; with hops, the chain broke after them
  bool TimedOut = false;
};

using WhoisChainDone = std::function<void(WhoisResult)>;

void WhoisLookup(const std::shared_ptr<ReportContext>& context, const std::string& query, WhoisChainDone done);

// The raw text of a chain as the page shows it: each server's answer under its name.
std::string WhoisRaw(const std::vector<WhoisHop>& hops);

// A record's note when WHOIS stood in for RDAP: `why` it did (a sentence),
// then whether WHOIS gave the record, so that a failure never reads as success.
std::string WhoisNote(const std::string& why, bool answered);

}  // namespace site
