#pragma once
// base/: what every layer uses: the options, the target, the result's shape, text coding, the cache.
//
// Every setting and limit of the service in one place, filled from the command
// line and the config file; defaults are those of a public home site.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace site {

struct Options {
  std::string ListenAddress = "127.0.0.1";
  std::uint16_t ListenPort = 8080;     // 0: the system picks; the chosen port is printed on stdout
  std::string Resolver;                 // "host:port"; empty: the system's (/etc/resolv.conf)
  std::string AsZone = "origin.asn.cymru.com";  // IP-to-AS zone: TXT at <reversed octets>.<zone>
  std::string AsNameZone = "asn.cymru.com";     // AS names: TXT at AS<number>.<zone>
  std::string RdapBootstrap = "https://data.iana.org/rdap/";  // base URL of dns.json and ipv4.json
  std::string WhoisRoot = "whois.iana.org";  // "host" or "host:port"
  std::string CaFile;                   // empty: the system's trust store
  std::vector<std::uint16_t> ScanPorts; // empty: the built-in list
  // Redis shared by every instance of the site: "host:port" or a Unix socket path; empty: each instance keeps its own.
  std::string RedisHost;
  std::uint16_t RedisPort = 0;
  std::string RedisSocket;
  std::string RedisPassword;            // sent with AUTH before anything else; empty: none
  std::string MetricsAddress;           // where /metrics is served; empty: nowhere
  std::uint16_t MetricsPort = 0;
  bool AllowPrivate = false;            // trace and scan private, loopback, reserved targets
  bool AllowLan = false;                // trace and scan private, shared (CGNAT) and link-local targets only
  std::vector<std::string> TrustedProxies;  // peers whose header names the client; IPv4 ones never IPv4-mapped
  std::string TrustedProxyHeader = "X-Forwarded-For";  // the header a trusted proxy sets; its last address is the client
  bool AnySourcePort = false;           // follow WHOIS referrals and RDAP links to any port, not only 43 and 443

  std::chrono::milliseconds PageBudget{20000};
  std::chrono::milliseconds WhoisTimeout{8000};
  std::chrono::milliseconds RdapTimeout{8000};
  std::chrono::milliseconds DnsTimeout{3000};
  std::chrono::milliseconds PortTimeout{1500};      // the ceiling of a port's adaptive time-out
  std::chrono::milliseconds ProbeTimeout{2000};     // one trace probe
  std::chrono::milliseconds HeaderTimeout{10000};   // a client's request head must arrive within this
  std::chrono::milliseconds RedisTimeout{50};       // past it a page goes on without Redis
  std::chrono::milliseconds PageCache{1000};        // a finished page of records is given again for this long; 0: never

  std::size_t MaxConnections = 10000;
  std::size_t MaxInFlight = 64;         // pages being looked up at once; past it: 503 at once
  std::size_t MaxClientConnections = 32;  // open connections of one client address; past it: closed at once
  std::size_t MaxClientInFlight = 4;    // pages of one client address looked up at once; past it: 503 at once
  double RatePerSecond = 2;             // per client address, lookups only; past it: 429; 0: no limit
  double RateBurst = 20;
  std::size_t MaxHeadBytes = 8192;
  std::size_t MaxAddrBytes = 253;
  std::size_t WhoisMaxBytes = 1 << 20;
  std::size_t RdapMaxBytes = 2 << 20;
  std::size_t MaxPageBytes = 2 << 20;   // a lookup page; each section has its share and says when it was cut
  std::size_t CacheBytes = 64 << 20;    // every cache of looked-up records together
  std::size_t RedisMaxValueBytes = 256 << 10;  // larger records stay in the instance's own cache
  std::size_t ScanConcurrency = 100;
  unsigned Threads = 0;                 // 0: one per core

  // Where each name's snapshots are kept: a SQLite file, "postgresql://…", or
  // "off". Unset, a file in the state directory systemd gives the service
  // ($STATE_DIRECTORY), and off in a plain run, which has none.
  std::string History = "off";
  std::size_t HistoryPerName = 50;      // snapshots kept of each section of a name
  std::size_t HistoryDays = 730;        // a snapshot not seen for this long goes
  std::chrono::milliseconds HistoryWait{250};  // a finished page waits this long at most for the name's history
};

}  // namespace site
