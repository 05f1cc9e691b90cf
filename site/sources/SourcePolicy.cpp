#include "sources/SourcePolicy.h"

#include "sources/HttpsUrl.h"
#include "sources/TargetAddress.h"

namespace site {

namespace {

bool IsPrivateLiteral(std::string host) {
  if (host == "localhost") return true;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  boost::system::error_code error;
  const auto address = boost::asio::ip::make_address(host, error);
  return !error && !IsPublicAddress(address);
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
  return IsPublicAddress(address) && !IsOwnAddress(address);
}

bool SourcePortAllowed(const std::string& port, const std::string& standard, const Options& options) {
  return port == standard || options.AnySourcePort || PrivateSourcesAllowed(options);
}

}  // namespace site
