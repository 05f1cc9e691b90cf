#include "server/Redirector.h"

#include "page/PageFrame.h"
#include "Providers.h"
#include "base/TextCoding.h"

#include <algorithm>
#include <cctype>

namespace site {

namespace {

constexpr std::string_view kFromProgram = "&f=program";
constexpr std::string_view kUrlKey = "url=";

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y)); });
}

}  // namespace

std::string RedirectTarget(std::string_view query) {
  if (!query.starts_with(kUrlKey)) return {};
  std::string_view target = query.substr(kUrlKey.size());
  if (target.ends_with(kFromProgram)) target.remove_suffix(kFromProgram.size());
  // A browser encodes what the window sends as it is; both forms name one target.
  return target.find('%') == std::string_view::npos ? std::string(target) : PercentDecode(target);
}

std::optional<std::string> RedirectLocation(std::string_view query, std::string_view host) {
  const std::string target = RedirectTarget(query);
  for (const auto& provider : providers::kProviders)
    if (target == provider.PartnerPage) return target;
  // Row 1's go-to-site label leads through here to its details page on this
  // very site; it is answered with a path, so it can never leave the site.
  const auto& first = providers::kProviders[0];
  const std::string path = std::string("/hosting/desc/") + first.Slug + ".shtml";
  if (!host.empty() && EqualsNoCase(target, "http://" + std::string(host) + path)) return path;
  return std::nullopt;
}

std::string NotRedirectedPage(std::string_view target) {
  Html page;
  BeginPage(page, "Tarnwell: переход не выполнен");
  page.Tag("<h1>").Text("Переход не выполнен").Tag("</h1>\n<p>")
      .Text("Эта страница переводит только на сайты, на которые ссылается сама программа Tarnwell. Запрошенный адрес:")
      .Tag("</p>\n<pre>").Text(target).Tag("</pre>\n<p>")
      .Text("Если вы доверяете этому адресу, скопируйте его в адресную строку браузера сами.")
      .Tag("</p>\n");
  EndPage(page);
  return page.Take();
}

}  // namespace site
