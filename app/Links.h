#pragma once
// The fixed targets of the link labels. Everything on the home site is built
// from the one home site the program was given at start (HomeSite.h), which
// may carry a port; the rest are placeholders under .example.

#include "Providers.h"

#include <string>

namespace links {

// The home site, "host" or "host:port"; empty until one is set.
void SetHomeSite(const std::string& site);
std::string HomeSite();
// "http://" + the home site: the caption of both home-site address labels.
std::string HomeSiteAddress();
// The home site with the path and query "/?ii=1".
std::string HomePage();
// The home site with a fixed path such as "/click.php".
std::string HomeSitePage(const std::string& path);
// The home site's page about one provider: "/hosting/desc/" + slug + ".shtml".
std::string DetailsPage(const std::string& slug);
// The home site's redirector: "/go.php?url=" + the target, unencoded, then
// "&f=program" when `fromProgram`.
std::string Redirector(const std::string& target, bool fromProgram);

inline constexpr const char* kBookShop = "http://books.example/catalog/web/?partner=tarnwell";
// The caption shows the maker's address; mail goes to the program's own mailbox.
inline constexpr const char* kContactAddress = "author@tarnwell.example";
inline constexpr const char* kFeedbackMail = "mailto:feedback@tarnwell.example";

// The provider page's rows from the top.
using providers::kProviders;
using providers::TProvider;

}  // namespace links
