#include "whois/WhoisFields.h"

#include "whois/WhoisDates.h"
#include "whois/WhoisLabels.h"
#include "whois/WhoisLines.h"
#include "whois/WhoisObjects.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string_view>

namespace site {

namespace {

constexpr std::size_t kMaxValues = 16;  // of one field: name servers, statuses

using Group = std::vector<WhoisEntry>;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Values that stand for no value.
bool Placeholder(const std::string& value) {
  static const char* const kEmpty[] = {"-", "n/a", "na", "none", "null", "not available", "not disclosed", "not shown"};
  const std::string lower = Lower(value);
  return std::any_of(std::begin(kEmpty), std::end(kEmpty), [&](const char* e) { return lower == e; });
}

// Whether an entry of an object carries the field; an object starts at the line naming its domain.
bool Carries(const WhoisEntry& entry, WhoisField field, const Group& object) {
  if (BoundToDomainParagraph(entry.Key) && entry.Paragraph != object.front().Paragraph) return false;
  const auto& keys = FieldKeys(field);
  return !Placeholder(entry.Value) && std::any_of(keys.begin(), keys.end(), [&](const std::string& key) { return EntryHas(entry, key); });
}

// The first value of the field in the most preferred object that has one.
std::string First(const std::vector<Group>& groups, WhoisField field) {
  for (const Group& group : groups)
    for (const WhoisEntry& entry : group)
      if (Carries(entry, field, group)) return entry.Value;
  return {};
}

// Every value of the field in the first object that has any.
std::vector<std::string> All(const std::vector<Group>& groups, WhoisField field) {
  for (const Group& group : groups) {
    std::vector<std::string> values;
    for (const WhoisEntry& entry : group)
      if (Carries(entry, field, group)) values.push_back(entry.Value);
    if (!values.empty()) return values;
  }
  return {};
}

// "clientTransferProhibited https://icann.org/epp#clientTransferProhibited",
// "ok -- http://…", "ok - Normal state.": the link or the gloss adds nothing to the code.
std::string Code(std::string value) {
  if (const auto dash = value.find(" -"); dash != std::string::npos && dash == value.find(' ')) value.erase(dash);
  for (const char* link : {"http://", "https://"}) {
    const auto at = value.find(link);
    if (at == std::string::npos) continue;
    auto end = value.find_first_of(" )", at);
    value.erase(at, end == std::string::npos ? std::string::npos : end - at);
  }
  for (std::size_t at; (at = value.find("()")) != std::string::npos;) value.erase(at, 2);
  return Trim(value);
}

// The codes in a status value: "clientUpdateProhibited, clientTransferProhibited"
// is two; "ok (paid and in zone)" and "Registered until expiry date." are one.
std::vector<std::string> StatusCodes(const std::string& value) {
  const std::string shown = Code(value);
  std::vector<std::string> codes;
  std::istringstream parts(shown);
  for (std::string part; std::getline(parts, part, ',');) {
    part = Trim(part);
    if (part.empty() || part.find(' ') != std::string::npos) return {shown};
    codes.push_back(part);
  }
  return codes;
}

// "NS1.Example.COM. 192.0.2.1" → "ns1.example.com"; none for what is not a host name.
std::string HostName(const std::string& value) {
  const std::string listed = value.starts_with("- ") ? value.substr(2) : value;  // a YAML list's item
  std::string host = Lower(listed.substr(0, listed.find_first_of(" \t,[(")));
  while (host.ends_with('.')) host.pop_back();
  const bool valid = host.find('.') != std::string::npos &&
                     std::all_of(host.begin(), host.end(), [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '-' || c == '_' || c >= 0x80; });
  return valid ? host : std::string{};
}

void AddUnique(std::vector<std::string>& values, const std::string& value) {
  if (value.empty() || values.size() == kMaxValues) return;
  if (std::none_of(values.begin(), values.end(), [&](const std::string& v) { return Lower(v) == Lower(value); })) values.push_back(value);
}

// A registry's own handle for a registrar: one word of capitals, digits and
// hyphens with a digit or a hyphen in it ("R22-LRCC", "292", "REG-EXAMPLE").
bool IsHandle(std::string_view word, bool needsDigit) {
  const bool shaped = !word.empty() && std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isupper(c) || std::isdigit(c) || c == '-'; });
  const bool digit = std::any_of(word.begin(), word.end(), [](unsigned char c) { return std::isdigit(c); });
  return shaped && (digit || (!needsDigit && word.find('-') != std::string_view::npos));
}

// The name in "Name (R22-LRCC)", "Name R45-ME" and "R22-LRCC - Name": the
// handle says nothing to a reader and stays in the answer's own text.
std::string WithoutHandle(std::string value) {
  if (const auto open = value.rfind(" ("); open != std::string::npos && value.ends_with(')') &&
                                          IsHandle(std::string_view(value).substr(open + 2, value.size() - open - 3), false))
    value = Trim(value.substr(0, open));
  if (const auto space = value.rfind(' '); space != std::string::npos && IsHandle(std::string_view(value).substr(space + 1), true) &&
                                           value.substr(space + 1).find('-') != std::string::npos)
    value = Trim(value.substr(0, space));
  if (const auto dash = value.find(" - "); dash != std::string::npos && IsHandle(std::string_view(value).substr(0, dash), false))
    value = Trim(value.substr(dash + 3));
  return value;
}

// A registrar given as a handle ("REG-EXAMPLE") that a later block names: the name.
std::string RegistrarName(const std::string& registrar, const std::vector<WhoisEntry>& entries) {
  if (registrar.find(' ') != std::string::npos) return registrar;
  for (std::size_t at = 0; at < entries.size(); ++at) {
    if (Lower(entries[at].Value) != Lower(registrar)) continue;
    for (std::size_t next = at + 1; next < entries.size() && entries[next].Paragraph == entries[at].Paragraph; ++next)
      for (const std::string& key : NameKeys())
        if (entries[next].Key == key && Lower(entries[next].Value) != Lower(registrar)) return entries[next].Value;
  }
  return registrar;
}

