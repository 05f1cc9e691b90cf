// go.php leads only where the window's own links lead; anything else gets a
// page that names the target and does not follow it.
#include "server/Redirector.h"
#include "Providers.h"

#include <gtest/gtest.h>

using namespace site;

namespace {

constexpr const char* kHost = "127.0.0.1:8080";

TEST(SiteRedirector, FollowsTheWindowsOwnLinks) {
  for (const auto& provider : providers::kProviders) {
    SCOPED_TRACE(provider.Slug);
    const std::string target = provider.PartnerPage;
    EXPECT_EQ(RedirectLocation("url=" + target, kHost), target);
    EXPECT_EQ(RedirectLocation("url=" + target + "&f=program", kHost), target);
  }
  const std::string details = std::string("http://") + kHost + "/hosting/desc/alderhost.shtml";
  EXPECT_EQ(RedirectLocation("url=" + details + "&f=program", kHost), "/hosting/desc/alderhost.shtml");
  EXPECT_EQ(RedirectLocation("url=http://TARNWELL.example/hosting/desc/alderhost.shtml&f=program", "tarnwell.example"),
            "/hosting/desc/alderhost.shtml");
  // A browser that encodes the target names the same one.
  EXPECT_EQ(RedirectLocation("url=http%3A%2F%2Falderhost.example%2F%3Faff%3Dtarnwell&f=program", kHost),
            "http://alderhost.example/?aff=tarnwell");
}

TEST(SiteRedirector, RefusesEverythingElse) {
  const std::string details = std::string("http://") + kHost + "/hosting/desc/alderhost.shtml";
  const std::pair<const char*, std::string> rows[] = {
      {"another host", "url=http://evil.example/"},
      {"scheme-relative", "url=//evil.example/"},
      {"https of a partner", "url=https://alderhost.example/?aff=tarnwell"},
      {"partner with a longer query", "url=http://alderhost.example/?aff=tarnwell&x=1"},
      {"partner as a prefix of another host", "url=http://alderhost.example.evil.example/?aff=tarnwell"},
      {"user-info trick", "url=http://alderhost.example@evil.example/?aff=tarnwell"},
      {"encoded host", "url=http%3A%2F%2Fevil.example%2F"},
      {"CR LF after a partner", "url=http://alderhost.example/?aff=tarnwell%0D%0ASet-Cookie:%20a=b"},
      {"raw CR LF", "url=http://alderhost.example/?aff=tarnwell\r\nSet-Cookie: a=b"},
      {"javascript", "url=javascript:alert(1)"},
      {"details of another provider", "url=http://127.0.0.1:8080/hosting/desc/brightnest.shtml&f=program"},
      {"details on another host", "url=http://evil.example/hosting/desc/alderhost.shtml&f=program"},
      {"details with another path after it", "url=" + details + "/../../x&f=program"},
      {"details when the request had no Host", "url=" + details},
      {"no url key", "x=http://alderhost.example/?aff=tarnwell"},
      {"empty", ""},
  };
  for (const auto& [name, query] : rows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(RedirectLocation(query, std::string_view(name) == "details when the request had no Host" ? "" : kHost), std::nullopt);
  }
}

TEST(SiteRedirector, TheRefusalPageNamesTheTargetEscapedWithoutALink) {
  const std::string page = NotRedirectedPage(RedirectTarget("url=javascript:alert(\"<b>\")&f=program"));
  EXPECT_NE(page.find("javascript:alert(&quot;&lt;b&gt;&quot;)"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_EQ(page.find("href"), std::string::npos);
  EXPECT_EQ(page.find("http-equiv"), std::string::npos);
}

}  // namespace
