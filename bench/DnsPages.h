#pragma once
// The DNS-only lookup pages the service's benchmarks ask for, and how their
// times are read.

#include "SiteClient.h"

#include <string>
#include <vector>

// The i-th name of the benchmarks' private zone.
std::string Name(int i);
// A keep-alive request for the DNS report of `name`.
std::string DnsPage(const std::string& name);
// A page that came whole, with its report done.
bool PageOk(const SiteReply& reply);
// The value below which `share` of `values` lie; 0 for none.
double Percentile(std::vector<double> values, double share);
