#include "page/LookupRequest.h"

#include "base/TextCoding.h"

#include <boost/asio/ip/address_v6.hpp>
#include <idn2.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>

namespace site {

namespace {

constexpr const char* kKeys[kReportCount] = {"dom_whois", "dom_dns", "traceroute", "net_whois", "port_scan"};

std::optional<ReportKind> KindOfKey(std::string_view key) {
  for (std::size_t i = 0; i < kReportCount; ++i)
    if (key == kKeys[i]) return static_cast<ReportKind>(i);
  return std::nullopt;
}

bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trimmed(const std::string& text) {
  // A no-break space is a blank too: it is what a copied address often carries.
  static const std::string kNbsp = "\xC2\xA0";
  std::size_t first = 0, last = text.size();
  for (bool moved = true; moved && first < last;) {
    moved = false;
    if (IsBlank(text[first])) ++first, moved = true;
    else if (text.compare(first, 2, kNbsp) == 0) first += 2, moved = true;
  }
  for (bool moved = true; moved && first < last;) {
    moved = false;
    if (IsBlank(text[last - 1])) --last, moved = true;
    else if (last - first >= 2 && text.compare(last - 2, 2, kNbsp) == 0) last -= 2, moved = true;
  }
  return text.substr(first, last - first);
}

// Four decimal numbers 0-255 without leading zeros: "010.1.1.1" means octal
// to some tools and decimal to others, so it is refused rather than guessed.
std::optional<std::uint32_t> StrictIpv4(std::string_view text) {
  std::uint32_t address = 0;
  std::size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t end = part < 3 ? text.find('.', start) : text.size();
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view digits = text.substr(start, end - start);
    if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    unsigned value = 0;
    const auto [ptr, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || ptr != digits.data() + digits.size() || value > 255) return std::nullopt;
    address = address << 8 | value;
    start = end + 1;
  }
  return address;
}

// "AS15169", "as15169" or plain "15169": an autonomous system's number,
// which no domain name or address is spelt like.
std::optional<std::uint32_t> AsNumber(std::string_view text) {
  if (text.size() > 2 && (text[0] == 'A' || text[0] == 'a') && (text[1] == 'S' || text[1] == 's')) text.remove_prefix(2);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  std::uint32_t number = 0;
  const auto [ptr, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc{} || number == 0 || text[0] == '0')
    throw BadAddress("Неверный номер автономной системы: нужно число от 1 до 4294967295 без ведущих нулей");
  return number;
}

bool DigitsAndDots(std::string_view text) { return text.find_first_not_of("0123456789.") == std::string_view::npos; }

std::uint32_t DottedIpv4(std::string_view text) {
  const std::optional<std::uint32_t> address = StrictIpv4(text);
  if (!address) throw BadAddress("Неверный адрес IPv4: нужны четыре числа от 0 до 255 через точку");
  return *address;
}

// Any spelling of RFC 4291: groups with or without leading zeros, in either
// case, "::" for a run of zero groups, a dotted IPv4 tail, the whole in
// brackets as URLs write it. A zone index ("%eth0") names an interface of the
// machine it was typed on, which means nothing on the service's host.
boost::asio::ip::address_v6 Ipv6Address(std::string_view text) {
  if (text.front() == '[' || text.back() == ']') {
    if (text.size() < 2 || text.front() != '[' || text.back() != ']')
      throw BadAddress("Неверный адрес IPv6: квадратные скобки должны окружать весь адрес");
    text = text.substr(1, text.size() - 2);
  }
  if (text.find('%') != std::string_view::npos)
    throw BadAddress("Адрес IPv6 с указанием зоны (%…) имеет смысл только на том компьютере, где его набрали: укажите адрес без зоны");
  if (text.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos)
    throw BadAddress("Неверный адрес IPv6: допустимы только шестнадцатеричные цифры, двоеточия и точки");
  boost::system::error_code error;
  const auto address = boost::asio::ip::make_address_v6(std::string(text), error);
  if (error)
    throw BadAddress("Неверный адрес IPv6: нужны восемь групп до четырёх шестнадцатеричных цифр через двоеточие, "
                     "пропущенные нулевые группы — через «::» один раз");
  return address;
}

bool IsLdhLabel(std::string_view label) {
  if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
  for (char c : label)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
  return true;
}

void CheckAsciiName(const std::string& name, std::size_t maxAsciiBytes) {
  if (name.size() > maxAsciiBytes) throw BadAddress("Доменное имя слишком длинное");
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find('.', start), name.size());
    if (!IsLdhLabel(std::string_view(name).substr(start, end - start)))
      throw BadAddress("Доменное имя может содержать только буквы, цифры, дефисы и точки, не более 63 знаков между точками");
    start = end + 1;
  }
}

