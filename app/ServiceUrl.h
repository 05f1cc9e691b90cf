#pragma once
// The request to the lookup service on the home site.

#include <string>

// The five reports the user can tick, in the order the query carries them.
struct TLookupOptions {
  bool dom_whois = false;
  bool dom_dns = false;
  bool traceroute = false;
  bool net_whois = false;
  bool port_scan = false;
};

// "http://" + host + "/whois/index.php?" and always all six fields: the address
// exactly as given (not trimmed, not encoded) and each option as "true" or empty.
std::string ServiceUrl(const std::string& host, const std::string& address, const TLookupOptions& options);
