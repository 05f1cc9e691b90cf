#include "base/OptionsParse.h"

#include <boost/program_options.hpp>

#include <charconv>
#include <fstream>
#include <limits>
#include <sstream>

namespace site {

namespace po = boost::program_options;

namespace {

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
  port = static_cast<std::uint16_t>(value);
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
    ports.push_back(static_cast<std::uint16_t>(value));
  }
  if (ports.empty()) throw OptionsError("--scan-ports: the list is empty");
  return ports;
}

std::chrono::milliseconds Milliseconds(long value, const char* option) {
  if (value <= 0) throw OptionsError(std::string("--") + option + " must be a positive number of milliseconds");
  return std::chrono::milliseconds(value);
}

void RequirePositive(std::size_t value, const char* option) {
  if (value == 0) throw OptionsError(std::string("--") + option + " must be at least 1");
}

}  // namespace

ParsedOptions ParseOptions(int argc, const char* const argv[], const std::string& configFromEnvironment) {
  const Options defaults;
  std::string listen = defaults.ListenAddress + ":" + std::to_string(defaults.ListenPort);
  std::string resolver, scanPorts, config;
  long pageBudget = 0, whoisTimeout = 0, rdapTimeout = 0, dnsTimeout = 0, portTimeout = 0, probeTimeout = 0, headerTimeout = 0;
  ParsedOptions parsed;
  Options& o = parsed.Values;

  po::options_description settings("Options (each also a 'key = value' line of the config file)");
  settings.add_options()
      ("listen", po::value(&listen)->default_value(listen), "HOST:PORT to serve on; port 0: the system picks")
      ("resolver", po::value(&resolver), "HOST:PORT of the DNS server; default: the system's")
      ("as-zone", po::value(&o.AsZone)->default_value(o.AsZone), "IP-to-AS zone (TXT)")
      ("as-name-zone", po::value(&o.AsNameZone)->default_value(o.AsNameZone), "AS-name zone (TXT)")
      ("rdap-bootstrap", po::value(&o.RdapBootstrap)->default_value(o.RdapBootstrap), "base URL of the RDAP bootstrap files")
      ("whois-root", po::value(&o.WhoisRoot)->default_value(o.WhoisRoot), "HOST[:PORT] of the root WHOIS server")
      ("ca-file", po::value(&o.CaFile), "PEM file of the CAs trusted for HTTPS; default: the system's")
      ("scan-ports", po::value(&scanPorts), "comma-separated TCP ports to scan; default: the built-in list")
      ("allow-private", po::bool_switch(&o.AllowPrivate), "trace and scan private, loopback and reserved addresses")
      ("allow-lan", po::bool_switch(&o.AllowLan), "trace and scan private (LAN) addresses, never loopback")
      ("page-budget", po::value(&pageBudget)->default_value(o.PageBudget.count()), "ms a page may take")
      ("whois-timeout", po::value(&whoisTimeout)->default_value(o.WhoisTimeout.count()), "ms for one WHOIS query")
      ("rdap-timeout", po::value(&rdapTimeout)->default_value(o.RdapTimeout.count()), "ms for one RDAP request")
      ("dns-timeout", po::value(&dnsTimeout)->default_value(o.DnsTimeout.count()), "ms for one DNS query")
      ("port-timeout", po::value(&portTimeout)->default_value(o.PortTimeout.count()), "ms at most for one port of the scan; less once others have answered")
      ("probe-timeout", po::value(&probeTimeout)->default_value(o.ProbeTimeout.count()), "ms for one trace probe")
      ("header-timeout", po::value(&headerTimeout)->default_value(o.HeaderTimeout.count()), "ms for a client's whole request head")
      ("max-connections", po::value(&o.MaxConnections)->default_value(o.MaxConnections), "open client connections")
      ("max-in-flight", po::value(&o.MaxInFlight)->default_value(o.MaxInFlight), "pages looked up at once; past it: 503")
      ("rate-per-second", po::value(&o.RatePerSecond)->default_value(o.RatePerSecond), "lookups per second per client address; 0: no limit")
      ("rate-burst", po::value(&o.RateBurst)->default_value(o.RateBurst), "lookups a client may make at once")
      ("max-head-bytes", po::value(&o.MaxHeadBytes)->default_value(o.MaxHeadBytes), "bytes of a request head; past it: 431")
      ("max-addr-bytes", po::value(&o.MaxAddrBytes)->default_value(o.MaxAddrBytes), "bytes of a domain name's ASCII form")
      ("whois-max-bytes", po::value(&o.WhoisMaxBytes)->default_value(o.WhoisMaxBytes), "bytes of a WHOIS reply")
      ("rdap-max-bytes", po::value(&o.RdapMaxBytes)->default_value(o.RdapMaxBytes), "bytes of an RDAP reply")
      ("scan-concurrency", po::value(&o.ScanConcurrency)->default_value(o.ScanConcurrency), "ports probed at once")
      ("threads", po::value(&o.Threads)->default_value(o.Threads), "worker threads; 0: one per core");
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
  if (!resolver.empty()) {
    std::string host;
    std::uint16_t port = 0;
    SplitHostPort(resolver, "resolver", host, port);
    o.Resolver = resolver;
  }
  if (!scanPorts.empty()) o.ScanPorts = PortList(scanPorts);
  o.PageBudget = Milliseconds(pageBudget, "page-budget");
  o.WhoisTimeout = Milliseconds(whoisTimeout, "whois-timeout");
  o.RdapTimeout = Milliseconds(rdapTimeout, "rdap-timeout");
  o.DnsTimeout = Milliseconds(dnsTimeout, "dns-timeout");
  o.PortTimeout = Milliseconds(portTimeout, "port-timeout");
  o.ProbeTimeout = Milliseconds(probeTimeout, "probe-timeout");
  o.HeaderTimeout = Milliseconds(headerTimeout, "header-timeout");
  RequirePositive(o.MaxConnections, "max-connections");
  RequirePositive(o.MaxInFlight, "max-in-flight");
  RequirePositive(o.MaxHeadBytes, "max-head-bytes");
  RequirePositive(o.MaxAddrBytes, "max-addr-bytes");
  RequirePositive(o.WhoisMaxBytes, "whois-max-bytes");
  RequirePositive(o.RdapMaxBytes, "rdap-max-bytes");
  RequirePositive(o.ScanConcurrency, "scan-concurrency");
  if (!(o.RatePerSecond >= 0)) throw OptionsError("--rate-per-second must not be negative");
  if (!(o.RateBurst >= 1)) throw OptionsError("--rate-burst must be at least 1");
  return parsed;
}

}  // namespace site
