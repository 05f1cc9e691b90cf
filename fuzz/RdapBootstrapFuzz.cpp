// IANA's bootstrap files as anyone could serve them, with any name or address
// to look up: a service found is an https base URL ending in "/", and a
// domain's service is for a zone that the name ends in on a label boundary.
#include "FuzzSupport.h"
#include "sources/HttpsUrl.h"
#include "sources/RdapBootstrap.h"

#include <cstring>

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

void CheckBase(const std::string& url) {
  if (!url.ends_with("/") || !site::ParseHttpsUrl(url)) Defect("not an https base URL: " + url);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t address;
  std::memcpy(&address, data, 4);
  const std::vector<std::string> f = Fields(data + 4, size - 4, 2);
  const nlohmann::json file = nlohmann::json::parse(f[0], nullptr, false);
  if (file.is_discarded()) return 0;
  const std::string& domain = f[1];
  if (const auto service = site::ServiceForDomain(file, domain)) {
    CheckBase(service->Url);
    const std::string name = Lower(domain);
    if (service->Zone.empty() || (name != service->Zone && !name.ends_with("." + service->Zone)))
      Defect("zone '" + service->Zone + "' does not hold " + name);
  }
  if (const auto url = site::ServiceForAddress(file, boost::asio::ip::address_v4(address))) CheckBase(*url);
  return 0;
}
