#include "history/Facts.h"

#include <algorithm>
#include <cctype>

namespace site {

namespace {

bool IsIsoDate(std::string_view text) {
  if (text.size() < 10) return false;
  for (std::size_t i = 0; i < 10; ++i)
    if (i == 4 || i == 7 ? text[i] != '-' : !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

// A date as a day: RDAP gives the time of day as well, WHOIS its own spelling
// with the ISO form after it; a transfer to RDAP must not read as a new date.
std::string Day(const std::string& value) {
  if (IsIsoDate(value)) return value.substr(0, 10);
  const std::size_t open = value.rfind('(');
  if (open != std::string::npos && IsIsoDate(std::string_view(value).substr(open + 1))) return value.substr(open + 1, 10);
  return value;
}

std::vector<std::string> Members(const std::string& joined, bool names) {
  std::vector<std::string> members;
  std::size_t at = 0;
  while (at <= joined.size()) {
    std::size_t comma = joined.find(", ", at);
    if (comma == std::string::npos) comma = joined.size();
    std::string member = joined.substr(at, comma - at);
    // A name server is the same whichever case or final dot a registry writes it with.
    if (names) {
      std::transform(member.begin(), member.end(), member.begin(), [](unsigned char c) { return std::tolower(c); });
      if (member.ends_with('.')) member.pop_back();
    }
    if (!member.empty()) members.push_back(std::move(member));
    at = comma + 2;
  }
  return members;
}

Fact SetFact(std::string label, std::vector<std::string> values) {
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  return {std::move(label), true, std::move(values)};
}

const std::string* RowValue(const Table& table, std::string_view label) {
  for (const auto& row : table.Rows)
    if (row.size() >= 2 && row[0] == label) return &row[1];
  return nullptr;
}

std::vector<Fact> DomainFacts(const ReportResult& result) {
  std::vector<Fact> facts;
  for (const char* label : {"Регистратор", "Создан", "Оплачен до", "Статус", "Серверы имён"}) {
    const std::string* value = RowValue(result.Summary, label);
    if (!value) continue;
    const std::string_view name(label);
    if (name == "Статус" || name == "Серверы имён") facts.push_back(SetFact(label, Members(*value, name == "Серверы имён")));
    else facts.push_back({label, false, {name == "Регистратор" ? *value : Day(*value)}});
  }
  if (facts.empty()) return facts;
  // Which protocol the record came by is the one fact about its source a reader sees.
  const bool rdap = result.Note.find("RDAP реестра") != std::string::npos;
  facts.push_back({"Источник", false, {rdap ? "RDAP" : "WHOIS"}});
  return facts;
}

std::vector<Fact> NetworkFacts(const ReportResult& result) {
  std::vector<Fact> facts;
  for (const char* label : {"Диапазон", "Имя сети", "Страна", "Организация"})
    if (const std::string* value = RowValue(result.Summary, label)) facts.push_back({label, false, {*value}});
  return facts;
}

// Rows of type, value, TTL; a type that was not answered has a remark in place
// of its value and no TTL, and "нет записей" is an answer: the empty set.
std::vector<Fact> DnsFacts(const ReportResult& result) {
  std::vector<Fact> facts;
  for (const char* type : {"A", "AAAA", "MX", "NS", "TXT", "CNAME", "SOA"}) {
    std::vector<std::string> values;
    bool answered = false;
    for (const auto& row : result.Summary.Rows) {
      if (row.size() < 3 || row[0] != type) continue;
      if (row[2].empty()) {
        answered = row[1] == "нет записей";
        break;
      }
      answered = true;
      if (std::string_view(type) == "SOA") {
        // Only the serial says the zone changed; the rest is its servers' tuning.
        const std::size_t mailbox = row[1].find(' ');
        const std::size_t serial = mailbox == std::string::npos ? mailbox : row[1].find(' ', mailbox + 1);
        if (serial == std::string::npos) continue;
        values.push_back(row[1].substr(serial + 1, row[1].find(' ', serial + 1) - serial - 1));
      } else {
        values.push_back(row[1]);
      }
    }
    if (!answered) continue;
    if (std::string_view(type) == "SOA") facts.push_back({"Серийный номер SOA", false, values.empty() ? std::vector<std::string>{"—"} : values});
    else facts.push_back(SetFact(type, std::move(values)));
  }
  return facts;
}

// The scan's note names the address scanned: "Адрес 192.0.2.1 (первая запись A домена)".
std::vector<Fact> PortFacts(const ReportResult& result) {
  constexpr std::string_view kPrefix = "Адрес ";
  if (!result.Note.starts_with(kPrefix)) return {};
  const std::string address = result.Note.substr(kPrefix.size(), result.Note.find(' ', kPrefix.size()) - kPrefix.size());
  std::vector<std::string> ports;
  for (const auto& row : result.Summary.Rows)
    if (!row.empty()) ports.push_back(row[0]);
  return {{"Адрес", false, {address}}, SetFact("Открытые порты", std::move(ports))};
}

}  // namespace

bool KeepsHistory(ReportKind kind) { return kind != ReportKind::RouteTrace; }

std::optional<SectionFacts> FactsOf(ReportKind kind, const ReportResult& result) {
  if (result.State != Outcome::Done || !KeepsHistory(kind)) return std::nullopt;
  SectionFacts section{kind, {}};
  switch (kind) {
    case ReportKind::DomainRecord: section.Facts = DomainFacts(result); break;
    case ReportKind::DnsRecords: section.Facts = DnsFacts(result); break;
    case ReportKind::NetworkRecord: section.Facts = NetworkFacts(result); break;
    case ReportKind::PortScan: section.Facts = PortFacts(result); break;
    case ReportKind::RouteTrace: break;
  }
  if (section.Facts.empty()) return std::nullopt;
  return section;
}

}  // namespace site
