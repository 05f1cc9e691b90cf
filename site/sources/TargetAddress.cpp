#include "sources/TargetAddress.h"

#include "sources/HostAddresses.h"

#include <arpa/inet.h>
#include <span>

namespace site {

namespace {

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

}  // namespace

bool IsPublicIpv4(std::uint32_t address) { return !InAny(address, kReserved); }

bool IsLanIpv4(std::uint32_t address) { return InAny(address, kLan); }

bool MayProbe(std::uint32_t address, const Options& options) {
  if (options.AllowPrivate) return true;
  return (IsPublicIpv4(address) || (options.AllowLan && IsLanIpv4(address))) &&
         !IsHostAddress(boost::asio::ip::address_v4(address));
}

std::string Ipv4Text(std::uint32_t address) {
  in_addr a{htonl(address)};
  char text[INET_ADDRSTRLEN];
  return inet_ntop(AF_INET, &a, text, sizeof text);
}

std::string PrivateRefusal(std::uint32_t address) {
  // Loopback is named for its range; an address of a network the host is on, for the host.
  if ((IsPublicIpv4(address) || IsLanIpv4(address)) && IsHostAddress(boost::asio::ip::address_v4(address)))
    return "Адрес " + Ipv4Text(address) + " принадлежит самому серверу службы: проверка не выполняется";
  return "Адрес " + Ipv4Text(address) + " относится к частной или зарезервированной сети: проверка не выполняется";
}

void FirstIpv4(const std::shared_ptr<ReportContext>& context, const Target& target, AddressDone done) {
  if (target.Ipv4) {
    done(target.Ipv4, {});
    return;
  }
  context->Dns->Query(target.Domain, DnsType::A, [done = std::move(done)](DnsAnswer answer) {
    if (!answer.Ok) return done(std::nullopt, "Не удалось определить адрес домена: " + answer.Error);
    if (answer.NxDomain) return done(std::nullopt, "Домен не существует (NXDOMAIN)");
    for (const std::string& record : answer.Records) {
      in_addr a{};
      if (inet_pton(AF_INET, record.c_str(), &a) == 1) return done(ntohl(a.s_addr), {});
    }
    done(std::nullopt, "У домена нет адреса IPv4 (записи A)");
  });
}

}  // namespace site
