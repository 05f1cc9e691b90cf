#pragma once
// Two looks at the same section of the same name, told apart fact by fact.

#include "history/Facts.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace site {

// What is kept of a section between lookups: its facts as last seen, and how
// often each set changed, so that a set that changes on most lookups (a
// round-robin's A records, a rotating TXT token) stops filling the history.
struct SectionState {
  SectionFacts Facts;
  std::size_t Lookups = 0;                      // lookups compared with an earlier one
  std::map<std::string, std::size_t> Changes;   // of each set, by label
  std::vector<std::string> Varying;             // labels compared no more
  bool operator==(const SectionState&) const = default;
};

struct Comparison {
  std::vector<std::string> Lines;  // what changed since `before`, for the page
  bool Store = false;              // a new snapshot is due: the first, or one with a changed fact
  SectionState Next;               // what is kept from now on
};

// `before`: the last state kept of this section of this name, if any. One
// line per changed fact, in the order `now` shows them: "Регистратор: A → B",
// "Серверы имён: + ns3.example.net, − ns1.example.net". A fact only one side
// knows is not compared: a query that failed once has not lost its records,
// and it is kept as it was. A DNS record set
// that has changed on more than half of at least kVaryingAfter lookups is
// marked varying; the line that marks it says so, and it is compared no more.
Comparison Compare(const std::optional<SectionState>& before, const SectionFacts& now);
inline constexpr std::size_t kVaryingAfter = 4;

// The state as stored, and back; DecodeState throws std::runtime_error on a text it cannot read.
std::string EncodeState(const SectionState& state);
SectionState DecodeState(std::string_view text, ReportKind kind);

}  // namespace site
