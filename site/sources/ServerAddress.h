#pragma once
// The addresses of a source server (RDAP, WHOIS) by the page's resolver, so
// that a configured resolver answers for these names too and none of them
// goes to the system's resolver behind its back. IPv4 first, IPv6 when the
// server has no IPv4 address; an address literal needs no lookup.

#include "sources/Resolver.h"

#include <boost/asio/ip/tcp.hpp>
#include <functional>
#include <string>
#include <vector>

namespace site {

// `failure` (Russian) when there is no address.
using EndpointsDone = std::function<void(std::vector<boost::asio::ip::tcp::endpoint> endpoints, std::string failure)>;

// `port` is a valid port number in decimal. Calls `done` at once for a literal.
void ServerEndpoints(Resolver& dns, const std::string& host, const std::string& port, EndpointsDone done);

}  // namespace site
