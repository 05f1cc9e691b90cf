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

bool IsPublicSuffix(const std::string& name) { return psl_is_public_suffix2(List(), name.c_str(), PSL_TYPE_ANY) != 0; }

}  // namespace

RegisteredName RegisteredNameOf(const std::string& domain) {
  if (domain.empty() || domain.find('.') == std::string::npos)
    return {{}, false, "«" + domain + "» — публичная зона, в которой регистрируют домены, а не зарегистрированное имя; "
                       "введите имя домена в этой зоне"};
  if (IsPublicSuffix(domain))
    return {domain, true, "«" + domain + "» — публичная зона, в которой регистрируют домены, и у её реестра нет записи о самом этом имени; "
                          "введите имя домена в этой зоне"};
  // The longest public suffix is the first, from the left, of the name's suffixes that is one.
  std::size_t label = 0;  // where the label before the suffix starts
  for (std::size_t dot = domain.find('.'); dot != std::string::npos; dot = domain.find('.', dot + 1)) {
    if (IsPublicSuffix(domain.substr(dot + 1))) return {domain.substr(label), false, {}};
    label = dot + 1;
  }
  return {domain, false, {}};
}

}  // namespace site
