#include "sources/RdapJson.h"

#include <algorithm>
#include <boost/asio/ip/address_v6.hpp>

namespace site {

namespace {

using nlohmann::json;

// Real answers nest a handful of levels and hold a few hundred values; the
// limits keep hostile ones from exhausting the stack in the printer and the
// readers below, and from growing a few megabytes of text into a tree and a
// printout many times its size.
constexpr int kMaxDepth = 48;
constexpr std::size_t kMaxValues = 20000;

std::string Text(const json& object, const char* key) {
  if (!object.is_object()) return {};
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string{};
}

// "2001:db8::/32" for the range from 2001:db8:: to 2001:db8:ffff:...:ffff;
// empty unless both ends are IPv6 and the range is exactly one prefix, as
// IPv6 networks are allocated.
std::string Ipv6Prefix(const std::string& start, const std::string& end) {
  boost::system::error_code error;
  const auto first = boost::asio::ip::make_address_v6(start, error).to_bytes();
  if (error) return {};
  const auto last = boost::asio::ip::make_address_v6(end, error).to_bytes();
  if (error) return {};
  int bits = 0;
  while (bits < 128 && (first[bits / 8] >> (7 - bits % 8) & 1) == (last[bits / 8] >> (7 - bits % 8) & 1)) ++bits;
  for (int i = bits; i < 128; ++i)
    if ((first[i / 8] >> (7 - i % 8) & 1) != 0 || (last[i / 8] >> (7 - i % 8) & 1) != 1) return {};
  return boost::asio::ip::make_address_v6(first).to_string() + "/" + std::to_string(bits);
}

const json& Array(const json& object, const char* key) {
  static const json kEmpty = json::array();
  if (!object.is_object()) return kEmpty;
  const auto it = object.find(key);
  return it != object.end() && it->is_array() ? *it : kEmpty;
}

std::string Event(const json& object, const std::string& action) {
  for (const json& event : Array(object, "events"))
    if (Text(event, "eventAction") == action) return Text(event, "eventDate");
  return {};
}

std::string Join(const std::vector<std::string>& parts) {
  std::string joined;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!joined.empty()) joined += ", ";
    joined += part;
  }
  return joined;
}

// The entity's formatted name (vCard "fn", else "org"), else its handle.
std::string EntityName(const json& entity) {
  const auto& card = entity.is_object() && entity.contains("vcardArray") ? entity["vcardArray"] : json();
  if (card.is_array() && card.size() == 2 && card[1].is_array()) {
    for (const char* property : {"fn", "org"}) {
      for (const json& line : card[1]) {
        if (line.is_array() && line.size() >= 4 && line[0] == property && line[3].is_string() &&
            !line[3].get<std::string>().empty())
          return line[3].get<std::string>();
      }
    }
  }
  return Text(entity, "handle");
}

std::string EntityWithRole(const json& object, const std::string& role) {
  for (const json& entity : Array(object, "entities")) {
    const json& roles = Array(entity, "roles");
    if (std::find(roles.begin(), roles.end(), role) != roles.end()) return EntityName(entity);
  }
  return {};
}

std::vector<std::string> Strings(const json& array) {
  std::vector<std::string> out;
  for (const json& item : array)
    if (item.is_string()) out.push_back(item.get<std::string>());
  return out;
}

void Row(Table& table, const std::string& label, const std::string& value) {
  if (!value.empty()) table.Rows.push_back({label, value});
}

// The regional registry by the name of its WHOIS server or, failing that, of
// its RDAP server; an unknown one by that name itself.
std::string RegistryName(const std::string& port43, const std::string& rdapHost) {
  static const std::pair<const char*, const char*> kRegistries[] = {
      {"afrinic", "AFRINIC"}, {"apnic", "APNIC"}, {"arin", "ARIN"}, {"lacnic", "LACNIC"}, {"ripe", "RIPE NCC"}};
  for (const std::string& host : {port43, rdapHost})
    for (const auto& [part, name] : kRegistries)
      if (host.find(part) != std::string::npos) return name;
  return !port43.empty() ? port43 : rdapHost;
}

}  // namespace

std::optional<json> ParseRdapJson(const std::string& text) {
  bool tooBig = false;
  std::size_t values = 0;
  json parsed = json::parse(
      text,
      [&](int depth, json::parse_event_t event, json&) {
        if (depth > kMaxDepth || (event == json::parse_event_t::value && ++values > kMaxValues)) tooBig = true;
        return !tooBig;
      },
      false);
  if (tooBig || !parsed.is_object()) return std::nullopt;
  return parsed;
}

Table DomainSummary(const json& domain) {
  Table table;
  Row(table, "Регистратор", EntityWithRole(domain, "registrar"));
  Row(table, "Создан", Event(domain, "registration"));
  Row(table, "Оплачен до", Event(domain, "expiration"));
  Row(table, "Статус", Join(Strings(Array(domain, "status"))));
  std::vector<std::string> servers;
  for (const json& server : Array(domain, "nameservers")) servers.push_back(Text(server, "ldhName"));
  Row(table, "Серверы имён", Join(servers));
  return table;
}

Table NetworkSummary(const json& network) {
  Table table;
  const std::string start = Text(network, "startAddress");
  const std::string end = Text(network, "endAddress");
  const std::string prefix = Ipv6Prefix(start, end);
  Row(table, "Диапазон", !prefix.empty() ? prefix : start.empty() ? std::string{} : start + " – " + end);
  Row(table, "Имя сети", Text(network, "name"));
  Row(table, "Страна", Text(network, "country"));
  std::string organisation = EntityWithRole(network, "registrant");
  if (organisation.empty()) organisation = EntityWithRole(network, "administrative");
  Row(table, "Организация", organisation);
  Row(table, "Создана", Event(network, "registration"));
  return table;
}

Table AsSummary(const json& autnum, const std::string& registry) {
  Table table;
  const json& start = autnum.is_object() && autnum.contains("startAutnum") ? autnum["startAutnum"] : json();
  const json& end = autnum.is_object() && autnum.contains("endAutnum") ? autnum["endAutnum"] : json();
  if (start.is_number_unsigned()) {
    std::string number = "AS" + std::to_string(start.get<std::uint64_t>());
    if (end.is_number_unsigned() && end != start) number += " – AS" + std::to_string(end.get<std::uint64_t>());
    Row(table, "Номер", number);
  }
  Row(table, "Имя", Text(autnum, "name"));
  std::string holder = EntityWithRole(autnum, "registrant");
  if (holder.empty()) holder = EntityWithRole(autnum, "administrative");
  Row(table, "Владелец", holder);
  Row(table, "Страна", Text(autnum, "country"));
  Row(table, "Зарегистрирована", Event(autnum, "registration"));
  Row(table, "Регистратор", RegistryName(Text(autnum, "port43"), registry));
  return table;
}

std::optional<std::string> RegistrarLink(const json& domain) {
  std::string self;
  for (const json& link : Array(domain, "links"))
    if (Text(link, "rel") == "self") self = Text(link, "href");
  for (const json& link : Array(domain, "links")) {
    const std::string href = Text(link, "href");
    // A registry that names itself as the registrar would only send us round.
    if (Text(link, "rel") == "related" && Text(link, "type") == "application/rdap+json" && href.starts_with("https://") &&
        href != self)
      return href;
  }
  return std::nullopt;
}

void FillMissingRows(Table& base, const Table& extra) {
  for (const auto& row : extra.Rows) {
    const bool present = std::any_of(base.Rows.begin(), base.Rows.end(), [&](const auto& r) { return r[0] == row[0]; });
    if (!present) base.Rows.push_back(row);
  }
}

}  // namespace site
