#pragma once
// Which addresses the service may reach while it follows registries' answers
// (bootstrap services, redirections, registrar links, WHOIS referrals). Those
// names come from outside; a public service must not let them steer its
// connections into the network it runs in.

#include "base/Options.h"

#include <boost/asio/ip/address.hpp>

namespace site {

// True when the configured sources themselves sit on private addresses (a
// test rig or a closed deployment), or when private targets are allowed.
bool PrivateSourcesAllowed(const Options& options);

// Whether a connection to `address` is allowed under that decision. IPv6 is
// reached only when private sources are allowed, as its ranges are not judged here.
bool SourceAddressAllowed(const boost::asio::ip::address& address, bool privateAllowed);

}  // namespace site
