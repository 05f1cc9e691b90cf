// The registered name of any well-formed ASCII domain by the Public Suffix
// List, checked against the list itself: the name asked is the domain or a
// suffix of it on a label boundary, one label over a public suffix and never a
// public suffix itself unless the domain typed is one; the name under the
// ICANN section alone, when another, lies between that one and its suffix.
#include "FuzzSupport.h"
#include "base/RegisteredName.h"

#include <libpsl.h>

namespace {

const psl_ctx_t* List() {
  static const psl_ctx_t* const kList = [] {
    const psl_ctx_t* loaded = psl_load_file("/usr/share/publicsuffix/public_suffix_list.dafsa");
    return loaded ? loaded : psl_builtin();
  }();
  return kList;
}

bool Suffix(const std::string& name, int type) { return psl_is_public_suffix2(List(), name.c_str(), type) != 0; }

// Lower-case letters, digits and hyphens in labels of 1 to 63, at most 253 in all.
bool WellFormed(const std::string& domain) {
  if (domain.empty() || domain.size() > 253) return false;
  std::size_t label = 0;
  for (const char c : domain) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-') {
      if (++label > 63) return false;
    } else {
      return false;
    }
  }
  return label > 0;
}

bool EndsOnLabel(const std::string& name, const std::string& suffix) {
  return name == suffix || (name.size() > suffix.size() && name.ends_with("." + suffix));
}

std::string Parent(const std::string& name) { return name.substr(name.find('.') + 1); }

// `name` is one label over a public suffix of `type` and no suffix itself.
void CheckCut(const std::string& domain, const std::string& name, int type, const char* what) {
  if (!EndsOnLabel(domain, name)) Defect(std::string(what) + " not a suffix of " + domain + " on a label boundary: " + name);
  if (name.find('.') == std::string::npos || !Suffix(Parent(name), type))
    Defect(std::string(what) + " not one label over a public suffix: " + name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string domain(reinterpret_cast<const char*>(data), size);
  if (!WellFormed(domain)) return 0;
  const site::RegisteredName registered = site::RegisteredNameOf(domain);
  if (domain.find('.') == std::string::npos) {
    if (!registered.Name.empty() || registered.Failure.empty()) Defect("a top-level zone has a registered name: " + domain);
    return 0;
  }
  if (registered.Failure.empty() == registered.PublicSuffix) Defect("a refusal that does not match the public suffix: " + domain);
  if (registered.PublicSuffix) {
    if (registered.Name != domain || !Suffix(domain, PSL_TYPE_ANY)) Defect("not a public suffix asked as typed: " + domain);
  } else {
    if (Suffix(registered.Name, PSL_TYPE_ANY)) Defect("a bare public suffix asked: " + registered.Name + " for " + domain);
    CheckCut(domain, registered.Name, PSL_TYPE_ANY, "the name asked");
  }
  if (!registered.IcannName.empty()) {
    if (!EndsOnLabel(registered.Name, registered.IcannName) || registered.IcannName == registered.Name)
      Defect("the ICANN section's name not under the name asked: " + registered.IcannName + " for " + domain);
    if (Suffix(registered.IcannName, PSL_TYPE_ICANN)) Defect("the ICANN section's name is its public suffix: " + registered.IcannName);
    CheckCut(domain, registered.IcannName, PSL_TYPE_ICANN, "the ICANN section's name");
  }
  const site::RegisteredName again = site::RegisteredNameOf(domain);
  if (again.Name != registered.Name || again.IcannName != registered.IcannName) Defect("another name the second time: " + domain);
  return 0;
}
