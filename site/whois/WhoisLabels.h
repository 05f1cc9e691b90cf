#pragma once
// The vocabulary of WHOIS answers as data: which labels name which field, in
// the registries' own languages and spellings. A label is compared as a key
// (KeyOf): lower case, letters and digits only, trailing digits dropped, so
// "Created On", "created-on", "CREATED ON......" and "[Created on]" are one.
// A new registry's wording is a row here, not a branch in the reader.

#include "whois/WhoisDates.h"

#include <string>
#include <string_view>
#include <vector>

namespace site {

enum class WhoisField { DomainName, Registrar, Created, Expires, Status, NameServer };

// The key of a label as written: case-folded in any script, accents and
// punctuation and spaces removed, trailing digits ("Name Server 2") dropped.
std::string KeyOf(std::string_view label);

// The field's labels as keys, the preferred first. A label under a heading is
// also looked up as heading + label ("Registrar:" / "  Name:" → "registrarname").
const std::vector<std::string>& FieldKeys(WhoisField field);

// Whether a heading introduces a contact (registrant, admin, tech …), whose
// own lines ("State:", "Created:") say nothing about the domain.
bool IsContactSection(std::string_view sectionKey);

// Whether a heading introduces another party (a contact, the registrar, a
// reseller): its own lines ("Created:", "Status:") are the party's, and only
// heading + label ("Registrar" / "Name") may name a field of the domain.
bool IsPartySection(std::string_view sectionKey);

// Keys that name a field of the domain only in the paragraph that names the
// domain: elsewhere "State:" is more often a contact's address.
bool BoundToDomainParagraph(std::string_view key);

// Keys that open an object other than a domain when they start a paragraph
// (a contact's handle or name, a person, a look-alike's "Server Name").
bool OpensOtherObject(std::string_view key, bool firstInParagraph);

// Keys under which a later object names a registrar given as a handle.
const std::vector<std::string>& NameKeys();

// The order a registry writes numeric dates in, by the zone of the asked name
// (ASCII); most write the day first.
DateOrder DateOrderOf(std::string_view asked);

// The network summary's fields: the shown label and its keys.
struct NetworkLabel {
  const char* Shown;
  std::vector<std::string> Keys;
};
const std::vector<NetworkLabel>& NetworkLabels();

}  // namespace site
