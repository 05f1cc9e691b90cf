#pragma once
// The address a trace, scan or network record is about, and whether the
// service may probe it.

#include "sources/ReportContext.h"
#include "base/Target.h"

#include <boost/asio/ip/address.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace site {

// The address that was typed, if one was.
std::optional<boost::asio::ip::address> TargetIp(const Target& target);

// The address as the page names it (dotted IPv4, IPv6 in its shortest
// canonical form, "AS15169") or the domain's ASCII name.
std::string TargetText(const Target& target);

// The address itself, or the first A record of the domain, or its first AAAA
// record when it has no A. On failure the address is empty and the text says
// why, in Russian.
using AddressDone = std::function<void(std::optional<boost::asio::ip::address> address, std::string reason)>;
void FirstAddress(const std::shared_ptr<ReportContext>& context, const Target& target, AddressDone done);

// Which of a domain's records FirstAddress took: "первая запись A домена",
// "первая запись A домена example.test" with the domain as the page shows it.
std::string FirstRecordNote(const boost::asio::ip::address& address, const std::string& domain = {});

// False for private, loopback, link-local, multicast, shared, documentation,
// benchmarking and other reserved ranges: nothing a public service should probe.
// IPv6 is public only in the global unicast block 2000::/3, outside its
// documentation and protocol-assignment ranges. The forms that stand for an
// IPv4 address (IPv4-mapped ::ffff:0:0/96, IPv4-translated ::ffff:0:0:0/96,
// NAT64 64:ff9b::/96) are judged as that address; the tunnel forms (6to4
// 2002::/16, Teredo 2001::/32) are public only when every IPv4 address they
// carry is.
bool IsPublicAddress(const boost::asio::ip::address& address);

// True for the ranges of a local network: IPv4's private (10/8, 172.16/12,
// 192.168/16), shared (100.64/10) and link-local (169.254/16) ones; IPv6's
// unique-local fc00::/7 and link-local fe80::/10; a form standing for an IPv4
// address is local when that address is.
bool IsLanAddress(const boost::asio::ip::address& address);

// One of the host's own addresses, or an IPv6 form standing for or carrying one.
bool IsOwnAddress(const boost::asio::ip::address& address);

// Whether a trace or scan may probe the address: public ones, local networks
// with AllowLan, but never the host's own addresses; anything with AllowPrivate.
bool MayProbe(const boost::asio::ip::address& address, const Options& options);

// The Russian refusal shown when a trace or scan target may not be probed.
std::string PrivateRefusal(const boost::asio::ip::address& address);

}  // namespace site
