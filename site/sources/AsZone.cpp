#include "sources/AsZone.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace site {

namespace {

constexpr std::size_t kMaxField = 128;

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t bar; (bar = text.find('|', start)) != std::string::npos; start = bar + 1)
    fields.push_back(Trim(text.substr(start, bar - start)));
  fields.push_back(Trim(text.substr(start)));
  return fields;
}

bool IsDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// At most `limit` bytes of UTF-8 text, never a character cut in two.
std::string Clipped(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string AsOriginQuery(const boost::asio::ip::address& address, const std::string& zone) {
  std::string name;
  if (address.is_v4()) {
    const auto bytes = address.to_v4().to_bytes();
    for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte) name += std::to_string(*byte) + ".";
    return name + zone;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  const auto bytes = address.to_v6().to_bytes();
  for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte) {
    name += kHex[*byte & 0xF];
    name += '.';
    name += kHex[*byte >> 4];
    name += '.';
  }
  return name + (zone.starts_with("origin.") ? "origin6." + zone.substr(7) : zone);
}

std::string AsNameQuery(const std::string& number, const std::string& zone) { return "AS" + number + "." + zone; }

std::string TxtText(const std::string& record) {
  if (!record.starts_with('"')) return record;
  std::string text;
  bool quoted = false;
  for (std::size_t i = 0; i < record.size(); ++i) {
    const char c = record[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (c == '\\' && i + 3 < record.size() && IsDigits(std::string_view(record).substr(i + 1, 3))) {
      // \DDD is a byte by its decimal value; the resolver writes every byte it does not pass as text so.
      const int value = (record[i + 1] - '0') * 100 + (record[i + 2] - '0') * 10 + (record[i + 3] - '0');
      if (quoted && value < 256) text += static_cast<char>(value);
      i += 3;
    } else if (c == '\\' && i + 1 < record.size()) {
      if (quoted) text += record[i + 1];
      ++i;
    } else if (quoted) {
      text += c;
    }
  }
  return text;
}

std::string AsNumberOf(const std::vector<std::string>& records) {
  if (records.empty()) return {};
  const std::string first = Fields(TxtText(records.front())).front();
  const std::string number = first.substr(0, first.find(' '));
  const bool digits = !number.empty() && number.size() <= 10 &&
                      std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); });
  return digits ? number : std::string{};
}

std::string AsNameOf(const std::vector<std::string>& records) {
  if (records.empty()) return {};
  const auto fields = Fields(TxtText(records.front()));
  return fields.size() >= 5 ? Clipped(fields.back(), kMaxField) : std::string{};
}

std::string HostNameOf(const std::vector<std::string>& records) {
  if (records.empty()) return {};
  std::string name = records.front().substr(0, 253 + 1);
  if (name.ends_with('.')) name.pop_back();
  return name;
}

}  // namespace site
