#pragma once
// Who a request is really from when it comes through a proxy of the site's
// own: behind a proxy every connection is the proxy's, so the limits that are
// kept per client would otherwise hold every user in one share.

#include "base/Options.h"

#include <boost/asio/ip/address.hpp>
#include <optional>
#include <string_view>

namespace site {

// Whether `peer` is one of the proxies named by --trusted-proxy, however the listener's family shows it.
bool IsTrustedProxy(const Options& options, const boost::asio::ip::address& peer);

// The client named by the last line of the proxy's header (--trusted-proxy-header):
// the last address of it, the only one the proxy itself added. Every earlier
// address and line may be the client's own word: HAProxy adds a line of its
// own after the client's, nginx appends to the client's one. None when the last
// entry is no address.
std::optional<boost::asio::ip::address> ForwardedClient(std::string_view lastLine);

}  // namespace site
