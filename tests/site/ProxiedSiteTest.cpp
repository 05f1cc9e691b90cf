// The real site behind a real HAProxy and a real nginx, each set up as the
// README says: a client that sends its own X-Real-IP and X-Forwarded-For
// lines is still counted as the client the proxy saw, so it neither escapes
// its rate nor pushes another client over its.
#include "HaproxyServer.h"
#include "NginxServer.h"
#include "SilentResolver.h"
#include "SiteClient.h"
#include "SiteProcess.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

constexpr const char* kLookup = "/whois/index.php?addr=example.test&dom_whois=&dom_dns=&traceroute=&net_whois=&port_scan=";

class ProxiedSite : public ::testing::Test {
protected:
  // The site with a burst of two lookups a client, trusting the proxy at 127.0.0.1; `more` are further options.
  std::vector<std::string> Args(const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{"--resolver", Dns.Address(), "--whois-root", "127.0.0.1:1", "--rdap-bootstrap", "https://127.0.0.1:1/",
                                  "--threads", "2", "--rate-per-second", "0.01", "--rate-burst", "2", "--trusted-proxy", "127.0.0.1"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  // A lookup through the proxy on `proxyPort` from the loopback address `client`, naming `named` in both headers.
  static int Ask(std::uint16_t proxyPort, const char* client, const std::string& named) {
    const int fd = ConnectSite(proxyPort, client);
    const std::string forged = named.empty() ? "" : "X-Real-IP: " + named + "\r\nX-Forwarded-For: " + named + "\r\n";
    const int status = Exchange(fd, std::string("GET ") + kLookup + " HTTP/1.0\r\nHost: lookup.test\r\n" + forged + "\r\n").Status;
    close(fd);
    return status;
  }

  // The forger at 127.0.0.3 names others, the victim at 127.0.0.4 names no one.
  static void ExpectForgedNamesIgnored(std::uint16_t proxyPort) {
    EXPECT_EQ(Ask(proxyPort, "127.0.0.3", "198.51.100.1"), 200);
    EXPECT_EQ(Ask(proxyPort, "127.0.0.3", "198.51.100.2"), 200);
    EXPECT_EQ(Ask(proxyPort, "127.0.0.3", "198.51.100.3"), 429);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Ask(proxyPort, "127.0.0.3", "127.0.0.4"), 429) << i;
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Ask(proxyPort, "127.0.0.4", ""), 200) << i;
    EXPECT_EQ(Ask(proxyPort, "127.0.0.4", ""), 429);
  }

  SilentResolver Dns;
};

// HAProxy's 'option forwardfor' adds an X-Forwarded-For line of its own
// after whatever the client sent, and passes X-Real-IP on untouched.
TEST_F(ProxiedSite, HaproxyForwardingForAClientThatForgesItsHeaders) {
  SiteProcess site(Args());
  ASSERT_NE(site.Port(), 0) << site.Log();
  HaproxyServer haproxy;
  std::string error;
  ASSERT_TRUE(haproxy.Start("option forwardfor", "server site 127.0.0.1:" + std::to_string(site.Port()), &error)) << error;
  ExpectForgedNamesIgnored(haproxy.Port());
}

// nginx as in the README sets X-Real-IP itself, in place of the client's,
// and passes the client's X-Forwarded-For on.
TEST_F(ProxiedSite, NginxSettingXRealIpForAClientThatForgesItsHeaders) {
  SiteProcess site(Args({"--trusted-proxy-header", "X-Real-IP"}));
  ASSERT_NE(site.Port(), 0) << site.Log();
  NginxServer nginx;
  std::string error;
  ASSERT_TRUE(nginx.Start("location / {\n"
                          "  proxy_pass http://127.0.0.1:" + std::to_string(site.Port()) + ";\n"
                          "  proxy_http_version 1.1;\n"
                          "  proxy_set_header Host $host;\n"
                          "  proxy_set_header X-Real-IP $remote_addr;\n"
                          "  proxy_read_timeout 30s;\n"
                          "}",
                          &error))
      << error;
  ExpectForgedNamesIgnored(nginx.Port());
}

}  // namespace
