#pragma once
// history/: what the site remembers of each name it was asked about, and how it tells what changed.
//
// The public facts a section of a page showed, read back from its result:
// never the client, never the registry's raw text, only the summary a reader
// saw. A fact is one value (a registrar) or a set (name servers, A records),
// each under the label the page gives it.

#include "base/Report.h"
#include "page/LookupRequest.h"

#include <optional>
#include <string>
#include <vector>

namespace site {

struct Fact {
  std::string Label;                 // as the page names it: "Регистратор", "Серверы имён", "A"
  bool IsSet = false;                // compared as a set: order and repeats do not count
  std::vector<std::string> Values;   // one value, or the set's members sorted
  bool operator==(const Fact&) const = default;
};

struct SectionFacts {
  ReportKind Kind{};
  std::vector<Fact> Facts;           // in the order the page shows them
  bool operator==(const SectionFacts&) const = default;
};

// Whether a section of this kind is remembered at all: a trace measures the
// path of the moment and is not.
bool KeepsHistory(ReportKind kind);

// The facts of a finished section; nothing when it did not finish (a failed or
// timed-out report says nothing about the name) or its kind keeps no history.
// A fact the report could not learn this time (a DNS query that failed) is
// left out, rather than recorded as gone.
std::optional<SectionFacts> FactsOf(ReportKind kind, const ReportResult& result);

}  // namespace site
