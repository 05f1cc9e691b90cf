#include "sources/SourcePolicy.h"

#include "sources/HostAddresses.h"
#include "sources/HttpsUrl.h"
#include "sources/TargetAddress.h"

namespace site {

namespace {

bool IsPrivateLiteral(const std::string& host) {
  if (host == "localhost") return true;
  boost::system::error_code error;
  const auto address = boost::asio::ip::make_address_v4(host, error);
  return !error && !IsPublicIpv4(address.to_uint());
}

std::string WhoisRootHost(const std::string& root) {
  return root.substr(0, root.rfind(':'));
}

}  // namespace

bool PrivateSourcesAllowed(const Options& options) {
  if (options.AllowPrivate) return true;
  const auto bootstrap = ParseHttpsUrl(options.RdapBootstrap);
  return (bootstrap && IsPrivateLiteral(bootstrap->Host)) || IsPrivateLiteral(WhoisRootHost(options.WhoisRoot));
}

bool SourceAddressAllowed(const boost::asio::ip::address& address, bool privateAllowed) {
  if (privateAllowed) return true;
  return address.is_v4() && IsPublicIpv4(address.to_v4().to_uint()) && !IsHostAddress(address);
}

bool SourcePortAllowed(const std::string& port, const std::string& standard, const Options& options) {
  return port == standard || options.AnySourcePort || PrivateSourcesAllowed(options);
}

}  // namespace site
