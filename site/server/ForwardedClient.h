#pragma once
// Who a request is really from when it comes through a proxy of the site's
// own: behind nginx every connection is the proxy's, so the limits that are
// kept per client would otherwise hold every user in one share.

#include "base/Options.h"

#include <boost/asio/ip/address.hpp>
#include <optional>
#include <string_view>

namespace site {

// Whether `peer` is one of the proxies named by --trusted-proxy.
bool IsTrustedProxy(const Options& options, const boost::asio::ip::address& peer);

// The client a trusted proxy names: X-Real-IP when it is an address, else the
// last address of X-Forwarded-For (the one the proxy itself added; earlier ones
// are the client's own word). None when neither names one.
std::optional<boost::asio::ip::address> ForwardedClient(std::string_view realIp, std::string_view forwardedFor);

}  // namespace site