// An A-label ("xn--") or a label reserved like one ("ab--") is for the IDNA
// library to judge.
bool HasReservedLabel(std::string_view name) {
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find('.', start), name.size());
    if (end - start >= 4 && name.substr(start + 2, 2) == "--") return true;
    start = end + 1;
  }
  return false;
}

std::string AsciiName(const std::string& utf8) {
  char* ascii = nullptr;
  const int rc = idn2_lookup_u8(reinterpret_cast<const uint8_t*>(utf8.c_str()), reinterpret_cast<uint8_t**>(&ascii),
                                IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  if (rc != IDN2_OK) throw BadAddress("Адрес не является ни доменным именем, ни адресом IPv4 или IPv6");
  std::string name(ascii);
  idn2_free(ascii);
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return name;
}

// A name that comes out as "as" and digits (typed with a final dot, or in
// full-width letters) is an AS number in disguise, as the page names it.
Target Named(Target target, const std::string& name) {
  if (!(target.As = AsNumber(name))) target.Domain = name;
  return target;
}

}  // namespace

const char* ReportKey(ReportKind kind) { return kKeys[static_cast<std::size_t>(kind)]; }

Target ParseTarget(std::string_view bytes, std::size_t maxAsciiBytes) {
  // Four bytes per character is the most any encoding of a name can take.
  if (bytes.size() > 4 * maxAsciiBytes) throw BadAddress("Адрес слишком длинный");
  const std::optional<std::string> utf8 = ClientTextToUtf8(bytes);
  if (!utf8) throw BadAddress("Адрес содержит символы, которых нет ни в UTF-8, ни в Windows-1251");
  Target target;
  target.Input = Trimmed(*utf8);
  if (target.Input.empty()) throw BadAddress("Адрес не указан");
  for (char c : target.Input)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) throw BadAddress("Адрес содержит управляющие символы");

  if ((target.As = AsNumber(target.Input))) return target;
  if (DigitsAndDots(target.Input)) {
    target.Ipv4 = DottedIpv4(target.Input);
    return target;
  }
  // No name holds a colon or a bracket.
  if (target.Input.find_first_of(":[]") != std::string::npos) {
    target.Ipv6 = Ipv6Address(target.Input);
    return target;
  }

  std::string name = target.Input;
  if (name.back() == '.') name.pop_back();
  if (name.empty() || name.find("..") != std::string::npos || name.front() == '.')
    throw BadAddress("В доменном имени пустая часть между точками");
  // An ASCII name is judged by its own rules first, which say more than the
  // IDNA library's refusal of it would; the library still checks its xn-- labels.
  if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    for (char& c : name)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    CheckAsciiName(name, maxAsciiBytes);
    // Such a name is its own ASCII form; the IDNA conversion, a tenth of a
    // served page's cost, would return just that.
    if (!HasReservedLabel(name)) return Named(std::move(target), name);
  }
  name = AsciiName(name);
  // Mapping drops soft hyphens and turns full-width digits and ideographic
  // full stops into ASCII ones: a name that comes out as digits and dots is
  // an IPv4 address in disguise, judged as if it had been typed so.
  if (DigitsAndDots(name)) {
    target.Ipv4 = DottedIpv4(name);
    return target;
  }
  CheckAsciiName(name, maxAsciiBytes);
  return Named(std::move(target), name);
}

LookupRequest ParseLookupQuery(std::string_view query, std::size_t maxAsciiBytes) {
  // The window sends the address unencoded, so an address holding '&' arrives
  // in pieces: every piece up to the next report key belongs to the address.
  LookupRequest request;
  std::optional<std::string> addr;
  bool inAddr = false;
  std::size_t start = 0;
  while (start <= query.size()) {
    const std::size_t end = std::min(query.find('&', start), query.size());
    const std::string_view piece = query.substr(start, end - start);
    start = end + 1;
    const std::size_t equals = piece.find('=');
    const std::string_view key = piece.substr(0, equals);
    const std::string_view value = equals == std::string_view::npos ? std::string_view{} : piece.substr(equals + 1);
    if (const auto kind = KindOfKey(key); kind && equals != std::string_view::npos) {
      inAddr = false;
      request.Wanted[static_cast<std::size_t>(*kind)] = PercentDecode(value) == "true";
    } else if (key == "addr" && equals != std::string_view::npos) {
      inAddr = !addr;
      if (!addr) addr = std::string(value);
    } else if (inAddr) {
      *addr += '&';
      *addr += piece;
    }
    if (addr && addr->size() > 12 * maxAsciiBytes) throw BadAddress("Адрес слишком длинный");
  }
  if (!addr) throw BadAddress("Адрес не указан");
  request.Address = ParseTarget(PercentDecode(*addr), maxAsciiBytes);
  return request;
}

}  // namespace site