// The objects the asked domain names by a handle ("nsset: NS-EXAMPLE"), where some registries keep its name servers.
std::vector<Group> Linked(const WhoisObjects& objects) {
  std::vector<Group> linked;
  for (const Group& other : objects.Others) {
    if (other.empty()) continue;
    const std::string handle = Lower(other.front().Value);
    const bool named = std::any_of(objects.Asked.begin(), objects.Asked.end(), [&](const Group& group) {
      return std::any_of(group.begin(), group.end(), [&](const WhoisEntry& e) { return Lower(e.Value) == handle; });
    });
    if (named) linked.push_back(other);
  }
  return linked;
}

std::string Joined(const std::vector<std::string>& values) {
  std::string joined;
  for (const std::string& value : values) joined += (joined.empty() ? "" : ", ") + value;
  return joined;
}

// Every "key: value" line as (lower-case key, value); comments and blank values skipped.
std::vector<std::pair<std::string, std::string>> Lines(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with('%') || line.starts_with('#')) continue;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon > 64) continue;
    std::string value = Trim(line.substr(colon + 1));
    if (!value.empty()) lines.emplace_back(Lower(Trim(line.substr(0, colon))), std::move(value));
  }
  return lines;
}

Table NetworkSummary(const std::vector<std::string>& answers) {
  Table table;
  for (const NetworkLabel& label : NetworkLabels()) {
    for (auto answer = answers.rbegin(); answer != answers.rend(); ++answer) {
      const std::vector<WhoisEntry> entries = WhoisEntries(*answer);
      const auto found = std::find_if(entries.begin(), entries.end(), [&](const WhoisEntry& e) {
        return std::find(label.Keys.begin(), label.Keys.end(), e.Key) != label.Keys.end();
      });
      if (found == entries.end()) continue;
      table.Rows.push_back({label.Shown, found->Value});
      break;
    }
  }
  return table;
}

}  // namespace

std::optional<std::string> WhoisValue(const std::string& text, const std::string& key) {
  const std::string wanted = Lower(key);
  for (auto& [k, value] : Lines(text))
    if (k == wanted) return value;
  return std::nullopt;
}

WhoisDomainFields ReadWhoisDomain(const std::string& text, const std::string& asked) {
  const std::vector<WhoisEntry> entries = WhoisEntries(text);
  const WhoisObjects objects = SplitWhoisObjects(entries, asked);
  WhoisDomainFields fields;
  fields.Registrar = First(objects.Asked, WhoisField::Registrar);
  if (!fields.Registrar.empty()) fields.Registrar = WithoutHandle(RegistrarName(fields.Registrar, entries));
  fields.Created = First(objects.Asked, WhoisField::Created);
  fields.Expires = First(objects.Asked, WhoisField::Expires);
  // Some registries give the paid-till date only in the state: "OK-UNTIL 20140903121852", "Connected (2030/02/28)".
  if (fields.Expires.empty())
    for (const std::string& status : All(objects.Asked, WhoisField::Status))
      if (IsoDate(status) && fields.Expires.empty()) fields.Expires = status;
  for (const std::string& status : All(objects.Asked, WhoisField::Status))
    for (const std::string& code : StatusCodes(status)) AddUnique(fields.Status, code);
  // "DNS: example.dk" beside the name servers is the domain's own name in the DNS, not a server of it.
  for (const std::string& server : All(objects.Asked, WhoisField::NameServer))
    if (DomainKey(server) != DomainKey(asked)) AddUnique(fields.NameServers, HostName(server));
  if (fields.NameServers.empty())
    for (const std::string& server : All(Linked(objects), WhoisField::NameServer)) AddUnique(fields.NameServers, HostName(server));
  return fields;
}

Table WhoisSummary(const std::vector<std::string>& answers, WhoisKind kind, const std::string& asked) {
  if (kind == WhoisKind::Network) return NetworkSummary(answers);
  std::vector<WhoisDomainFields> read;
  for (auto answer = answers.rbegin(); answer != answers.rend(); ++answer) read.push_back(ReadWhoisDomain(*answer, asked));
  const auto first = [&](auto get) {
    for (const WhoisDomainFields& fields : read)
      if (std::string value = get(fields); !value.empty()) return value;
    return std::string{};
  };
  const DateOrder order = DateOrderOf(asked);
  const std::pair<const char*, std::string> rows[] = {
      {"Регистратор", first([](const WhoisDomainFields& f) { return f.Registrar; })},
      {"Создан", first([order](const WhoisDomainFields& f) { return f.Created.empty() ? f.Created : DateShown(f.Created, order); })},
      {"Оплачен до", first([order](const WhoisDomainFields& f) { return f.Expires.empty() ? f.Expires : DateShown(f.Expires, order); })},
      {"Статус", first([](const WhoisDomainFields& f) { return Joined(f.Status); })},
      {"Серверы имён", first([](const WhoisDomainFields& f) { return Joined(f.NameServers); })},
  };
  Table table;
  for (const auto& [label, value] : rows)
    if (!value.empty()) table.Rows.push_back({label, value});
  return table;
}

bool WhoisSaysNoMatch(const std::string& text) {
  static const char* const kPhrases[] = {"no match", "not found", "no entries found", "no data found",
                                         "no object found", "object does not exist", "nothing found"};
  const std::string lower = Lower(text);
  return std::any_of(std::begin(kPhrases), std::end(kPhrases), [&](const char* p) { return lower.find(p) != std::string::npos; });
}

}  // namespace site
