#pragma once
// The registered name of a domain: the name registries (WHOIS and RDAP) know
// and the caches key on, by the Public Suffix List that
// Debian's publicsuffix package installs, read through libpsl. The private
// section counts first: the regional zones that registries run (spb.ru,
// com.ru) sit in it, beside companies' zones whose customers' names no
// registry holds (github.io): for those the name under the ICANN section is
// asked next.
// "www.example.co.uk" → "example.co.uk"; a name under a zone the list does not
// hold takes libpsl's default rule "*": the zone and one label
// ("www.example.test" → "example.test"); a public suffix of several labels is
// itself ("gb.com" → "gb.com").

#include <string>

namespace site {

struct RegisteredName {
  std::string Name;           // ASCII, lower case; empty for a top-level zone
  // The name is itself a public suffix (net.ae, gov.scot, gb.com): registries
  // hold records for many such names, so it is asked as typed.
  bool PublicSuffix = false;
  std::string Failure;        // Russian: why Name is empty, or, for a public suffix, why its registry has no record
  // Under a suffix of the list's private section ("user.github.io"): the
  // registered name by the ICANN section alone ("github.io"), asked when the
  // registry has no record of Name. Empty when the two are one name.
  std::string IcannName;
};

// `domain`: ASCII (IDNA), lower case, without the trailing dot.
RegisteredName RegisteredNameOf(const std::string& domain);

}  // namespace site
