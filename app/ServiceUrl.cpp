#include "ServiceUrl.h"

namespace {
const char* Flag(bool ticked) { return ticked ? "true" : ""; }
}  // namespace

std::string ServiceUrl(const std::string& host, const std::string& address, const TLookupOptions& options) {
  std::string url = "http://" + host + "/whois/index.php?";
  url += "addr=" + address;
  url += std::string("&dom_whois=") + Flag(options.dom_whois);
  url += std::string("&dom_dns=") + Flag(options.dom_dns);
  url += std::string("&traceroute=") + Flag(options.traceroute);
  url += std::string("&net_whois=") + Flag(options.net_whois);
  url += std::string("&port_scan=") + Flag(options.port_scan);
  return url;
}
