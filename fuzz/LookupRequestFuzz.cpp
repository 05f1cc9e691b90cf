// The window's query and the address in it, as any client may send them. An
// address that passes is a name of LDH labels or a dotted IPv4 address, never
// both; read again it comes out the same; and every reason for refusing one
// is UTF-8 text for the page.
#include "FuzzSupport.h"
#include "page/LookupRequest.h"

namespace {

constexpr size_t kMaxAscii = 253;

std::string Dotted(uint32_t a) {
  return std::to_string(a >> 24) + '.' + std::to_string(a >> 16 & 255) + '.' + std::to_string(a >> 8 & 255) + '.' +
         std::to_string(a & 255);
}

void CheckName(const std::string& name) {
  if (name.empty() || name.size() > kMaxAscii) Defect("name of a bad length: " + name);
  if (!OnlyOf(name, "abcdefghijklmnopqrstuvwxyz0123456789-.")) Defect("name with a character outside LDH: " + name);
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = std::min(name.find('.', start), name.size());
    const std::string label = name.substr(start, end - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
      Defect("bad label in: " + name);
    start = end + 1;
  }
}

void CheckTarget(const site::Target& t) {
  if (t.Input.empty() || !IsUtf8(t.Input)) Defect("input not UTF-8 or empty");
  if (!t.Domain.empty() + t.Ipv4.has_value() + t.Ipv6.has_value() + t.As.has_value() != 1)
    Defect("a target must be one of a name, an IPv4 or IPv6 address and an AS number");
  if (t.Ipv4) {
    if (site::ParseTarget(Dotted(*t.Ipv4), kMaxAscii).Ipv4 != t.Ipv4) Defect("IPv4 address changed on reading again");
    return;
  }
  if (t.Ipv6) {
    // The canonical form reads back as the same address, and is its own canonical form.
    const std::string canonical = t.Ipv6->to_string();
    const auto again = site::ParseTarget(canonical, kMaxAscii).Ipv6;
    if (again != t.Ipv6 || again->to_string() != canonical) Defect("IPv6 address changed on reading again: " + canonical);
    return;
  }
  if (t.As) {
    if (site::ParseTarget("AS" + std::to_string(*t.As), kMaxAscii).As != t.As) Defect("AS number changed on reading again");
    return;
  }
  CheckName(t.Domain);
  if (site::ParseTarget(t.Domain, kMaxAscii).Domain != t.Domain) Defect("name changed on reading again: " + t.Domain);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  try {
    CheckTarget(site::ParseTarget(input, kMaxAscii));
  } catch (const site::BadAddress& e) {
    if (!IsUtf8(e.what())) Defect("reason not UTF-8");
  }
  try {
    CheckTarget(site::ParseLookupQuery(input, kMaxAscii).Address);
  } catch (const site::BadAddress& e) {
    if (!IsUtf8(e.what())) Defect("reason not UTF-8");
  }
  return 0;
}
