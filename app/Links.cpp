#include "Links.h"

namespace links {

namespace {
std::string& CurrentHomeSite() {
  static std::string site;
  return site;
}
}  // namespace

void SetHomeSite(const std::string& site) { CurrentHomeSite() = site; }
std::string HomeSite() { return CurrentHomeSite(); }
std::string HomeSiteAddress() { return "http://" + HomeSite(); }
std::string HomePage() { return HomeSitePage("/?ii=1"); }
std::string HomeSitePage(const std::string& path) { return HomeSiteAddress() + path; }
std::string DetailsPage(const std::string& slug) { return HomeSitePage("/hosting/desc/" + slug + ".shtml"); }

std::string Redirector(const std::string& target, bool fromProgram) {
  return HomeSitePage("/go.php?url=" + target + (fromProgram ? "&f=program" : ""));
}

}  // namespace links
