#include "server/ForwardedClient.h"

#include "base/Unmapped.h"

#include <algorithm>
#include <string>

namespace site {

bool IsTrustedProxy(const Options& options, const boost::asio::ip::address& peer) {
  // The option's addresses are kept unmapped in their canonical text, so equal text is the same address.
  const std::string text = Unmapped(peer).to_string();
  return std::find(options.TrustedProxies.begin(), options.TrustedProxies.end(), text) != options.TrustedProxies.end();
}

std::optional<boost::asio::ip::address> ForwardedClient(std::string_view lastLine) {
  const auto comma = lastLine.rfind(',');
  std::string_view text = comma == std::string_view::npos ? lastLine : lastLine.substr(comma + 1);
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  boost::system::error_code error;
  const auto address = boost::asio::ip::make_address(std::string(text), error);
  if (error) return std::nullopt;
  return Unmapped(address);
}

}  // namespace site
