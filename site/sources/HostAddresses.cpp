#include "sources/HostAddresses.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

namespace site {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kRefresh{5};

std::vector<boost::asio::ip::address> ReadInterfaces() {
  std::vector<boost::asio::ip::address> found;
  ifaddrs* list = nullptr;
  // Without the list nothing is known to be the host's; the public-range
  // checks still keep loopback and the private networks out.
  if (getifaddrs(&list) != 0) return found;
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

}  // namespace

bool IsHostAddress(const boost::asio::ip::address& address) {
  static std::mutex mutex;
  static std::vector<boost::asio::ip::address> known;
  static Clock::time_point read{};
  const auto now = Clock::now();
  std::lock_guard lock(mutex);
  if (read == Clock::time_point{} || now - read >= kRefresh) {
    known = ReadInterfaces();
    read = now;
  }
  boost::asio::ip::address plain = address;
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    plain = boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
  return std::find(known.begin(), known.end(), plain) != known.end();
}

}  // namespace site
