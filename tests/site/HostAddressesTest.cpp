// The host's own addresses when the interfaces can no longer be listed, as
// when a sandbox refuses netlink sockets: the list last read stays, and the
// failure is said once. The refusal is a seccomp filter on one thread of the
// test's own, as systemd's RestrictAddressFamilies= would make it.
#include "sources/HostAddresses.h"

#include <gtest/gtest.h>

#include <seccomp.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace {

bool RefuseNetlinkOnThisThread() {
  scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
  if (!filter) return false;
  const bool loaded = seccomp_rule_add(filter, SCMP_ACT_ERRNO(EAFNOSUPPORT), SCMP_SYS(socket), 1, SCMP_A0_32(SCMP_CMP_EQ, AF_NETLINK)) == 0 &&
                      seccomp_load(filter) == 0;
  seccomp_release(filter);
  return loaded;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(HostAddresses, KeepTheLastListWhenTheInterfacesCannotBeReadAgain) {
  const auto loopback = boost::asio::ip::make_address("127.0.0.1");
  site::LoadHostAddresses();
  ASSERT_TRUE(site::IsHostAddress(loopback));
  std::thread([&] {
    ASSERT_TRUE(RefuseNetlinkOnThisThread());
    EXPECT_THROW(site::LoadHostAddresses(), site::HostAddressesError);
    testing::internal::CaptureStderr();
    // Past the list's age twice: two reads fail, one line says so.
    for (int refresh = 0; refresh < 2; ++refresh) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5100));
      EXPECT_TRUE(site::IsHostAddress(loopback));
      EXPECT_TRUE(site::IsHostAddress(loopback));
    }
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Count(log, "cannot read the host's own addresses (getifaddrs: Address family not supported by protocol)"), 1u) << log;
  }).join();
}

}  // namespace
