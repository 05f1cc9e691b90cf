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

}  // namespace
