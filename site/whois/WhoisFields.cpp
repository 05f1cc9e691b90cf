#include "whois/WhoisFields.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace site {

namespace {

constexpr std::size_t kMaxKey = 64;
constexpr std::size_t kMaxValues = 16;  // of one field: name servers, statuses

struct Field {
  const char* Label;
  std::vector<std::string> Keys;  // lower case
  bool Many;
};

const std::vector<Field>& Fields(WhoisKind kind) {
  static const std::vector<Field> kDomain = {
      {"Регистратор", {"registrar", "sponsoring registrar", "registrar name"}, false},
      {"Создан", {"creation date", "created", "registration date", "registered"}, false},
      {"Оплачен до", {"registry expiry date", "registrar registration expiration date", "expiration date", "expiry date", "paid-till", "expires"}, false},
      {"Статус", {"domain status", "status", "state"}, true},
      {"Серверы имён", {"name server", "nserver", "nameserver"}, true},
  };
  static const std::vector<Field> kNetwork = {
      {"Диапазон", {"inetnum", "netrange"}, false},
      {"Имя сети", {"netname"}, false},
      {"Страна", {"country"}, false},
      {"Организация", {"org-name", "orgname", "organization", "descr"}, false},
      {"Создана", {"created", "regdate"}, false},
  };
  return kind == WhoisKind::Domain ? kDomain : kNetwork;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Every "key: value" line as (lower-case key, value); comments and blank values skipped.
std::vector<std::pair<std::string, std::string>> Lines(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with('%') || line.starts_with('#')) continue;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon > kMaxKey) continue;
    std::string value = Trim(line.substr(colon + 1));
    if (!value.empty()) lines.emplace_back(Lower(Trim(line.substr(0, colon))), std::move(value));
  }
  return lines;
}

std::string Values(const std::vector<std::pair<std::string, std::string>>& lines, const Field& field) {
  std::vector<std::string> found;
  for (const auto& [key, value] : lines) {
    if (std::find(field.Keys.begin(), field.Keys.end(), key) == field.Keys.end()) continue;
    // "clientTransferProhibited https://icann.org/epp#..." : the link adds nothing to a summary.
    const std::string shown = Trim(value.substr(0, value.find(" http")));
    if (std::find_if(found.begin(), found.end(), [&](const std::string& f) { return Lower(f) == Lower(shown); }) == found.end())
      found.push_back(shown);
    if (!field.Many || found.size() == kMaxValues) break;
  }
  std::string joined;
  for (const std::string& value : found) joined += (joined.empty() ? "" : ", ") + value;
  return joined;
}

}  // namespace

std::optional<std::string> WhoisValue(const std::string& text, const std::string& key) {
  const std::string wanted = Lower(key);
  for (auto& [k, value] : Lines(text))
    if (k == wanted) return value;
  return std::nullopt;
}

Table WhoisSummary(const std::vector<std::string>& answers, WhoisKind kind) {
  Table table;
  for (const Field& field : Fields(kind)) {
    for (auto answer = answers.rbegin(); answer != answers.rend(); ++answer) {
      const std::string value = Values(Lines(*answer), field);
      if (value.empty()) continue;
      table.Rows.push_back({field.Label, value});
      break;
    }
  }
  return table;
}

bool WhoisSaysNoMatch(const std::string& text) {
  static const char* const kPhrases[] = {"no match", "not found", "no entries found", "no data found",
                                         "no object found", "object does not exist", "nothing found"};
  const std::string lower = Lower(text);
  return std::any_of(std::begin(kPhrases), std::end(kPhrases), [&](const char* p) { return lower.find(p) != std::string::npos; });
}

}  // namespace site
