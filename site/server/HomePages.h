#pragma once
// The home site's own pages, which the window's link labels open.

#include <optional>
#include <string>
#include <string_view>

namespace site {

// "/?ii=1": what Tarnwell is, how to get it, how to run one's own home site.
std::string AboutPage();
// "/click.php": choosing and registering a domain name.
std::string ClickPage();
// "/hosting/desc/<slug>.shtml"; empty for a slug that is not a provider's.
std::optional<std::string> ProviderPage(std::string_view slug);

}  // namespace site
