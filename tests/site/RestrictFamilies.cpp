// restrict_families "AF_INET AF_INET6 ..." PROGRAM [ARG...]: runs PROGRAM
// where socket() makes only the address families listed, every other one
// failing with EAFNOSUPPORT, as systemd's RestrictAddressFamilies= does with
// the same list. For a test of the service as its unit confines it, on a
// machine with no systemd running.
#include <seccomp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

namespace {

struct Family {
  const char* Name;
  int Value;
};

constexpr Family kFamilies[] = {
    {"AF_UNIX", AF_UNIX}, {"AF_INET", AF_INET}, {"AF_INET6", AF_INET6}, {"AF_NETLINK", AF_NETLINK}, {"AF_PACKET", AF_PACKET},
};

int Fail(const std::string& why) {
  std::fprintf(stderr, "restrict_families: %s\n", why.c_str());
  return 125;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Fail("usage: restrict_families \"AF_INET AF_INET6 ...\" PROGRAM [ARG...]");
  std::set<int> allowed;
  std::istringstream names(argv[1]);
  for (std::string name; names >> name;) {
    const Family* found = nullptr;
    for (const Family& family : kFamilies)
      if (name == family.Name) found = &family;
    if (!found) return Fail("unknown address family " + name);
    allowed.insert(found->Value);
  }

  scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
  if (!filter) return Fail("seccomp_init failed");
  const auto refuse = SCMP_ACT_ERRNO(EAFNOSUPPORT);
  int error = 0;
  for (int family = 0; family < AF_MAX && !error; ++family)
    if (!allowed.count(family)) error = seccomp_rule_add(filter, refuse, SCMP_SYS(socket), 1, SCMP_A0_32(SCMP_CMP_EQ, family));
  if (!error) error = seccomp_rule_add(filter, refuse, SCMP_SYS(socket), 1, SCMP_A0_32(SCMP_CMP_GE, AF_MAX));
  if (!error) error = seccomp_load(filter);
  seccomp_release(filter);
  if (error) return Fail(std::string("cannot install the filter: ") + std::strerror(-error));

  execv(argv[2], argv + 2);
  return Fail(std::string("cannot run ") + argv[2] + ": " + std::strerror(errno));
}
