#pragma once
// The addresses of the host the service runs on. Services bound to all of its
// interfaces answer on each of them, so a public address of the host itself
// is as much out of bounds as loopback, for targets and for sources alike.

#include <boost/asio/ip/address.hpp>

#include <stdexcept>

namespace site {

// The host's interfaces cannot be listed, as where a sandbox refuses the
// netlink socket that lists them; the text says why, in English.
struct HostAddressesError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reads the host's addresses now. Throws HostAddressesError when they cannot
// be read: without the list the host's own public address would pass for any
// other, so the service does not start.
void LoadHostAddresses();

// Whether `address` is one of the host's own, as its interfaces list them
// now: the list is read again when a few seconds old, so an address added
// while the service runs is known soon after. A list that cannot be read
// again leaves the last one in use, said once on stderr; with no list read
// yet, this reads it as LoadHostAddresses does, and throws as it does.
bool IsHostAddress(const boost::asio::ip::address& address);

}  // namespace site
