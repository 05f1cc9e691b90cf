#pragma once
// The IPv4 address a trace, scan or network record is about, and whether the
// service may probe it.

#include "sources/ReportContext.h"
#include "base/Target.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace site {

// The address itself, or the first A record of the domain. On failure the
// address is empty and the text says why, in Russian.
using AddressDone = std::function<void(std::optional<std::uint32_t> address, std::string reason)>;
void FirstIpv4(const std::shared_ptr<ReportContext>& context, const Target& target, AddressDone done);

// False for private, loopback, link-local, multicast, shared, documentation,
// benchmarking and other reserved ranges: nothing a public service should probe.
bool IsPublicIpv4(std::uint32_t address);

// True for the ranges of a local network: private (10/8, 172.16/12,
// 192.168/16), shared (100.64/10) and link-local (169.254/16).
bool IsLanIpv4(std::uint32_t address);

// Whether a trace or scan may probe the address: public ones, local networks
// with AllowLan, but never the host's own addresses; anything with AllowPrivate.
bool MayProbe(std::uint32_t address, const Options& options);

// "192.0.2.1" from a host-order address.
std::string Ipv4Text(std::uint32_t address);

// The Russian refusal shown when a trace or scan target may not be probed.
std::string PrivateRefusal(std::uint32_t address);

}  // namespace site
