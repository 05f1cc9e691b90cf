#include "whois/WhoisObjects.h"

#include "whois/WhoisLabels.h"

#include <algorithm>
#include <idn2.h>
#include <unistr.h>

namespace site {

namespace {

bool IsDomainKey(const WhoisEntry& entry) {
  const auto& keys = FieldKeys(WhoisField::DomainName);
  return std::any_of(keys.begin(), keys.end(), [&](const std::string& key) { return EntryHas(entry, key); });
}

std::vector<std::u32string> UnicodeLabels(const std::string& ascii) {
  char* unicode = nullptr;
  std::string name = ascii;
  if (idn2_to_unicode_8z8z(ascii.c_str(), &unicode, 0) == IDN2_OK) name = unicode;
  idn2_free(unicode);
  std::vector<std::u32string> labels(1);
  for (std::size_t at = 0; at < name.size();) {
    ucs4_t c;
    at += u8_mbtouc(&c, reinterpret_cast<const uint8_t*>(name.data()) + at, name.size() - at);
    if (c == '.') labels.emplace_back();
    else labels.back() += static_cast<char32_t>(c);
  }
  return labels;
}

// Whether two names (ASCII forms) are script variants of one registration, as
// registries of Chinese names bundle them ("例子.台湾" and "例子.台灣"): the
// same labels but for international ones of equal length that share at least
// half of their characters, since the variants swap characters one for one.
bool IsScriptVariant(const std::string& asked, const std::string& named) {
  const auto a = UnicodeLabels(asked), b = UnicodeLabels(named);
  if (a.size() != b.size() || a == b) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    const auto ascii = [](const std::u32string& label) { return std::all_of(label.begin(), label.end(), [](char32_t c) { return c < 0x80; }); };
    if (a[i].size() != b[i].size() || ascii(a[i]) || ascii(b[i])) return false;
    std::size_t same = 0;
    for (std::size_t k = 0; k < a[i].size(); ++k) same += a[i][k] == b[i][k];
    if (same * 2 < a[i].size()) return false;
  }
  return true;
}

}  // namespace

std::string DomainKey(const std::string& value) {
  std::string name = value.substr(0, value.find_first_of(" \t("));
  // Chinese and Japanese answers put the ASCII form in full-width brackets or after an ideographic space.
  for (const char* wide : {"\xEF\xBC\x88", "\xE3\x80\x80"}) name = name.substr(0, name.find(wide));
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
    std::string Name;  // of a domain object
  };
  std::vector<Object> objects{{Kind::Preamble, {}, {}}};
  // An object a paragraph opens ends with it; what follows belongs to the domain object before it again.
  std::size_t resume = 0, current = 0;
  std::size_t paragraph = entries.empty() ? 0 : entries.front().Paragraph;
  for (const WhoisEntry& entry : entries) {
    if (entry.Paragraph != paragraph && objects[current].Of == Kind::Other) current = resume;
    paragraph = entry.Paragraph;
    if (!entry.Continued && IsDomainKey(entry)) {
      const std::string name = DomainKey(entry.Value);
      // "domain: example.test" is not always its object's first line ("state: active" may open the paragraph).
      std::vector<WhoisEntry> opening;
      if (current == 0)
        while (!objects[0].Entries.empty() && objects[0].Entries.back().Paragraph == entry.Paragraph) {
          opening.insert(opening.begin(), std::move(objects[0].Entries.back()));
          objects[0].Entries.pop_back();
        }
      objects.push_back({name == wanted ? Kind::Asked : Kind::Domain, std::move(opening), name});
      current = resume = objects.size() - 1;
    } else if (!entry.Continued && OpensOtherObject(entry.Key, entry.FirstInParagraph)) {
      objects.push_back({Kind::Other, {}, {}});
      current = objects.size() - 1;
    }
    objects[current].Entries.push_back(entry);
  }
  // A registry may answer for the asked name with the record of its script variant.
  const auto isAsked = [](const Object& o) { return o.Of == Kind::Asked; };
  const auto domain = std::find_if(objects.begin(), objects.end(), [](const Object& o) { return o.Of == Kind::Domain; });
  if (std::none_of(objects.begin(), objects.end(), isAsked) && domain != objects.end() && IsScriptVariant(wanted, domain->Name) &&
      std::all_of(objects.begin(), objects.end(), [&](const Object& o) { return o.Of != Kind::Domain || o.Name == domain->Name; }))
    for (Object& object : objects)
      if (object.Of == Kind::Domain) object.Of = Kind::Asked;
  WhoisObjects split;
  for (auto object = objects.rbegin(); object != objects.rend(); ++object) {
    if (object->Of == Kind::Asked) split.Asked.push_back(object->Entries);
    if (object->Of == Kind::Other) split.Others.push_back(object->Entries);
  }
  std::reverse(split.Others.begin(), split.Others.end());
  split.Asked.push_back(objects.front().Entries);
  return split;
}

}  // namespace site
