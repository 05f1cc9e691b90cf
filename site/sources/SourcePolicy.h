#pragma once
// Which addresses the service may reach while it follows registries' answers
// (bootstrap services, redirections, registrar links, WHOIS referrals). Those
// names come from outside; a public service must not let them steer its
// connections into the network it runs in.

#include "base/Options.h"

#include <boost/asio/ip/address.hpp>
#include <string>

namespace site {

// True when the configured sources themselves sit on private addresses (a
// test rig or a closed deployment), or when private targets are allowed.
bool PrivateSourcesAllowed(const Options& options);

// Whether a connection to `address` is allowed under that decision: a public
// address that is not the host's own, IPv6 judged as a trace target is.
bool SourceAddressAllowed(const boost::asio::ip::address& address, bool privateAllowed);

// Whether a source may be reached on `port` (decimal): only on its protocol's
// `standard` one ("43", "443"), so that a referral or a link cannot aim the
// service at another service of a host; any port with AnySourcePort or where
// private sources are allowed.
bool SourcePortAllowed(const std::string& port, const std::string& standard, const Options& options);

}  // namespace site
