#include "whois/WhoisObjects.h"

#include "whois/WhoisLabels.h"

#include <algorithm>
#include <idn2.h>

namespace site {

namespace {

bool IsDomainKey(const WhoisEntry& entry) {
  const auto& keys = FieldKeys(WhoisField::DomainName);
  return std::any_of(keys.begin(), keys.end(), [&](const std::string& key) { return EntryHas(entry, key); });
}

}  // namespace

std::string DomainKey(const std::string& value) {
  std::string name = value.substr(0, value.find_first_of(" \t("));
  while (name.ends_with('.')) name.pop_back();
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  if (std::any_of(name.begin(), name.end(), [](unsigned char c) { return c >= 0x80; })) {
    char* ascii = nullptr;
    if (idn2_to_ascii_8z(name.c_str(), &ascii, IDN2_NONTRANSITIONAL) == IDN2_OK) name = ascii;
    idn2_free(ascii);
  }
  return name;
}

bool EntryHas(const WhoisEntry& entry, const std::string& key) {
  if (!entry.Section.empty() && entry.Section + entry.Key == key) return true;
  if (entry.Key != key) return false;
  return entry.Section.empty() || !IsPartySection(entry.Section);
}

WhoisObjects SplitWhoisObjects(const std::vector<WhoisEntry>& entries, const std::string& asked) {
  const std::string wanted = DomainKey(asked);
  enum class Kind { Preamble, Asked, Domain, Other };
  struct Object {
    Kind Of;
    std::vector<WhoisEntry> Entries;
  };
  std::vector<Object> objects{{Kind::Preamble, {}}};
  // An object a paragraph opens ends with it; what follows belongs to the domain object before it again.
  std::size_t resume = 0, current = 0;
  std::size_t paragraph = entries.empty() ? 0 : entries.front().Paragraph;
  for (const WhoisEntry& entry : entries) {
    if (entry.Paragraph != paragraph && objects[current].Of == Kind::Other) current = resume;
    paragraph = entry.Paragraph;
    if (!entry.Continued && IsDomainKey(entry)) {
      objects.push_back({DomainKey(entry.Value) == wanted ? Kind::Asked : Kind::Domain, {}});
      current = resume = objects.size() - 1;
    } else if (!entry.Continued && OpensOtherObject(entry.Key, entry.FirstInParagraph)) {
      objects.push_back({Kind::Other, {}});
      current = objects.size() - 1;
    }
    objects[current].Entries.push_back(entry);
  }
  WhoisObjects split;
  for (auto object = objects.rbegin(); object != objects.rend(); ++object) {
    if (object->Of == Kind::Asked) split.Asked.push_back(object->Entries);
    if (object->Of == Kind::Other) split.Others.push_back(object->Entries);
    if (object->Of == Kind::Domain) split.NamedOther = true;
  }
  std::reverse(split.Others.begin(), split.Others.end());
  split.Asked.push_back(objects.front().Entries);
  return split;
}

}  // namespace site
