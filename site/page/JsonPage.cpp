#include "page/JsonPage.h"

#include "sources/TargetAddress.h"

#include <algorithm>
#include <ctime>
#include <nlohmann/json.hpp>

namespace site {

namespace {

using nlohmann::json;

// The page's own fields around the sections, and each section's short texts.
constexpr std::size_t kFrameBytes = 16 << 10;
// A JSON string may grow sixfold ("\u0001"); a share is counted before escaping.
constexpr std::size_t kEscapeGrowth = 6;

const char* OutcomeKey(Outcome outcome) {
  switch (outcome) {
    case Outcome::Done: return "done";
    case Outcome::Failed: return "failed";
    case Outcome::TimedOut: return "timed_out";
  }
  return "";
}

std::string Iso(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// The beginning of `text` within `bytes`, never inside a character.
std::string Beginning(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

json Section(const PageSection& section, const PageHistory& history, std::size_t share) {
  const ReportResult& result = section.Result;
  json rows = json::array();
  std::size_t spent = 0;
  bool cut = false;
  for (const auto& row : result.Summary.Rows) {
    for (const std::string& cell : row) spent += cell.size() + 8;
    if (spent > share) {
      cut = true;
      break;
    }
    rows.push_back(row);
  }
  const std::string raw = Beginning(result.Raw, share - std::min(share, spent));
  cut |= raw.size() < result.Raw.size();
  json out = {{"report", ReportKey(section.Kind)},
              {"title", ReportTitle(section.Kind)},
              {"outcome", OutcomeKey(result.State)},
              {"reason", result.Reason},
              {"note", result.Note},
              {"time_ms", result.Elapsed.count()},
              {"summary", {{"head", result.Summary.Head}, {"rows", rows}}},
              {"raw", raw},
              {"cut", cut},
              {"changes", nullptr}};
  if (const auto& changes = history.Sections[static_cast<std::size_t>(section.Kind)]) {
    json lines = json::array();
    for (const ChangeLine& line : changes->Lines) lines.push_back({{"text", line.Text}, {"warning", line.Warning}});
    out["changes"] = {{"unchanged", changes->Unchanged}, {"since", Iso(changes->Since)}, {"heading", ChangesHeading(*changes)}, {"lines", lines}};
  }
  return out;
}

}  // namespace

std::string JsonPage(const Target& target, const std::vector<PageSection>& sections, std::chrono::system_clock::time_point asked,
                     std::size_t maxBytes, const PageHistory& history) {
  const std::string ascii = TargetText(target);
  const std::size_t share = (maxBytes - kFrameBytes) / kEscapeGrowth / std::max<std::size_t>(sections.size(), 1);
  json page = {{"address", ascii}, {"asked", Iso(asked)}, {"history_unavailable", history.Unavailable}, {"sections", json::array()}};
  for (const PageSection& section : sections) page["sections"].push_back(Section(section, history, share));
  // Bytes that are not UTF-8 (a registry's own coding) become U+FFFD, as on the HTML page.
  return page.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string JsonError(const char* code, const std::string& message) {
  return json{{"error", {{"code", code}, {"message", message}}}}.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace site
