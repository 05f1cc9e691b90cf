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
