#pragma once
// The one place that decides which object of an answer is the one asked.
//
// An answer may hold several objects: look-alike names listed before the real
// one, the IANA block of the zone, the same record in two languages, contacts
// and registrars as objects of their own. A domain object starts at a line
// naming a domain; another object at a paragraph that opens with a handle,
// a person or a server name. Values come from the objects that name the asked
// domain (the later first: the English repetition of a record follows the
// registry's own language), then from the text before the first object.

#include "whois/WhoisLines.h"

#include <string>
#include <vector>

namespace site {

struct WhoisObjects {
  std::vector<std::vector<WhoisEntry>> Asked;   // the asked domain's objects in the order to read them, then the preamble
  std::vector<std::vector<WhoisEntry>> Others;  // objects of other kinds (contacts, registrars), for handles
};

// `asked`: the registered name, ASCII or Unicode, any case, with or without the trailing dot.
WhoisObjects SplitWhoisObjects(const std::vector<WhoisEntry>& entries, const std::string& asked);

// Whether an entry carries a field under its key, or under its heading and key;
// the own lines of a contact's or the registrar's heading carry no field of the domain.
bool EntryHas(const WhoisEntry& entry, const std::string& key);

// The domain name in a value: "GOOGLE.COM." or "google.com (registered)" → "google.com"; ASCII where it was Unicode.
std::string DomainKey(const std::string& value);

}  // namespace site
