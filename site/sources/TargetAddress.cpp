#include "sources/TargetAddress.h"

#include "sources/HostAddresses.h"

#include <algorithm>
#include <span>
#include <vector>

namespace site {

namespace {

using boost::asio::ip::address;
using boost::asio::ip::address_v6;

struct Range {
  std::uint32_t Base;
  int Bits;
};

constexpr std::uint32_t Ip(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }

// IANA's special-purpose address registry, plus multicast and the old class E.
constexpr Range kReserved[] = {
    {Ip(0, 0, 0, 0), 8},       {Ip(10, 0, 0, 0), 8},     {Ip(100, 64, 0, 0), 10}, {Ip(127, 0, 0, 0), 8},
    {Ip(169, 254, 0, 0), 16},  {Ip(172, 16, 0, 0), 12},  {Ip(192, 0, 0, 0), 24},  {Ip(192, 0, 2, 0), 24},
    {Ip(192, 88, 99, 0), 24},  {Ip(192, 168, 0, 0), 16}, {Ip(198, 18, 0, 0), 15}, {Ip(198, 51, 100, 0), 24},
    {Ip(203, 0, 113, 0), 24},  {Ip(224, 0, 0, 0), 4},    {Ip(240, 0, 0, 0), 4},
};

constexpr Range kLan[] = {
    {Ip(10, 0, 0, 0), 8}, {Ip(100, 64, 0, 0), 10}, {Ip(169, 254, 0, 0), 16}, {Ip(172, 16, 0, 0), 12}, {Ip(192, 168, 0, 0), 16},
};

bool InAny(std::uint32_t address, std::span<const Range> ranges) {
  for (const Range& range : ranges) {
    const std::uint32_t mask = ~std::uint32_t{0} << (32 - range.Bits);
    if ((address & mask) == range.Base) return true;
  }
  return false;
}

bool IsPublicIpv4(std::uint32_t address) { return !InAny(address, kReserved); }

bool IsLanIpv4(std::uint32_t address) { return InAny(address, kLan); }

struct Prefix {
  address_v6::bytes_type Bytes;
  int Bits;
};

Prefix P(const char* text, int bits) { return {boost::asio::ip::make_address_v6(text).to_bytes(), bits}; }

bool In(const address_v6::bytes_type& bytes, const Prefix& prefix) {
  const int whole = prefix.Bits / 8;
  for (int i = 0; i < whole; ++i)
    if (bytes[i] != prefix.Bytes[i]) return false;
  const int rest = prefix.Bits % 8;
  if (rest == 0) return true;
  const unsigned mask = 0xFFu << (8 - rest) & 0xFFu;
  return (bytes[whole] & mask) == (prefix.Bytes[whole] & mask);
}

std::uint32_t Word(const address_v6::bytes_type& bytes, int at) {
  return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// The IPv4 address a packet to this IPv6 address actually reaches.
std::optional<std::uint32_t> StandsFor(const address_v6& ip) {
  static const Prefix kForms[] = {P("::ffff:0:0", 96), P("::ffff:0:0:0", 96), P("64:ff9b::", 96)};
  const auto bytes = ip.to_bytes();
  for (const Prefix& form : kForms)
    if (In(bytes, form)) return Word(bytes, 12);
  return std::nullopt;
}

// The IPv4 addresses a tunnel form names: a 6to4 relay, a Teredo server and
// its client (stored inverted). Empty for any other address.
std::vector<std::uint32_t> Carried(const address_v6& ip) {
  static const Prefix k6to4 = P("2002::", 16), kTeredo = P("2001::", 32);
  const auto bytes = ip.to_bytes();
  if (In(bytes, k6to4)) return {Word(bytes, 2)};
  if (In(bytes, kTeredo)) return {Word(bytes, 4), ~Word(bytes, 12)};
  return {};
}

std::optional<address> FirstOf(const std::vector<std::string>& records) {
  for (const std::string& record : records) {
    boost::system::error_code error;
    const address ip = boost::asio::ip::make_address(record, error);
    if (!error) return ip;
  }
  return std::nullopt;
}

bool IsPublicIpv6(const address_v6& ip) {
  if (const auto v4 = StandsFor(ip)) return IsPublicIpv4(*v4);
  const std::vector<std::uint32_t> carried = Carried(ip);
  if (!carried.empty()) return std::all_of(carried.begin(), carried.end(), IsPublicIpv4);
  // Protocol assignments (Teredo's among them, judged above), documentation.
  static const Prefix kGlobal = P("2000::", 3);
  static const Prefix kSpecial[] = {P("2001::", 23), P("2001:db8::", 32), P("3fff::", 20)};
  const auto bytes = ip.to_bytes();
  if (!In(bytes, kGlobal)) return false;
  return std::none_of(std::begin(kSpecial), std::end(kSpecial), [&](const Prefix& p) { return In(bytes, p); });
}

}  // namespace

std::optional<address> TargetIp(const Target& target) {
  if (target.Ipv4) return boost::asio::ip::address_v4(*target.Ipv4);
  if (target.Ipv6) return *target.Ipv6;
  return std::nullopt;
}

std::string TargetText(const Target& target) {
  if (target.As) return "AS" + std::to_string(*target.As);
  const auto ip = TargetIp(target);
  return ip ? ip->to_string() : target.Domain;
}

bool IsPublicAddress(const address& ip) {
  return ip.is_v4() ? IsPublicIpv4(ip.to_v4().to_uint()) : IsPublicIpv6(ip.to_v6());
}

bool IsLanAddress(const address& ip) {
  if (ip.is_v4()) return IsLanIpv4(ip.to_v4().to_uint());
  if (const auto v4 = StandsFor(ip.to_v6())) return IsLanIpv4(*v4);
  static const Prefix kLocal[] = {P("fc00::", 7), P("fe80::", 10)};
  const auto bytes = ip.to_v6().to_bytes();
  return std::any_of(std::begin(kLocal), std::end(kLocal), [&](const Prefix& p) { return In(bytes, p); });
}

bool IsOwnAddress(const address& ip) {
  if (IsHostAddress(ip)) return true;
  if (ip.is_v4()) return false;
  std::vector<std::uint32_t> named = Carried(ip.to_v6());
  if (const auto v4 = StandsFor(ip.to_v6())) named.push_back(*v4);
  return std::any_of(named.begin(), named.end(), [](std::uint32_t v4) { return IsHostAddress(boost::asio::ip::address_v4(v4)); });
}

bool MayProbe(const address& ip, const Options& options) {
  if (options.AllowPrivate) return true;
  return (IsPublicAddress(ip) || (options.AllowLan && IsLanAddress(ip))) && !IsOwnAddress(ip);
}

std::string PrivateRefusal(const address& ip) {
  // Loopback is named for its range; an address of a network the host is on, for the host.
  if ((IsPublicAddress(ip) || IsLanAddress(ip)) && IsOwnAddress(ip))
    return "Адрес " + ip.to_string() + " принадлежит самому серверу службы: проверка не выполняется";
  return "Адрес " + ip.to_string() + " относится к частной или зарезервированной сети: проверка не выполняется";
}

void FirstAddress(const std::shared_ptr<ReportContext>& context, const Target& target, AddressDone done) {
  if (const auto ip = TargetIp(target)) {
    done(ip, {});
    return;
  }
  // IPv4 first, as most paths are still best over it; IPv6 for a domain that has no IPv4 address.
  context->Dns->Query(target.Domain, DnsType::A, [context, domain = target.Domain, done = std::move(done)](DnsAnswer answer) {
    if (!answer.Ok) return done(std::nullopt, "Не удалось определить адрес домена: " + answer.Error);
    if (answer.NxDomain) return done(std::nullopt, "Домен не существует (NXDOMAIN)");
    if (const auto first = FirstOf(answer.Records)) return done(first, {});
    context->Dns->Query(domain, DnsType::AAAA, [done](DnsAnswer answer) {
      if (!answer.Ok) return done(std::nullopt, "Не удалось определить адрес IPv6 домена: " + answer.Error);
      if (const auto first = FirstOf(answer.Records)) return done(first, {});
      done(std::nullopt, "У домена нет ни адреса IPv4, ни адреса IPv6 (записей A и AAAA)");
    });
  });
}

std::string FirstRecordNote(const address& ip, const std::string& domain) {
  const std::string named = domain.empty() ? "домена" : "домена " + domain;
  return ip.is_v4() ? "первая запись A " + named : "первая запись AAAA " + named + ": адреса IPv4 у него нет";
}

}  // namespace site
