#include "whois/WhoisDates.h"

#include <array>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <vector>

namespace site {

namespace {

struct Token {
  std::string Text;
  bool Number = false;
  std::string Before;  // the separator before it, spaces dropped
};

// Numbers and words, with what separates them; a colon or a plus stays in the separator so that times never join a date.
std::vector<Token> Tokens(std::string_view value) {
  std::vector<Token> tokens;
  std::string separator;
  for (std::size_t at = 0; at < value.size();) {
    const auto c = static_cast<unsigned char>(value[at]);
    if (std::isdigit(c) || std::isalpha(c)) {
      Token token;
      token.Number = std::isdigit(c);
      token.Before = separator;
      while (at < value.size() && (token.Number ? std::isdigit(static_cast<unsigned char>(value[at]))
                                                : std::isalpha(static_cast<unsigned char>(value[at]))))
        token.Text += value[at++];
      tokens.push_back(std::move(token));
      separator.clear();
    } else {
      if (c != ' ') separator += value[at];
      ++at;
    }
  }
  return tokens;
}

int Month(const Token& token) {
  static const std::array<const char*, 12> kNames = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.Number || token.Text.size() < 3) return 0;
  std::string lower;
  for (char c : token.Text.substr(0, 3)) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (std::size_t i = 0; i < kNames.size(); ++i)
    if (lower == kNames[i]) return static_cast<int>(i) + 1;
  return 0;
}

// A separator inside a date: "-", ".", "/", ",", a space, or the Japanese and Chinese year and month signs.
bool Joins(const std::string& separator) {
  return separator.empty() || separator == "-" || separator == "." || separator == "/" || separator == "," || separator == ". " ||
         separator == "\xE5\xB9\xB4" || separator == "\xE6\x9C\x88";
}

bool Number(const Token& token, std::size_t minDigits, std::size_t maxDigits) {
  return token.Number && token.Text.size() >= minDigits && token.Text.size() <= maxDigits;
}

std::optional<std::string> Iso(int year, int month, int day) {
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1900 || year > 9999) return std::nullopt;
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return std::string(text);
}

int Year(const Token& token) {
  const int year = std::stoi(token.Text);
  if (token.Text.size() == 2) return year >= 70 ? 1900 + year : 2000 + year;
  return year;
}

constexpr int kLargestOffset = 14 * 60;  // minutes east of UTC, Kiribati's

int Sign(const std::string& separator) {
  if (separator.ends_with('+')) return 1;
  if (separator.ends_with('-')) return -1;
  return 0;
}

// The days a time written after a date at `k` moves that date by in UTC:
// "04:05:06+08:00", "04:05:06 (UTC+8)", "04:05 -0500", "04:05:06.0Z"; none
// without a time, and none without an offset, where the zone is unknown.
int DaysToUtc(const std::vector<Token>& t, std::size_t k) {
  const auto n = t.size();
  if (k < n && (t[k].Text == "T" || t[k].Text == "t")) ++k;
  if (!(k + 1 < n && Number(t[k], 1, 2) && Number(t[k + 1], 2, 2) && t[k + 1].Before == ":")) return 0;
  const int local = std::stoi(t[k].Text) * 60 + std::stoi(t[k + 1].Text);
  k += 2;
  if (k < n && Number(t[k], 2, 2) && t[k].Before == ":") ++k;  // seconds
  if (k < n && t[k].Number && t[k].Before == ".") ++k;         // their fraction
  if (k < n && (t[k].Text == "Z" || t[k].Text == "UTC" || t[k].Text == "GMT")) ++k;
  if (!(k < n && t[k].Number && t[k].Text.size() <= 4 && Sign(t[k].Before))) return 0;
  const std::string& zone = t[k].Text;
  int offset = zone.size() > 2 ? std::stoi(zone.substr(0, zone.size() - 2)) * 60 + std::stoi(zone.substr(zone.size() - 2)) : std::stoi(zone) * 60;
  if (zone.size() <= 2 && k + 1 < n && Number(t[k + 1], 2, 2) && t[k + 1].Before == ":") offset += std::stoi(t[k + 1].Text);
  if (offset > kLargestOffset) return 0;  // a range's second date, not a zone
  const int utc = local - Sign(t[k].Before) * offset;
  return utc < 0 ? -1 : utc >= 24 * 60 ? 1 : 0;
}

