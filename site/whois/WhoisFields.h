#pragma once
// whois/: reading a registry's WHOIS text into the summary's fields.
//
// Reading WHOIS answers: "key: value" lines, the referrals they carry, and the
// few fields a reader wants first.

#include "base/Report.h"

#include <optional>
#include <string>
#include <vector>

namespace site {

// The value of the first line "key: value" whose key matches (case ignored).
std::optional<std::string> WhoisValue(const std::string& text, const std::string& key);

enum class WhoisKind { Domain, Network };

// Label/value rows from the answers, the later (more specific) answer first.
Table WhoisSummary(const std::vector<std::string>& answers, WhoisKind kind);

// Whether the answer says the server holds no such object.
bool WhoisSaysNoMatch(const std::string& text);

}  // namespace site
