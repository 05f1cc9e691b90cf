// How many of the fields that other projects' tests expect the WHOIS reader
// gets right, over the real answers in tests/data/whois (see the README there).
// Prints `name: value` lines: overall and per field, fields right / expected.
// With -v, each wrong field is printed to stderr.
//
// A field counts as right when:
//   registrar    it equals one of the listed values (case and runs of spaces ignored);
//   created,     both read to the same YYYY-MM-DD; where either cannot be read,
//   expires      the texts are equal (case and spaces ignored);
//   status       the sets are equal, each value split at commas, compared by its
//                letters and digits alone with links dropped;
//   nameservers  the sets of host names are equal (case and a trailing dot ignored).
// A field the reader leaves empty is wrong. Fields no test expects are not counted.
// There is no lenient rule: every figure printed is the strict one.

#include "whois/WhoisDates.h"
#include "whois/WhoisFields.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string Folded(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isspace(c)) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += static_cast<char>(std::tolower(c));
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string AlnumOnly(std::string text) {
  for (const char* link : {"http://", "https://"})
    for (std::size_t at; (at = text.find(link)) != std::string::npos;) text.erase(at, text.find_first_of(" )", at) - at);
  std::string out;
  for (unsigned char c : text)
    if (std::isalnum(c) || c >= 0x80) out += static_cast<char>(std::tolower(c));
  return out;
}

std::set<std::string> StatusSet(const std::vector<std::string>& values) {
  std::set<std::string> set;
  for (const std::string& value : values) {
    std::stringstream in(value);
    for (std::string part; std::getline(in, part, ',');)
      if (!AlnumOnly(part).empty()) set.insert(AlnumOnly(part));
  }
  return set;
}

std::set<std::string> HostSet(const std::vector<std::string>& values) {
  std::set<std::string> set;
  for (std::string value : values) {
    value = Folded(value);
    value = value.substr(0, value.find(' '));
    while (value.ends_with('.')) value.pop_back();
    set.insert(value);
  }
  return set;
}

bool SameDate(const std::string& got, const std::string& expected) {
  const auto a = site::IsoDate(got), b = site::IsoDate(expected);
  if (a && b) return *a == *b;
  return !got.empty() && Folded(got) == Folded(expected);
}

std::string Shown(const std::vector<std::string>& values) {
  std::string out;
  for (const auto& v : values) out += (out.empty() ? "" : " | ") + v;
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const bool verbose = argc > 1 && std::string(argv[1]) == "-v";
  const std::string dir = TARNWELL_WHOIS_DATA;
  std::ifstream file(dir + "/expected.json");
  const nlohmann::json cases = nlohmann::json::parse(file);
  const char* const kFields[] = {"registrar", "created", "expires", "status", "nameservers"};
  std::map<std::string, std::pair<int, int>> tally;  // field -> (right, expected)
  int answers = 0;
  for (const auto& entry : cases) {
    std::ifstream in(dir + "/" + entry["file"].get<std::string>(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const site::WhoisDomainFields got = site::ReadWhoisDomain(text, entry["query"].get<std::string>());
    ++answers;
    for (const char* field : kFields) {
      if (!entry["expected"].contains(field)) continue;
      const auto expected = entry["expected"][field].get<std::vector<std::string>>();
      bool right = false;
      std::string gotShown;
      if (std::string(field) == "registrar") {
        gotShown = got.Registrar;
        for (const auto& e : expected) right = right || (!got.Registrar.empty() && Folded(e) == Folded(got.Registrar));
      } else if (std::string(field) == "created" || std::string(field) == "expires") {
        gotShown = field[0] == 'c' ? got.Created : got.Expires;
        right = !expected.empty() && SameDate(gotShown, expected.front());
      } else if (std::string(field) == "status") {
        gotShown = Shown(got.Status);
        right = StatusSet(got.Status) == StatusSet(expected);
      } else {
        gotShown = Shown(got.NameServers);
        right = HostSet(got.NameServers) == HostSet(expected);
      }
      auto& [r, n] = tally[field];
      r += right;
      ++n;
      if (!right && verbose)
        std::cerr << entry["file"].get<std::string>() << " " << field << ": got [" << gotShown << "] expected [" << Shown(expected) << "]\n";
    }
  }
  int right = 0, expected = 0;
  for (const auto& [field, counts] : tally) {
    right += counts.first;
    expected += counts.second;
  }
  std::printf("whois_answers: %d\n", answers);
  std::printf("whois_fields_right: %d\n", right);
  std::printf("whois_fields_expected: %d\n", expected);
  std::printf("whois_accuracy_percent: %.1f\n", expected ? 100.0 * right / expected : 0.0);
  for (const char* field : kFields) {
    const auto [r, n] = tally[field];
    std::printf("whois_%s_right: %d/%d\n", field, r, n);
    std::printf("whois_%s_percent: %.1f\n", field, n ? 100.0 * r / n : 0.0);
  }
}
