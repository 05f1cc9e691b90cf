// The client through a real tinyproxy and a real squid, in front of a real
// nginx, all on loopback.
#include "NginxFixture.h"
#include "SquidServer.h"
#include "TestClient.h"
#include "TinyproxyServer.h"

#include <gtest/gtest.h>

namespace {

class HttpProxyTest : public NginxFixture {
protected:
  void SetUp() override {
    NginxFixture::SetUp();
    std::string error;
    ASSERT_TRUE(proxy.Start({}, &error)) << error;
    client.Proxy = "127.0.0.1";
    client.ProxyPort = proxy.Port();
  }

  TinyproxyServer proxy;
  TestClient client;
};

TEST_F(HttpProxyTest, PageArrivesThroughTheProxy) {
  int cmd = -1;
  client.OnSuccess = [&](CmdType c) { cmd = c; };
  client.Get(nginx.Url("/index.html"));
  EXPECT_EQ(cmd, cmdGet);
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body, IndexPage);
  // The proxy saw the absolute URL in the request line.
  EXPECT_NE(proxy.Dir().ReadFile("tinyproxy.log").find("GET " + nginx.Url("/index.html") + " HTTP/1.0"),
            std::string::npos);
}

TEST_F(HttpProxyTest, NotFoundThroughTheProxy) {
  int failures = 0;
  client.OnFailure = [&](CmdType) { ++failures; };
  client.Get(nginx.Url("/missing.html"));
  EXPECT_EQ(client.ReplyNumber, 404);
  EXPECT_EQ(failures, 1);
}

TEST_F(HttpProxyTest, AbsoluteRedirectThroughTheProxy) {
  int redirects = 0;
  client.OnRedirect = [&](bool&) { ++redirects; };
  client.Get(nginx.Url("/abs"));
  EXPECT_EQ(redirects, 1);
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body, IndexPage);
}

TEST_F(HttpProxyTest, AuthorizationThroughTheProxy) {
  client.HeaderInfo.UserId = "user";
  client.HeaderInfo.Password = "secret";
  client.Get(nginx.Url("/private/page.html"));
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body, PrivatePage);
}

TEST_F(HttpProxyTest, PostedBodyArrivesThroughTheProxy) {
  // nginx answers a POST to a static file with 405; what matters is that the
  // announced body went through and the reply came back.
  client.Post(nginx.Url("/index.html"), "a b&c");
  EXPECT_EQ(client.ReplyNumber, 405);
}

TEST_F(HttpProxyTest, OneMebibyteThroughTheProxy) {
  std::string data(1u << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  nginx.Dir().WriteFile("www/mib.bin", data);
  client.Get(nginx.Url("/mib.bin"));
  EXPECT_TRUE(client.Body == data);
}

// squid keeps the connection open after the body, as the client's
// "Proxy-Connection: Keep-Alive" asks, for two minutes: the client must end
// each body by its length. The time-out, far below squid's idle time, turns
// a wait for the close into a failure instead of a two-minute test.
class HttpSquidTest : public NginxFixture {
protected:
  void SetUp() override {
    NginxFixture::SetUp();
    std::string error;
    ASSERT_TRUE(proxy.Start(&error)) << error;
    client.Proxy = "127.0.0.1";
    client.ProxyPort = proxy.Port();
    client.TimeOut = 20000;
  }
  // squid answers for its origin when it cannot reach it; its logs say why.
  void TearDown() override {
    if (HasFailure())
      ADD_FAILURE() << "squid's access.log:\n" << proxy.Dir().ReadFile("access.log") << "cache.log:\n"
                    << proxy.Dir().ReadFile("cache.log");
  }

  SquidServer proxy;
  TestClient client;
};

TEST_F(HttpSquidTest, PageEndsByItsLengthOnAKeptConnection) {
  int successes = 0;
  client.OnSuccess = [&](CmdType) { ++successes; };
  client.Get(nginx.Url("/index.html"));
  EXPECT_EQ(successes, 1);
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body, IndexPage);
  EXPECT_NE(client.Header.find("Connection: keep-alive"), std::string::npos) << client.Header;
  EXPECT_FALSE(client.Connected);
}

TEST_F(HttpSquidTest, FiftyMebibytesArriveWhole) {
  std::string data(50u << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  nginx.Dir().WriteFile("www/big.bin", data);
  client.Get(nginx.Url("/big.bin"));
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body.size(), data.size());
  EXPECT_TRUE(client.Body == data);
  EXPECT_EQ(client.Body.capacity(), data.size());
}

}  // namespace
