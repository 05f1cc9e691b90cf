#include "history/FactDiff.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <utility>

namespace site {

namespace {

const Fact* Find(const SectionFacts& facts, const std::string& label) {
  for (const Fact& fact : facts.Facts)
    if (fact.Label == label) return &fact;
  return nullptr;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

std::string SetChange(const Fact& before, const Fact& after) {
  std::string line = after.Label + ":";
  const char* separator = " ";
  for (const std::string& value : after.Values)
    if (!std::binary_search(before.Values.begin(), before.Values.end(), value)) line.append(std::exchange(separator, ", ")).append("+ ").append(value);
  for (const std::string& value : before.Values)
    if (!std::binary_search(after.Values.begin(), after.Values.end(), value)) line.append(std::exchange(separator, ", ")).append("− ").append(value);
  return line;
}

std::string Single(const Fact& fact) { return fact.Values.empty() ? "—" : fact.Values.front(); }

std::string ChangeLine(const Fact& then, const Fact& now) {
  return now.IsSet ? SetChange(then, now) : now.Label + ": " + Single(then) + " → " + Single(now);
}

}  // namespace

Comparison Compare(const std::optional<SectionState>& before, const SectionFacts& now) {
  Comparison result;
  if (!before) {
    result.Store = true;
    result.Next.Facts = now;
    return result;
  }
  SectionState& next = result.Next = *before;
  ++next.Lookups;
  // What this look did not learn stays as it was last seen.
  next.Facts = now;
  for (const Fact& kept : before->Facts.Facts)
    if (!Find(now, kept.Label)) next.Facts.Facts.push_back(kept);
  for (const Fact& fact : now.Facts) {
    const Fact* then = Find(before->Facts, fact.Label);
    if (!then || Contains(before->Varying, fact.Label) || then->Values == fact.Values) continue;
    if (fact.IsSet) ++next.Changes[fact.Label];
    result.Lines.push_back(ChangeLine(*then, fact));
    result.Store = true;
    if (fact.IsSet && now.Kind == ReportKind::DnsRecords && next.Lookups >= kVaryingAfter && next.Changes[fact.Label] * 2 > next.Lookups) {
      next.Varying.push_back(fact.Label);
      result.Lines.push_back(fact.Label + ": меняется почти при каждом запросе и больше не сравнивается");
    }
  }
  return result;
}

std::string EncodeState(const SectionState& state) {
  nlohmann::json facts = nlohmann::json::array();
  for (const Fact& fact : state.Facts.Facts) facts.push_back({{"label", fact.Label}, {"set", fact.IsSet}, {"values", fact.Values}});
  return nlohmann::json{{"facts", facts}, {"lookups", state.Lookups}, {"changes", state.Changes}, {"varying", state.Varying}}.dump();
}

SectionState DecodeState(std::string_view text, ReportKind kind) {
  try {
    const nlohmann::json stored = nlohmann::json::parse(text);
    SectionState state;
    state.Facts.Kind = kind;
    for (const auto& fact : stored.at("facts"))
      state.Facts.Facts.push_back({fact.at("label").get<std::string>(), fact.at("set").get<bool>(), fact.at("values").get<std::vector<std::string>>()});
    state.Lookups = stored.at("lookups").get<std::size_t>();
    state.Changes = stored.at("changes").get<std::map<std::string, std::size_t>>();
    state.Varying = stored.at("varying").get<std::vector<std::string>>();
    return state;
  } catch (const nlohmann::json::exception& e) {
    throw std::runtime_error(std::string("unreadable snapshot: ") + e.what());
  }
}

}  // namespace site
