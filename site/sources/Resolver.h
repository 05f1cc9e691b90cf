#pragma once
// DNS queries of one page through c-ares, driven by the page's strand. Answers
// are shared between pages through a cache that keeps each record set for its TTL.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace site {

enum class DnsType { A, AAAA, CNAME, MX, NS, TXT, SOA, PTR };

struct DnsAnswer {
  bool Ok = false;          // false: `Error` says why, in Russian
  std::string Error;
  bool TimedOut = false;    // the failure was a time-out
  bool NoData = false;      // the name exists but has no record of this type, or does not exist
  bool NxDomain = false;    // the name does not exist (NoData is set too)
  std::vector<std::string> Records;  // presentation form: "10 mail.example.test", "\"v=spf1 -all\"", ...
  std::uint32_t Ttl = 0;
};

using DnsDone = std::function<void(DnsAnswer)>;

class Resolver {
public:
  virtual ~Resolver() = default;
  // `name` is an ASCII domain name; for PTR, an IPv4 or IPv6 address.
  virtual void Query(const std::string& name, DnsType type, DnsDone done) = 0;
  // Cancels every query in flight; each still calls its `done` with an error.
  // The page calls it when it ends: a query's `done` may hold the page's
  // context, which holds this resolver.
  virtual void CancelAll() = 0;
};

}  // namespace site
