#pragma once
// The origin AS of an address and the AS's name, from IP-to-AS zones in DNS:
// TXT at <reversed octets>.<origin zone> reads "64500 | 10.0.0.0/8 | ZZ | registry | date",
// TXT at AS<number>.<name zone> reads "64500 | ZZ | registry | date | NAME, ZZ".

#include <boost/asio/ip/address.hpp>
#include <cstdint>
#include <string>
#include <vector>

namespace site {

// "1.0.0.10.origin.example" for 10.0.0.1. An IPv6 address is asked by its
// half-bytes, the last first, in the IPv6 twin of the zone: "origin6.x" for a
// zone named "origin.x", the zone itself otherwise.
std::string AsOriginQuery(const boost::asio::ip::address& address, const std::string& zone);
std::string AsNameQuery(const std::string& number, const std::string& zone);

// The text of a TXT record in presentation form: quotes removed, strings joined.
std::string TxtText(const std::string& record);

// The first AS number of the first origin record; empty when there is none.
std::string AsNumberOf(const std::vector<std::string>& records);
// The name field of the first AS record; empty when there is none.
std::string AsNameOf(const std::vector<std::string>& records);

// The PTR target without its final dot.
std::string HostNameOf(const std::vector<std::string>& records);

}  // namespace site
