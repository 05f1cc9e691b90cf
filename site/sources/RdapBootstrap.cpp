#include "sources/RdapBootstrap.h"

#include "sources/HttpsGet.h"
#include "sources/HttpsUrl.h"
#include "sources/RdapJson.h"
#include "sources/SourcePolicy.h"

#include <algorithm>
#include <boost/asio/ip/address_v4.hpp>
#include <charconv>

namespace site {

namespace {

using nlohmann::json;

constexpr std::chrono::hours kBootstrapTtl{24};

// The first HTTPS URL among a service's URLs that a request can be made of,
// made to end in "/"; a later one serves when an earlier one is broken.
std::optional<std::string> HttpsService(const json& urls) {
  if (!urls.is_array()) return std::nullopt;
  for (const json& url : urls) {
    if (!url.is_string()) continue;
    std::string text = url.get<std::string>();
    if (!text.starts_with("https://")) continue;
    if (!text.ends_with("/")) text += '/';
    if (!ParseHttpsUrl(text)) continue;
    return text;
  }
  return std::nullopt;
}

// Calls `visit(entry, urls)` for every entry of every service.
template <class Visit>
void ForEachEntry(const json& file, Visit visit) {
  if (!file.is_object() || !file.contains("services") || !file["services"].is_array()) return;
  for (const json& service : file["services"]) {
    if (!service.is_array() || service.size() < 2 || !service[0].is_array()) continue;
    for (const json& entry : service[0])
      if (entry.is_string()) visit(entry.get<std::string>(), service[1]);
  }
}

std::shared_ptr<const json> Usable(const std::string& text) {
  auto file = ParseRdapJson(text);
  if (!file || !file->contains("services") || !(*file)["services"].is_array()) return nullptr;
  return std::make_shared<const json>(std::move(*file));
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

std::optional<DomainService> ServiceForDomain(const json& dns, const std::string& domain) {
  const std::string name = Lower(domain);
  std::optional<DomainService> best;
  std::size_t bestLength = 0;
  ForEachEntry(dns, [&](const std::string& entry, const json& urls) {
    const std::string suffix = Lower(entry);
    const bool matches = !suffix.empty() && (name == suffix || name.ends_with("." + suffix));
    if (!matches || suffix.size() <= bestLength) return;
    if (auto url = HttpsService(urls)) {
      best = DomainService{std::move(*url), suffix};
      bestLength = suffix.size();
    }
  });
  return best;
}

std::optional<std::string> ServiceForIpv4(const json& ipv4, std::uint32_t address) {
  std::optional<std::string> best;
  int bestBits = -1;
  ForEachEntry(ipv4, [&](const std::string& entry, const json& urls) {
    const std::size_t slash = entry.find('/');
    if (slash == std::string::npos) return;
    boost::system::error_code error;
    const auto network = boost::asio::ip::make_address_v4(entry.substr(0, slash), error);
    int bits = -1;
    const char* end = entry.data() + entry.size();
    if (error || std::from_chars(entry.data() + slash + 1, end, bits).ptr != end || bits < 0 || bits > 32) return;
    const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t{0} << (32 - bits);
    if ((address & mask) != (network.to_uint() & mask) || bits <= bestBits) return;
    if (auto url = HttpsService(urls)) {
      best = std::move(url);
      bestBits = bits;
    }
  });
  return best;
}

void FetchBootstrap(const std::shared_ptr<ReportContext>& context, const std::string& name, BootstrapDone done) {
  std::string base = context->Shared.Opts.RdapBootstrap;
  if (!base.ends_with("/")) base += '/';
  const std::string url = base + name;
  if (auto cached = context->Shared.Bootstraps.Find(url)) {
    done(std::move(*cached), {}, false);
    return;
  }
  const auto deadline = std::min(context->Deadline, std::chrono::steady_clock::now() + context->Shared.Opts.RdapTimeout);
  HttpsGet(context, url, deadline, PrivateSourcesAllowed(context->Shared.Opts),
           [context, url, name, done = std::move(done)](HttpsReply reply) {
             const std::string failure = "Не удалось получить файл " + name + " со списком серверов RDAP: ";
             if (!reply.Failure.empty()) return done(nullptr, failure + reply.Failure, reply.TimedOut);
             if (reply.Status != 200) return done(nullptr, failure + "код ответа " + std::to_string(reply.Status), false);
             auto file = Usable(reply.Body);
             if (!file) return done(nullptr, failure + "файл повреждён", false);
             context->Shared.Bootstraps.Store(url, file, kBootstrapTtl);
             done(std::move(file), {}, false);
           });
}

}  // namespace site
