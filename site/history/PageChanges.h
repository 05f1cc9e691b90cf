#pragma once
// What a lookup page says of each section's history: what changed since the
// name was last looked up, or that nothing did, with the warnings a reader
// should not miss.

#include "history/HistoryStore.h"
#include "base/Target.h"

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace site {

struct PageSection;

struct ChangeLine {
  std::string Text;
  bool Warning = false;
};

struct SectionChanges {
  bool Unchanged = false;
  std::chrono::system_clock::time_point Since;  // the earlier look: last seen when changed, first seen when not
  std::vector<ChangeLine> Lines;
};

struct PageHistory {
  bool Unavailable = false;  // the page says so in one line
  std::string Name;          // the name as kept, for the link to its history
  std::array<std::optional<SectionChanges>, kReportCount> Sections;  // by ReportKind; nothing: no earlier snapshot
};

// The name a target's history is kept under: the domain's ASCII form or the address.
std::string HistoryName(const Target& target);

// The facts of every section that finished.
std::vector<SectionFacts> PageFacts(const std::vector<PageSection>& sections);

// `stored`: the newest snapshot of each section, as read when the page began.
// A registrar or name-server change within the last 7 days and an expiry
// within 30 days are warnings.
PageHistory ChangesOf(const std::string& name, const std::vector<SectionFacts>& facts, const std::vector<Snapshot>& stored,
                      std::chrono::system_clock::time_point now);

// Whether this look is worth a write: something changed, a section is new, or
// the last "seen" of a section is older than a minute. A name asked for again
// and again in one minute costs the store nothing more.
bool RecordDue(const std::vector<SectionFacts>& facts, const std::vector<Snapshot>& stored, std::chrono::system_clock::time_point now);

// «Изменения с 02.11.2026 14:05 UTC», «Без изменений с …».
std::string ChangesHeading(const SectionChanges& changes);
// "02.11.2026 14:05 UTC"
std::string UtcMinute(std::chrono::system_clock::time_point when);
std::chrono::system_clock::time_point FromMs(std::int64_t ms);

}  // namespace site
