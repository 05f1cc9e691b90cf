#include "DnsPages.h"

#include <algorithm>

std::string Name(int i) { return "n" + std::to_string(i) + ".bench.test"; }

std::string DnsPage(const std::string& name) {
  return "GET /whois/index.php?addr=" + name + "&dom_whois=&dom_dns=true&traceroute=&net_whois=&port_scan= HTTP/1.1\r\nHost: b\r\n\r\n";
}

bool PageOk(const SiteReply& reply) { return reply.Status == 200 && reply.Body.find("выполнено") != std::string::npos; }

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(static_cast<double>(values.size()) * share))];
}
