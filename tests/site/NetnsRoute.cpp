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

NetnsRoute::NetnsRoute() : FPrefix("tw" + std::to_string(getpid())) {
  if (geteuid() != 0) return;
  const std::string c = FPrefix + "c", r = FPrefix + "r", t = FPrefix + "t";
  const std::vector<std::string> steps = {
      "netns add " + c, "netns add " + r, "netns add " + t,
      "-n " + c + " link set lo up", "-n " + r + " link set lo up", "-n " + t + " link set lo up",
      "link add " + c + "0 netns " + c + " type veth peer name " + r + "0 netns " + r,
      "link add " + r + "1 netns " + r + " type veth peer name " + t + "0 netns " + t,
      "-n " + c + " addr add 192.0.2.2/24 dev " + c + "0", "-n " + c + " link set " + c + "0 up",
      "-n " + r + " addr add 192.0.2.1/24 dev " + r + "0", "-n " + r + " link set " + r + "0 up",
      "-n " + r + " addr add 198.51.100.1/24 dev " + r + "1", "-n " + r + " link set " + r + "1 up",
      "-n " + t + " addr add 198.51.100.2/24 dev " + t + "0", "-n " + t + " link set " + t + "0 up",
      "-n " + c + " route add default via 192.0.2.1", "-n " + t + " route add default via 198.51.100.1",
      "-n " + r + " route add unreachable 203.0.113.1/32",
      "netns exec " + r + " sysctl -q -w net.ipv4.ip_forward=1",
      // Without this the kernel's ICMP rate limit loses hops of probes sent at once.
      "netns exec " + r + " sysctl -q -w net.ipv4.icmp_ratelimit=0",
      "netns exec " + t + " sysctl -q -w net.ipv4.icmp_ratelimit=0",
  };
  for (const std::string& step : steps)
    if (!Ip(step)) return;
  FReady = true;
}

NetnsRoute::~NetnsRoute() {
  for (const char* n : {"c", "r", "t"}) RunProgram({"ip", "netns", "del", FPrefix + n});
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
