#include "server/ForwardedClient.h"

#include <algorithm>
#include <string>

namespace site {

namespace {

std::optional<boost::asio::ip::address> Address(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  boost::system::error_code error;
  const auto address = boost::asio::ip::make_address(std::string(text), error);
  if (error) return std::nullopt;
  return address;
}

}  // namespace

bool IsTrustedProxy(const Options& options, const boost::asio::ip::address& peer) {
  const std::string text = peer.to_string();
  return std::find(options.TrustedProxies.begin(), options.TrustedProxies.end(), text) != options.TrustedProxies.end();
}

std::optional<boost::asio::ip::address> ForwardedClient(std::string_view realIp, std::string_view forwardedFor) {
  if (auto address = Address(realIp)) return address;
  const auto comma = forwardedFor.rfind(',');
  return Address(comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1));
}

}  // namespace site
