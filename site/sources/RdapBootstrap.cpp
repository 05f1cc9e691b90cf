#include "sources/RdapBootstrap.h"

#include "sources/HttpsGet.h"
#include "sources/HttpsUrl.h"
#include "sources/RdapJson.h"
#include "sources/SourcePolicy.h"

#include <algorithm>
#include <charconv>
#include <vector>

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

std::vector<unsigned char> Bytes(const boost::asio::ip::address& address) {
  if (address.is_v4()) {
    const auto v4 = address.to_v4().to_bytes();
    return {v4.begin(), v4.end()};
  }
  const auto v6 = address.to_v6().to_bytes();
  return {v6.begin(), v6.end()};
}

bool SamePrefix(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int bits) {
  for (int i = 0; i < bits / 8; ++i)
    if (a[i] != b[i]) return false;
  const int rest = bits % 8;
  const unsigned mask = 0xFFu << (8 - rest) & 0xFFu;
  return rest == 0 || (a[bits / 8] & mask) == (b[bits / 8] & mask);
}

bool WholeNumber(const char* begin, const char* end, std::uint32_t& number) {
  const auto [ptr, error] = std::from_chars(begin, end, number);
  return error == std::errc{} && ptr == end;
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

std::optional<std::string> ServiceForAddress(const json& file, const boost::asio::ip::address& address) {
  const std::vector<unsigned char> bytes = Bytes(address);
  std::optional<std::string> best;
  int bestBits = -1;
  ForEachEntry(file, [&](const std::string& entry, const json& urls) {
    const std::size_t slash = entry.find('/');
    if (slash == std::string::npos) return;
    boost::system::error_code error;
    const auto network = boost::asio::ip::make_address(entry.substr(0, slash), error);
    int bits = -1;
    const char* end = entry.data() + entry.size();
    if (error || network.is_v4() != address.is_v4() || std::from_chars(entry.data() + slash + 1, end, bits).ptr != end ||
        bits < 0 || bits > static_cast<int>(bytes.size() * 8) || bits <= bestBits || !SamePrefix(Bytes(network), bytes, bits))
      return;
    if (auto url = HttpsService(urls)) {
      best = std::move(url);
      bestBits = bits;
    }
  });
  return best;
}

std::optional<std::string> ServiceForAs(const json& asn, std::uint32_t number) {
  std::optional<std::string> best;
  std::uint64_t bestWidth = ~std::uint64_t{0};
  ForEachEntry(asn, [&](const std::string& entry, const json& urls) {
    const std::size_t dash = entry.find('-');
    const char* end = entry.data() + entry.size();
    const char* firstEnd = dash == std::string::npos ? end : entry.data() + dash;
    std::uint32_t first = 0, last = 0;
    if (!WholeNumber(entry.data(), firstEnd, first)) return;
    if (dash == std::string::npos) last = first;
    else if (!WholeNumber(firstEnd + 1, end, last) || last < first) return;
    const std::uint64_t width = std::uint64_t{last} - first;
    if (number < first || number > last || width >= bestWidth) return;
    if (auto url = HttpsService(urls)) {
      best = std::move(url);
      bestWidth = width;
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
