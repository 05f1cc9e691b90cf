#pragma once
// The addresses of the host the service runs on. Services bound to all of its
// interfaces answer on each of them, so a public address of the host itself
// is as much out of bounds as loopback, for targets and for sources alike.

#include <boost/asio/ip/address.hpp>

namespace site {

// Whether `address` is one of the host's own, as its interfaces list them
// now: the list is read again when a few seconds old, so an address added
// while the service runs is known soon after.
bool IsHostAddress(const boost::asio::ip::address& address);

}  // namespace site
