#include "base/OptionsParse.h"

#include "base/Unmapped.h"

#include <boost/asio/ip/address.hpp>
#include <boost/program_options.hpp>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

namespace site {

namespace po = boost::program_options;

namespace {

// More workers than this only contend for the same cores.
constexpr std::size_t kMaxThreads = 256;

// "host:port", the port required: what --listen and --resolver take.
void SplitHostPort(const std::string& text, const char* option, std::string& host, std::uint16_t& port) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) throw OptionsError(std::string("--") + option + " wants HOST:PORT, not '" + text + "'");
  unsigned value = 0;
  const char* first = text.data() + colon + 1;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value);
  if (first == last || error != std::errc{} || end != last || value > 65535)
    throw OptionsError(std::string("--") + option + ": '" + text.substr(colon + 1) + "' is not a port number");
  host = text.substr(0, colon);
  // An IPv6 address may be bracketed, as in a URL.
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  port = static_cast<std::uint16_t>(value);
}

// Sizes and counts are read as text: the stream reading of an unsigned number
// takes "-1" and wraps it to the largest value, which no limit should be.
std::size_t WholeNumber(const std::string& text, const char* option, std::size_t least) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size())
    throw OptionsError(std::string("--") + option + ": '" + text + "' is not a whole number");
  if (value < least) throw OptionsError(std::string("--") + option + " must be at least " + std::to_string(least));
  return value;
}

std::vector<std::uint16_t> PortList(const std::string& text) {
  std::vector<std::uint16_t> ports;
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
    if (item.empty() || error != std::errc{} || end != item.data() + item.size() || value == 0 || value > 65535)
      throw OptionsError("--scan-ports: '" + item + "' is not a port number (a list is like 22,80,443)");
    if (std::find(ports.begin(), ports.end(), value) != ports.end())
      throw OptionsError("--scan-ports: port " + item + " is listed twice");
    ports.push_back(static_cast<std::uint16_t>(value));
  }
  if (ports.empty()) throw OptionsError("--scan-ports: the list is empty");
  return ports;
}

std::chrono::milliseconds Milliseconds(long value, const char* option) {
  if (value <= 0) throw OptionsError(std::string("--") + option + " must be a positive number of milliseconds");
  return std::chrono::milliseconds(value);
}


// systemd names the unit's StateDirectory= in $STATE_DIRECTORY (a list when
// it has several; the first is the service's own).
std::string DefaultHistory() {
  const char* state = std::getenv("STATE_DIRECTORY");
  if (!state || !*state) return "off";
  const std::string first(state, std::strchr(state, ':') ? std::strchr(state, ':') : state + std::strlen(state));
  return first + "/history.sqlite";
}

}  // namespace

