// Addresses that registries hand out (bootstrap services, registrar links,
// redirections) and the addresses their names resolve to. An address taken
// is a lower-case host name, a port of 1-65535 and a target that fits a
// request line, and written out again it reads the same; a redirection
// obeys the same rules. Without leave for private sources no connection goes
// to IPv6 or to loopback, private, link-local, shared, multicast or reserved
// IPv4 space.
#include "FuzzSupport.h"
#include "sources/HttpsUrl.h"
#include "sources/SourcePolicy.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

void CheckUrl(const site::HttpsUrl& url) {
  if (url.Host.empty() || url.Host.size() > 253 || !OnlyOf(url.Host, "abcdefghijklmnopqrstuvwxyz0123456789-."))
    Defect("bad host: " + url.Host);
  if (url.Port.empty() || !OnlyOf(url.Port, "0123456789") || url.Port.size() > 5 || std::stoul(url.Port) == 0 ||
      std::stoul(url.Port) > 65535)
    Defect("bad port: " + url.Port);
  if (url.Target.empty() || url.Target[0] != '/') Defect("target without its leading slash: " + url.Target);
  for (unsigned char c : url.Target)
    if (c <= ' ' || c >= 0x7F) Defect("target unfit for a request line: " + url.Target);
  const auto again = site::ParseHttpsUrl("https://" + url.Host + ":" + url.Port + url.Target);
  if (!again || again->Host != url.Host || again->Port != url.Port || again->Target != url.Target)
    Defect("address read differently when written out: " + url.Host + url.Target);
}

bool MustRefuse(uint32_t a) {
  const auto in = [a](uint32_t network, int bits) { return (a >> (32 - bits)) == (network >> (32 - bits)); };
  return in(0x00000000, 8) || in(0x0A000000, 8) || in(0x7F000000, 8) || in(0xA9FE0000, 16) || in(0xAC100000, 12) ||
         in(0xC0A80000, 16) || in(0x64400000, 10) || in(0xE0000000, 4) || in(0xF0000000, 4);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 17) return 0;
  uint32_t v4;
  std::memcpy(&v4, data, 4);
  std::array<unsigned char, 16> v6;
  std::memcpy(v6.data(), data + 1, 16);
  const boost::asio::ip::address address4 = boost::asio::ip::address_v4(v4);
  if (MustRefuse(v4) && site::SourceAddressAllowed(address4, false)) Defect("a private IPv4 source allowed");
  // Unique-local, link-local and multicast, and the IPv4-mapped form of a refused IPv4 address.
  const bool mapped = std::all_of(v6.begin(), v6.begin() + 10, [](unsigned char b) { return b == 0; }) && v6[10] == 0xFF && v6[11] == 0xFF;
  const uint32_t tail = uint32_t{v6[12]} << 24 | uint32_t{v6[13]} << 16 | uint32_t{v6[14]} << 8 | v6[15];
  if ((v6[0] >= 0xFC || (mapped && MustRefuse(tail))) && site::SourceAddressAllowed(boost::asio::ip::address_v6(v6), false))
    Defect("a private IPv6 source allowed");
  if (!site::SourceAddressAllowed(address4, true)) Defect("a source refused although private ones are allowed");

  const std::vector<std::string> f = Fields(data + 17, size - 17, 2);
  const auto base = site::ParseHttpsUrl(f[0]);
  if (!base) return 0;
  CheckUrl(*base);
  if (const auto next = site::ResolveLocation(*base, f[1])) CheckUrl(*next);
  return 0;
}
