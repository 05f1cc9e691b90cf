#pragma once
// The web-space providers of the window's provider page, in row order from the
// top. The window links to them and the home site describes them and redirects
// to them, so both build from this one table.

#include <array>

namespace providers {

struct TProvider {
  const char* Slug;         // the details page is "/hosting/desc/" + Slug + ".shtml"
  const char* Name;         // the display name
  const char* PartnerPage;  // the provider's own site, with our partner parameters
};

inline constexpr std::array<TProvider, 9> kProviders = {{
    {"alderhost", "Alderhost", "http://alderhost.example/?aff=tarnwell"},
    {"brightnest", "Brightnest", "http://brightnest.example/order/?partner=tarnwell"},
    {"cobaltweb", "Cobaltweb", "http://cobaltweb.example/signup.php?ref=tarnwell&plan=start"},
    {"dunmore", "Dunmore", "http://dunmore.example/?from=tarnwell"},
    {"elmstack", "Elmstack", "http://elmstack.example/partners.php?id=7731"},
    {"fernhill", "Fernhill", "http://fernhill.example/?ref=7731"},
    {"glenhost", "Glenhost", "http://glenhost.example/join.php?partner=tarnwell&lang=ru"},
    {"harbourweb", "Harbourweb", "http://harbourweb.example/?p=tarnwell"},
    {"ivyserve", "Ivyserve", "http://ivyserve.example/aff.php?aff=112"},
}};

}  // namespace providers
