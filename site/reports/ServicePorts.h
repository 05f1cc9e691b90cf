#pragma once
// The TCP ports a port scan tries when none are configured: about a hundred
// services most often found listening on the Internet, with their names.

#include <cstdint>
#include <span>
#include <string_view>

namespace site {

struct ServicePort {
  std::uint16_t Port;
  std::string_view Service;
};

// In ascending port order.
std::span<const ServicePort> CommonServicePorts();

// The service's name, or empty for a port not in the list.
std::string_view ServiceName(std::uint16_t port);

}  // namespace site
