#pragma once
// whois/: reading a registry's WHOIS text into the summary's fields.
//
// The field reader: the vocabulary is in WhoisLabels, the lines are walked by
// WhoisLines, the asked object is chosen by WhoisObjects and dates are read by
// WhoisDates; this file only puts them together.

#include "base/Report.h"

#include <optional>
#include <string>
#include <vector>

namespace site {

// The value of the first line "key: value" whose key matches (case ignored).
std::optional<std::string> WhoisValue(const std::string& text, const std::string& key);

// The fields of the asked domain in one answer, as found.
struct WhoisDomainFields {
  std::string Registrar;                 // a name where the answer gives one, else the handle
  std::string Created, Expires;          // as found
  std::vector<std::string> Status;       // each code as found, links dropped
  std::vector<std::string> NameServers;  // host names, lower case, no trailing dot
};

// `asked`: the registered name the answer is about.
WhoisDomainFields ReadWhoisDomain(const std::string& text, const std::string& asked);

enum class WhoisKind { Domain, Network };

// Label/value rows from the answers, the later (more specific) answer first.
// For a domain, `asked` is the registered name; values of other objects are never read.
Table WhoisSummary(const std::vector<std::string>& answers, WhoisKind kind, const std::string& asked = {});

// Whether the answer says the server holds no such object.
bool WhoisSaysNoMatch(const std::string& text);

}  // namespace site