ParsedOptions ParseOptions(int argc, const char* const argv[], const std::string& configFromEnvironment) {
  const Options defaults;
  std::string listen = defaults.ListenAddress + ":" + std::to_string(defaults.ListenPort);
  std::string resolver, scanPorts, config, redis, redisPasswordFile, metricsListen;
  std::vector<std::string> trustedProxies;
  std::string history;
  long historyWait = 0;
  long redisTimeout = 0, pageCache = 0, pageBudget = 0, whoisTimeout = 0, rdapTimeout = 0, dnsTimeout = 0, portTimeout = 0, probeTimeout = 0, headerTimeout = 0;
  ParsedOptions parsed;
  Options& o = parsed.Values;
  // Every size and count, read as text and checked below; threads may be 0 (one per core).
  struct Count {
    const char* Name;
    std::size_t* Field;
    std::size_t Least;
    const char* Help;
    std::string Text;
  };
  std::size_t threads = o.Threads;
  Count counts[] = {
      {"max-connections", &o.MaxConnections, 1, "open client connections", {}},
      {"max-in-flight", &o.MaxInFlight, 1, "pages looked up at once; past it: 503", {}},
      {"max-client-connections", &o.MaxClientConnections, 1, "open connections of one client address", {}},
      {"max-client-in-flight", &o.MaxClientInFlight, 1, "pages of one client address looked up at once; past it: 503", {}},
      {"max-head-bytes", &o.MaxHeadBytes, 1, "bytes of a request head; past it: 431", {}},
      {"max-addr-bytes", &o.MaxAddrBytes, 1, "bytes of a domain name's ASCII form", {}},
      {"whois-max-bytes", &o.WhoisMaxBytes, 1, "bytes of a WHOIS reply", {}},
      {"rdap-max-bytes", &o.RdapMaxBytes, 1, "bytes of an RDAP reply", {}},
      {"max-page-bytes", &o.MaxPageBytes, 64 << 10, "bytes of a lookup page; past it sections are cut", {}},
      {"cache-bytes", &o.CacheBytes, 1, "bytes of looked-up records kept in memory", {}},
      {"redis-max-value-bytes", &o.RedisMaxValueBytes, 1, "bytes of a cached value shared through Redis", {}},
      {"scan-concurrency", &o.ScanConcurrency, 1, "ports probed at once", {}},
      {"threads", &threads, 0, "worker threads; 0: one per core", {}},
      {"history-per-name", &o.HistoryPerName, 1, "snapshots kept of each section of a name", {}},
      {"history-days", &o.HistoryDays, 1, "days a snapshot not seen again is kept", {}},
  };

  po::options_description settings("Options (each also a 'key = value' line of the config file)");
  settings.add_options()
      ("listen", po::value(&listen)->default_value(listen), "HOST:PORT to serve on; port 0: the system picks")
      ("resolver", po::value(&resolver), "HOST:PORT of the DNS server; default: the system's")
      ("as-zone", po::value(&o.AsZone)->default_value(o.AsZone), "IP-to-AS zone (TXT); for an IPv6 hop its twin origin6.* when it is origin.*, else the same zone")
      ("as-name-zone", po::value(&o.AsNameZone)->default_value(o.AsNameZone), "AS-name zone (TXT)")
      ("rdap-bootstrap", po::value(&o.RdapBootstrap)->default_value(o.RdapBootstrap), "base URL of the RDAP bootstrap files")
      ("whois-root", po::value(&o.WhoisRoot)->default_value(o.WhoisRoot), "HOST[:PORT] of the root WHOIS server")
      ("redis", po::value(&redis), "HOST:PORT or socket path (PATH or unix:PATH) of the Redis every instance shares; default: none")
      ("redis-password", po::value(&o.RedisPassword), "password Redis asks for (AUTH); visible to the host's users: prefer --redis-password-file")
      ("redis-password-file", po::value(&redisPasswordFile), "FILE whose first line is the password Redis asks for")
      ("redis-timeout", po::value(&redisTimeout)->default_value(o.RedisTimeout.count()), "ms Redis may take before a page goes on without it")
      ("metrics-listen", po::value(&metricsListen), "HOST:PORT to serve Prometheus /metrics on; default: off")
      ("ca-file", po::value(&o.CaFile), "PEM file of the CAs trusted for HTTPS; default: the system's")
      ("scan-ports", po::value(&scanPorts), "comma-separated TCP ports to scan; default: the built-in list")
      ("allow-private", po::bool_switch(&o.AllowPrivate), "trace and scan private, loopback and reserved addresses")
      ("allow-lan", po::bool_switch(&o.AllowLan), "trace and scan the local networks' addresses (IPv4 private, shared and link-local; IPv6 unique-local fc00::/7 and link-local fe80::/10), never loopback")
      ("trusted-proxy", po::value(&trustedProxies)->composing(), "IP address of a proxy in front of the site whose header (--trusted-proxy-header) names the client; may be repeated")
      ("trusted-proxy-header", po::value(&o.TrustedProxyHeader)->default_value(o.TrustedProxyHeader), "the header a trusted proxy sets to name the client, e.g. X-Real-IP; the last address of its last line is taken, the one the proxy itself added (X-Forwarded-For: HAProxy's 'option forwardfor', nginx's $proxy_add_x_forwarded_for)")
      ("any-source-port", po::bool_switch(&o.AnySourcePort), "reach WHOIS and RDAP servers on any port, not only 43 and 443 (so always where the sources are private)")
      ("page-cache", po::value(&pageCache)->default_value(o.PageCache.count()), "ms a finished page of records (no trace or scan) is given again to the same question; 0: never")
      ("page-budget", po::value(&pageBudget)->default_value(o.PageBudget.count()), "ms a page may take")
      ("whois-timeout", po::value(&whoisTimeout)->default_value(o.WhoisTimeout.count()), "ms for one WHOIS query")
      ("rdap-timeout", po::value(&rdapTimeout)->default_value(o.RdapTimeout.count()), "ms for one RDAP request")
      ("dns-timeout", po::value(&dnsTimeout)->default_value(o.DnsTimeout.count()), "ms for one DNS query")
      ("port-timeout", po::value(&portTimeout)->default_value(o.PortTimeout.count()), "ms at most for one port of the scan; less once others have answered")
      ("probe-timeout", po::value(&probeTimeout)->default_value(o.ProbeTimeout.count()), "ms for one trace probe")
      ("header-timeout", po::value(&headerTimeout)->default_value(o.HeaderTimeout.count()), "ms for a client's whole request head")
      ("rate-per-second", po::value(&o.RatePerSecond)->default_value(o.RatePerSecond), "lookups per second per client address; 0: no limit")
      ("rate-burst", po::value(&o.RateBurst)->default_value(o.RateBurst), "lookups a client may make at once")
      ("history", po::value(&history), "SQLite FILE, postgresql://… or off: where each name's snapshots are kept; default: history.sqlite in $STATE_DIRECTORY, else off")
      ("history-wait", po::value(&historyWait)->default_value(o.HistoryWait.count()), "ms a finished page waits for the name's history");
  for (Count& count : counts)
    settings.add_options()(count.Name, po::value(&count.Text)->default_value(std::to_string(*count.Field)), count.Help);
  po::options_description commandOnly("Command line only");
  commandOnly.add_options()
      ("config", po::value(&config), "FILE of 'key = value' lines; default: $TARNWELL_SITE_CONFIG")
      ("help", "this text");
  po::options_description all;
  all.add(settings).add(commandOnly);

  std::ostringstream help;
  help << "Usage: tarnwell-site [options]\n" << all;
  parsed.Help = help.str();

  po::variables_map values;
  try {
    po::store(po::command_line_parser(argc, argv).options(all).run(), values);
    if (values.count("help")) {
      parsed.HelpWanted = true;
      return parsed;
    }
    const std::string file = values.count("config") ? values["config"].as<std::string>() : configFromEnvironment;
    if (!file.empty()) {
      std::ifstream stream(file);
      if (!stream) throw OptionsError("cannot read the config file '" + file + "'");
      po::store(po::parse_config_file(stream, settings), values);
    }
    po::notify(values);
  } catch (const po::error& e) {
    throw OptionsError(e.what());
  }

  SplitHostPort(listen, "listen", o.ListenAddress, o.ListenPort);
  boost::system::error_code notAddress;
  boost::asio::ip::make_address(o.ListenAddress, notAddress);
  if (notAddress) throw OptionsError("--listen: '" + o.ListenAddress + "' is not an IP address");
  if (!resolver.empty()) {
    std::string host;
    std::uint16_t port = 0;
    SplitHostPort(resolver, "resolver", host, port);
    if (port == 0) throw OptionsError("--resolver: port 0 is no DNS server's");
    o.Resolver = resolver;
  }
  for (const std::string& proxy : trustedProxies) {
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address(proxy, error);
    if (error) throw OptionsError("--trusted-proxy: '" + proxy + "' is not an IP address");
    o.TrustedProxies.push_back(Unmapped(address).to_string());
  }
  if (o.TrustedProxyHeader.empty() || o.TrustedProxyHeader.find_first_of(" \t:\r\n") != std::string::npos)
    throw OptionsError("--trusted-proxy-header: '" + o.TrustedProxyHeader + "' is not a header name");
  if (o.AsZone.empty() || o.AsNameZone.empty()) throw OptionsError("--as-zone and --as-name-zone must not be empty");
  if (redis.starts_with("unix:")) o.RedisSocket = redis.substr(5);
  else if (redis.starts_with("/")) o.RedisSocket = redis;
  else if (!redis.empty()) SplitHostPort(redis, "redis", o.RedisHost, o.RedisPort);
  if (redis.starts_with("unix:") && o.RedisSocket.empty()) throw OptionsError("--redis: unix: wants a socket path");
  if (!redisPasswordFile.empty()) {
    if (!o.RedisPassword.empty()) throw OptionsError("--redis-password and --redis-password-file: give one");
    std::ifstream file(redisPasswordFile);
    if (!file || !std::getline(file, o.RedisPassword) || o.RedisPassword.empty())
      throw OptionsError("--redis-password-file: cannot read a password from '" + redisPasswordFile + "'");
  }
  if (!metricsListen.empty()) SplitHostPort(metricsListen, "metrics-listen", o.MetricsAddress, o.MetricsPort);
  if (!scanPorts.empty()) o.ScanPorts = PortList(scanPorts);
  o.RedisTimeout = Milliseconds(redisTimeout, "redis-timeout");
  if (pageCache < 0) throw OptionsError("--page-cache must be 0 or a positive number of milliseconds");
  o.PageCache = std::chrono::milliseconds(pageCache);
  o.PageBudget = Milliseconds(pageBudget, "page-budget");
  o.WhoisTimeout = Milliseconds(whoisTimeout, "whois-timeout");
  o.RdapTimeout = Milliseconds(rdapTimeout, "rdap-timeout");
  o.DnsTimeout = Milliseconds(dnsTimeout, "dns-timeout");
  o.PortTimeout = Milliseconds(portTimeout, "port-timeout");
  o.ProbeTimeout = Milliseconds(probeTimeout, "probe-timeout");
  o.HeaderTimeout = Milliseconds(headerTimeout, "header-timeout");
  o.HistoryWait = Milliseconds(historyWait, "history-wait");
  o.History = history.empty() ? DefaultHistory() : history;
  for (const Count& count : counts) *count.Field = WholeNumber(count.Text, count.Name, count.Least);
  if (threads > kMaxThreads) throw OptionsError("--threads must be at most " + std::to_string(kMaxThreads));
  o.Threads = static_cast<unsigned>(threads);
  if (!(o.RatePerSecond >= 0)) throw OptionsError("--rate-per-second must not be negative");
  if (!(o.RateBurst >= 1)) throw OptionsError("--rate-burst must be at least 1");
  return parsed;
}

}  // namespace site
