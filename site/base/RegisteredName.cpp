#include "base/RegisteredName.h"

#include <libpsl.h>

namespace site {

namespace {

constexpr const char* kDebianList = "/usr/share/publicsuffix/public_suffix_list.dafsa";

const psl_ctx_t* List() {
  // Loaded once; libpsl's own copy only where Debian's file is missing.
  static const psl_ctx_t* const kList = [] {
    const psl_ctx_t* loaded = psl_load_file(kDebianList);
    return loaded ? loaded : psl_builtin();
  }();
  return kList;
}

bool IsPublicSuffix(const std::string& name, int type) { return psl_is_public_suffix2(List(), name.c_str(), type) != 0; }

// The name one label longer than its longest public suffix of `type`, the
// first from the left of its suffixes that is one; the name itself when it is one.
std::string Registered(const std::string& domain, int type) {
  if (IsPublicSuffix(domain, type)) return domain;
  std::size_t label = 0;  // where the label before the suffix starts
  for (std::size_t dot = domain.find('.'); dot != std::string::npos; dot = domain.find('.', dot + 1)) {
    if (IsPublicSuffix(domain.substr(dot + 1), type)) return domain.substr(label);
    label = dot + 1;
  }
  return domain;
}

}  // namespace

RegisteredName RegisteredNameOf(const std::string& domain) {
  if (domain.empty() || domain.find('.') == std::string::npos)
    return {{}, false, "«" + domain + "» — публичная зона, в которой регистрируют домены, а не зарегистрированное имя; "
                       "введите имя домена в этой зоне", {}};
  RegisteredName registered{Registered(domain, PSL_TYPE_ANY), IsPublicSuffix(domain, PSL_TYPE_ANY), {}, Registered(domain, PSL_TYPE_ICANN)};
  if (registered.PublicSuffix)
    registered.Failure = "«" + domain + "» — публичная зона, в которой регистрируют домены, и у её реестра нет записи о самом этом имени; "
                         "введите имя домена в этой зоне";
  if (registered.IcannName == registered.Name) registered.IcannName.clear();
  return registered;
}

}  // namespace site
