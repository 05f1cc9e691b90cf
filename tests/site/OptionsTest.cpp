// The service's options from the command line and the config file.
#include "base/OptionsParse.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <vector>

using namespace site;

namespace {

ParsedOptions Parse(std::vector<const char*> args, const std::string& environment = "") {
  args.insert(args.begin(), "tarnwell-site");
  return ParseOptions(static_cast<int>(args.size()), args.data(), environment);
}

TEST(SiteOptions, CommandLineFillsTheFields) {
  const Options o = Parse({"--listen", "127.0.0.1:0", "--resolver", "127.0.0.1:5353", "--whois-root", "127.0.0.1:4343",
                           "--scan-ports", "22,80,443", "--page-budget", "1500", "--max-in-flight", "3", "--allow-lan",
                           "--rate-per-second", "0", "--threads", "2"})
                        .Values;
  EXPECT_EQ(o.ListenAddress, "127.0.0.1");
  EXPECT_EQ(o.ListenPort, 0);
  EXPECT_EQ(o.Resolver, "127.0.0.1:5353");
  EXPECT_EQ(o.WhoisRoot, "127.0.0.1:4343");
  EXPECT_EQ(o.ScanPorts, (std::vector<std::uint16_t>{22, 80, 443}));
  EXPECT_EQ(o.PageBudget, std::chrono::milliseconds(1500));
  EXPECT_EQ(o.MaxInFlight, 3u);
  EXPECT_TRUE(o.AllowLan);
  EXPECT_FALSE(o.AllowPrivate);
  EXPECT_EQ(o.RatePerSecond, 0);
  EXPECT_EQ(o.Threads, 2u);
}

TEST(SiteOptions, RedisIsAHostAndPortOrASocketPath) {
  const Options tcp = Parse({"--redis", "10.0.0.5:6380", "--redis-timeout", "20", "--metrics-listen", "127.0.0.1:9180"}).Values;
  EXPECT_EQ(tcp.RedisHost, "10.0.0.5");
  EXPECT_EQ(tcp.RedisPort, 6380);
  EXPECT_TRUE(tcp.RedisSocket.empty());
  EXPECT_EQ(tcp.RedisTimeout, std::chrono::milliseconds(20));
  EXPECT_EQ(tcp.MetricsAddress, "127.0.0.1");
  EXPECT_EQ(tcp.MetricsPort, 9180);
  EXPECT_EQ(Parse({"--redis", "/run/redis/redis.sock"}).Values.RedisSocket, "/run/redis/redis.sock");
  EXPECT_EQ(Parse({"--redis", "unix:/run/redis.sock"}).Values.RedisSocket, "/run/redis.sock");
  const Options none = Parse({}).Values;
  EXPECT_TRUE(none.RedisHost.empty() && none.RedisSocket.empty() && none.MetricsAddress.empty());
}

TEST(SiteOptions, ConfigFileFromOptionOrEnvironmentAndTheCommandLineWins) {
  TempDir dir;
  dir.WriteFile("site.conf", "# a public home site\nlisten = 0.0.0.0:8081\nmax-connections = 500\nallow-private = true\n");
  dir.WriteFile("other.conf", "max-connections = 7\n");
  const std::string config = dir.File("site.conf");
  const Options fromOption = Parse({"--config", config.c_str(), "--listen", "127.0.0.1:9"}, dir.File("other.conf")).Values;
  EXPECT_EQ(fromOption.ListenAddress, "127.0.0.1");
  EXPECT_EQ(fromOption.ListenPort, 9);
  EXPECT_EQ(fromOption.MaxConnections, 500u);
  EXPECT_TRUE(fromOption.AllowPrivate);
  EXPECT_EQ(Parse({}, dir.File("other.conf")).Values.MaxConnections, 7u);
}

TEST(SiteOptions, BadValuesAreRefusedWithTheirOptionNamed) {
  TempDir dir;
  dir.WriteFile("bad.conf", "no-such-key = 1\n");
  const std::string badConfig = dir.File("bad.conf");
  const std::pair<std::vector<const char*>, const char*> rows[] = {
      {{"--no-such-option"}, "no-such-option"},
      {{"--listen", "127.0.0.1"}, "--listen"},
      {{"--listen", "127.0.0.1:65536"}, "--listen"},
      {{"--listen", "127.0.0.1:80x"}, "--listen"},
      {{"--resolver", ":53"}, "--resolver"},
      {{"--scan-ports", "22,,80"}, "--scan-ports"},
      {{"--scan-ports", "0"}, "--scan-ports"},
      {{"--page-budget", "0"}, "--page-budget"},
      {{"--page-budget", "soon"}, "page-budget"},
      {{"--max-in-flight", "0"}, "--max-in-flight"},
      {{"--rate-per-second", "-1"}, "--rate-per-second"},
      {{"--redis", "redis.example"}, "--redis"},
      {{"--redis", "unix:"}, "--redis"},
      {{"--redis-timeout", "0"}, "--redis-timeout"},
      {{"--metrics-listen", "9180"}, "--metrics-listen"},
      {{"--config", "/nonexistent/site.conf"}, "/nonexistent/site.conf"},
      {{"--config", badConfig.c_str()}, "no-such-key"},
  };
  for (const auto& [args, named] : rows) {
    SCOPED_TRACE(named);
    try {
      Parse(args);
      ADD_FAILURE() << "accepted";
    } catch (const OptionsError& e) {
      EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
    }
  }
}

}  // namespace
