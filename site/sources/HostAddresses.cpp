#include "sources/HostAddresses.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <vector>

namespace site {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kRefresh{5};

using AddressList = std::vector<boost::asio::ip::address>;

AddressList ReadInterfaces() {
  AddressList found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    const int error = errno;
    throw HostAddressesError(std::string("cannot read the host's own addresses (getifaddrs: ") + std::strerror(error) +
                             "); a systemd unit must allow AF_NETLINK in RestrictAddressFamilies");
  }
  for (const ifaddrs* item = list; item; item = item->ifa_next) {
    if (!item->ifa_addr) continue;
    if (item->ifa_addr->sa_family == AF_INET) {
      const auto* v4 = reinterpret_cast<const sockaddr_in*>(item->ifa_addr);
      found.push_back(boost::asio::ip::address_v4(ntohl(v4->sin_addr.s_addr)));
    } else if (item->ifa_addr->sa_family == AF_INET6) {
      const auto* v6 = reinterpret_cast<const sockaddr_in6*>(item->ifa_addr);
      boost::asio::ip::address_v6::bytes_type bytes;
      std::memcpy(bytes.data(), v6->sin6_addr.s6_addr, bytes.size());
      found.push_back(boost::asio::ip::address_v6(bytes));
    }
  }
  freeifaddrs(list);
  return found;
}

struct HostList {
  std::mutex Mutex;
  std::optional<AddressList> Known;
  Clock::time_point Read{};
  bool Failing = false;  // the last re-read failed and has been logged
};

HostList& Host() {
  static HostList host;
  return host;
}

// Called with the mutex held.
void LoadLocked(HostList& host, Clock::time_point now) {
  host.Known = ReadInterfaces();
  host.Read = now;
  host.Failing = false;
}

}  // namespace

void LoadHostAddresses() {
  HostList& host = Host();
  std::lock_guard lock(host.Mutex);
  LoadLocked(host, Clock::now());
}

bool IsHostAddress(const boost::asio::ip::address& address) {
  HostList& host = Host();
  const auto now = Clock::now();
  std::lock_guard lock(host.Mutex);
  if (!host.Known) {
    LoadLocked(host, now);
  } else if (now - host.Read >= kRefresh) {
    try {
      LoadLocked(host, now);
    } catch (const HostAddressesError& e) {
      // Tried again at the next refresh; one line per outage, not per lookup.
      host.Read = now;
      if (!host.Failing) std::cerr << "tarnwell-site: " << e.what() << "; the last list read stays in use\n";
      host.Failing = true;
    }
  }
  boost::asio::ip::address plain = address;
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    plain = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
  return std::find(host.Known->begin(), host.Known->end(), plain) != host.Known->end();
}

}  // namespace site
