#include "NetnsRoute.h"

#include "RunProgram.h"

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <sched.h>
#include <sstream>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

NetnsRoute::NetnsRoute(bool secondRouter) : FPrefix("tw" + std::to_string(getpid())) {
  if (geteuid() != 0) return;
  FNamespaces = secondRouter ? std::vector<std::string>{"c", "r", "s", "t"} : std::vector<std::string>{"c", "r", "t"};
  const std::string c = FPrefix + "c", r = FPrefix + "r", s = FPrefix + "s", t = FPrefix + "t";
  // The router next to the target: the first, or the second behind 198.18.0.0/24.
  const std::string last = secondRouter ? s : r;
  std::vector<std::string> steps;
  for (const std::string& n : FNamespaces) {
    steps.push_back("netns add " + FPrefix + n);
    // No duplicate address detection: IPv6 addresses, the link-local ones that
    // neighbour discovery speaks from among them, are usable at once.
    steps.push_back("netns exec " + FPrefix + n + " sysctl -q -w net.ipv6.conf.default.accept_dad=0 net.ipv6.conf.all.accept_dad=0");
    steps.push_back("-n " + FPrefix + n + " link set lo up");
  }
  const std::vector<std::string> route = {
      "link add " + c + "0 netns " + c + " type veth peer name " + r + "0 netns " + r,
      "link add " + last + "1 netns " + last + " type veth peer name " + t + "0 netns " + t,
      "-n " + c + " addr add 192.0.2.2/24 dev " + c + "0", "-n " + c + " link set " + c + "0 up",
      "-n " + r + " addr add 192.0.2.1/24 dev " + r + "0", "-n " + r + " link set " + r + "0 up",
      "-n " + last + " addr add 198.51.100.1/24 dev " + last + "1", "-n " + last + " link set " + last + "1 up",
      "-n " + t + " addr add 198.51.100.2/24 dev " + t + "0", "-n " + t + " link set " + t + "0 up",
      "-n " + c + " route add default via 192.0.2.1", "-n " + t + " route add default via 198.51.100.1",
      "-n " + r + " route add unreachable 203.0.113.1/32",
      // The same route in IPv6.
      "-n " + c + " addr add 2001:db8:2::2/64 dev " + c + "0", "-n " + r + " addr add 2001:db8:2::1/64 dev " + r + "0",
      "-n " + last + " addr add 2001:db8:100::1/64 dev " + last + "1",
      "-n " + t + " addr add 2001:db8:100::2/64 dev " + t + "0",
      "-6 -n " + c + " route add default via 2001:db8:2::1", "-6 -n " + t + " route add default via 2001:db8:100::1",
      "-6 -n " + r + " route add unreachable 2001:db8:113::1/128",
  };
  steps.insert(steps.end(), route.begin(), route.end());
  if (secondRouter) {
    const std::vector<std::string> between = {
        "link add " + r + "2 netns " + r + " type veth peer name " + s + "0 netns " + s,
        "-n " + r + " addr add 198.18.0.1/24 dev " + r + "2", "-n " + r + " link set " + r + "2 up",
        "-n " + s + " addr add 198.18.0.2/24 dev " + s + "0", "-n " + s + " link set " + s + "0 up",
        "-n " + r + " route add 198.51.100.0/24 via 198.18.0.2", "-n " + s + " route add default via 198.18.0.1",
        "-n " + r + " addr add 2001:db8:18::1/64 dev " + r + "2", "-n " + s + " addr add 2001:db8:18::2/64 dev " + s + "0",
        "-6 -n " + r + " route add 2001:db8:100::/64 via 2001:db8:18::2", "-6 -n " + s + " route add default via 2001:db8:18::1",
    };
    steps.insert(steps.end(), between.begin(), between.end());
  }
  for (const std::string& n : FNamespaces) {
    if (n == "r" || n == "s") {
      steps.push_back("netns exec " + FPrefix + n + " sysctl -q -w net.ipv4.ip_forward=1");
      steps.push_back("netns exec " + FPrefix + n + " sysctl -q -w net.ipv6.conf.all.forwarding=1");
    }
    // Without this the kernel's ICMP rate limit loses hops of probes sent at once.
    if (n != "c") {
      steps.push_back("netns exec " + FPrefix + n + " sysctl -q -w net.ipv4.icmp_ratelimit=0");
      steps.push_back("netns exec " + FPrefix + n + " sysctl -q -w net.ipv6.icmp.ratelimit=0");
    }
  }
  for (const std::string& step : steps)
    if (!Ip(step)) return;
  FReady = true;
}

NetnsRoute::~NetnsRoute() {
  for (const std::string& n : FNamespaces) RunProgram({"ip", "netns", "del", FPrefix + n});
}

bool NetnsRoute::AllowPing() {
  return RunProgram({"ip", "netns", "exec", Client(), "sysctl", "-q", "-w", "net.ipv4.ping_group_range=0 2147483647"}) == 0;
}

void NetnsRoute::InClient(const std::function<void()>& work) {
  std::exception_ptr failure;
  std::thread thread([&] {
    try {
      const int fd = open(("/var/run/netns/" + Client()).c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) throw std::system_error(errno, std::generic_category(), "open " + Client());
      const int joined = setns(fd, CLONE_NEWNET);
      const int error = errno;
      close(fd);
      if (joined != 0) throw std::system_error(error, std::generic_category(), "setns " + Client());
      work();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  thread.join();
  if (failure) std::rethrow_exception(failure);
}

bool NetnsRoute::Ip(const std::string& command) {
  std::vector<std::string> argv = {"ip"};
  std::istringstream words(command);
  for (std::string word; words >> word;) argv.push_back(word);
  return RunProgram(argv) == 0;
}
