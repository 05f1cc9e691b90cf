#pragma once
// An IPv4 address as itself even when a dual-stack socket shows it mapped
// into IPv6 (::ffff:a.b.c.d), so that it compares, keys and logs as one address.

#include <boost/asio/ip/address.hpp>

namespace site {

inline boost::asio::ip::address Unmapped(const boost::asio::ip::address& address) {
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
  return address;
}

}  // namespace site