std::optional<std::string> Shifted(int year, int month, int day, int days) {
  const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month(month), std::chrono::day(day)};
  if (days == 0 || !date.ok()) return Iso(year, month, day);
  const std::chrono::year_month_day moved{std::chrono::sys_days(date) + std::chrono::days(days)};
  return Iso(static_cast<int>(moved.year()), static_cast<unsigned>(moved.month()), static_cast<unsigned>(moved.day()));
}

std::optional<std::string> At(const std::vector<Token>& t, std::size_t i, DateOrder order) {
  const auto n = t.size();
  const auto joined = [&](std::size_t k) { return k < n && Joins(t[k].Before); };
  // 2001-02-03, 2001.02.03, 2001/02/03, 2001. 02. 03., 2001年02月03日; with a time and its offset, the date in UTC
  if (i + 2 < n && Number(t[i], 4, 4) && Number(t[i + 1], 1, 2) && Number(t[i + 2], 1, 2) && joined(i + 1) && joined(i + 2))
    return Shifted(std::stoi(t[i].Text), std::stoi(t[i + 1].Text), std::stoi(t[i + 2].Text), DaysToUtc(t, i + 3));
  // 2001-Aug-23
  if (i + 2 < n && Number(t[i], 4, 4) && Month(t[i + 1]) && Number(t[i + 2], 1, 2) && joined(i + 1) && joined(i + 2))
    return Iso(std::stoi(t[i].Text), Month(t[i + 1]), std::stoi(t[i + 2].Text));
  // 20010203, 20010203040506
  if (t[i].Number && (t[i].Text.size() == 8 || t[i].Text.size() == 14) && (t[i].Text.starts_with("19") || t[i].Text.starts_with("20")))
    return Iso(std::stoi(t[i].Text.substr(0, 4)), std::stoi(t[i].Text.substr(4, 2)), std::stoi(t[i].Text.substr(6, 2)));
  // 03.02.2001, 03/02/01, 02/03/2001 where the month comes first; 02/13/2001 is month first anywhere
  if (i + 2 < n && Number(t[i], 1, 2) && Number(t[i + 1], 1, 2) && (Number(t[i + 2], 4, 4) || Number(t[i + 2], 2, 2)) && joined(i + 1) &&
      joined(i + 2) && !t[i + 1].Before.empty() && t[i + 1].Before == t[i + 2].Before) {
    int day = std::stoi(t[i].Text), month = std::stoi(t[i + 1].Text);
    if (order == DateOrder::MonthFirst) std::swap(day, month);
    if (month > 12 && day <= 12) std::swap(day, month);
    return Iso(Year(t[i + 2]), month, day);
  }
  // 03-Feb-2001, 3 February 2001, 03-Feb-01
  if (i + 2 < n && Number(t[i], 1, 2) && Month(t[i + 1]) && (Number(t[i + 2], 4, 4) || Number(t[i + 2], 2, 2)) && joined(i + 1) && joined(i + 2))
    return Iso(Year(t[i + 2]), Month(t[i + 1]), std::stoi(t[i].Text));
  // Feb 03 2001, February 3, 2001, Feb 03 04:05:06 GMT 2001
  if (i + 1 < n && Month(t[i]) && Number(t[i + 1], 1, 2) && joined(i + 1)) {
    for (std::size_t k = i + 2; k < n && k < i + 7; ++k)
      if (Number(t[k], 4, 4)) return Iso(std::stoi(t[k].Text), Month(t[i]), std::stoi(t[i + 1].Text));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> IsoDate(std::string_view value, DateOrder order) {
  const std::vector<Token> tokens = Tokens(value);
  for (std::size_t i = 0; i < tokens.size(); ++i)
    if (auto iso = At(tokens, i, order)) return iso;
  return std::nullopt;
}

std::string DateShown(const std::string& value, DateOrder order) {
  const auto iso = IsoDate(value, order);
  if (!iso || value.starts_with(*iso)) return value;
  return value + " (" + *iso + ")";
}

}  // namespace site
