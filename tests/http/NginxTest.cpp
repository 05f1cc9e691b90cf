// The client against a real nginx on loopback.
#include "NginxFixture.h"
#include "TestClient.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using HttpNginxTest = NginxFixture;

std::string Pseudorandom(size_t size) {
  std::string bytes(size, '\0');
  uint64_t x = 0x9E3779B97F4A7C15u;
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

TEST_F(HttpNginxTest, PageWithTheWindowsSettings) {
  TestClient client;
  client.OutputFileMode = true;
  client.Header = nginx.Dir().File("Head.txt");
  client.Body = nginx.Dir().File("Default.htm");
  int cmd = -1;
  client.OnSuccess = [&](CmdType c) { cmd = c; };
  client.Get(nginx.Url("/index.html"));
  EXPECT_EQ(cmd, cmdGet);
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body, IndexPage);
  const std::string header = nginx.Dir().ReadFile("Head.txt");
  EXPECT_EQ(header.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(header.substr(header.size() - 4), "\r\n\r\n");
  EXPECT_NE(header.find("\r\nContent-Length: " + std::to_string(IndexPage.size()) + "\r\n"), std::string::npos);
}

TEST_F(HttpNginxTest, NotFoundIsAFailureEventNotAnException) {
  TestClient client;
  int cmd = -1;
  client.OnFailure = [&](CmdType c) { cmd = c; };
  client.Get(nginx.Url("/missing.html"));
  EXPECT_EQ(cmd, cmdGet);
  EXPECT_EQ(client.ReplyNumber, 404);
  EXPECT_NE(client.Body.find("404 Not Found"), std::string::npos);
}

TEST_F(HttpNginxTest, AbsoluteRedirectIsFollowed) {
  TestClient client;
  int redirects = 0;
  client.OnRedirect = [&](bool&) { ++redirects; };
  client.Get(nginx.Url("/abs"));
  EXPECT_EQ(redirects, 1);
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body, IndexPage);
  EXPECT_EQ(client.Header.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(client.URL(), nginx.Url("/index.html"));
}

TEST_F(HttpNginxTest, PathOnlyRedirectStaysOnHostAndPort) {
  TestClient client;
  client.Get(nginx.Url("/rel"));
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body, IndexPage);
  EXPECT_EQ(client.URL(), "/index.html");
}

TEST_F(HttpNginxTest, BasicAuthorization) {
  TestClient client;
  std::vector<std::string> events;
  client.OnFailure = [&](CmdType) { events.push_back("Failure"); };
  client.OnAuthenticationNeeded = [&](TComponent*) { events.push_back("AuthenticationNeeded"); };
  client.Get(nginx.Url("/private/page.html"));
  EXPECT_EQ(client.ReplyNumber, 401);
  EXPECT_EQ(events, (std::vector<std::string>{"Failure", "AuthenticationNeeded"}));

  client.HeaderInfo.UserId = "user";
  client.HeaderInfo.Password = "wrong";
  client.Get(nginx.Url("/private/page.html"));
  EXPECT_EQ(client.ReplyNumber, 401);

  client.HeaderInfo.Password = "secret";
  client.Get(nginx.Url("/private/page.html"));
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body, PrivatePage);
}

TEST_F(HttpNginxTest, CredentialsFollowARedirectOnTheSameHost) {
  TestClient client;
  client.HeaderInfo.UserId = "user";
  client.HeaderInfo.Password = "secret";
  client.Get(nginx.Url("/to-private"));
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body, PrivatePage);
}

TEST_F(HttpNginxTest, BlanksAndHighBytesInTheUrlReachTheServerDecoded) {
  TestClient client;
  client.Get(nginx.Url("/sp ace.html"));
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body, "blank in the name");
  client.Get(nginx.Url("/caf\xE9.html"));
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Body, "high byte in the name");
}

TEST_F(HttpNginxTest, FiftyMebibytesIntoTheBodyByteForByte) {
  const std::string data = Pseudorandom(50u << 20);
  nginx.Dir().WriteFile("www/big.bin", data);
  TestClient client;
  int packets = 0;
  client.OnPacketRecvd = [&](TComponent*) { ++packets; };
  client.Get(nginx.Url("/big.bin"));
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.BytesRecvd, static_cast<int32_t>(data.size()));
  EXPECT_GT(packets, 1);
  EXPECT_TRUE(client.Body == data) << "body of " << client.Body.size() << " bytes differs";
}

TEST_F(HttpNginxTest, FiftyMebibytesIntoAFileByteForByte) {
  const std::string data = Pseudorandom(50u << 20);
  nginx.Dir().WriteFile("www/big.bin", data);
  TestClient client;
  client.InputFileMode = true;
  client.Body = nginx.Dir().File("received.bin");
  client.Get(nginx.Url("/big.bin"));
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_TRUE(nginx.Dir().ReadFile("received.bin") == data);
}

TEST_F(HttpNginxTest, NulBytesInTheBodySurvive) {
  const std::string data("a\0b\0\0c", 6);
  nginx.Dir().WriteFile("www/nul.bin", data);
  TestClient client;
  client.Get(nginx.Url("/nul.bin"));
  EXPECT_EQ(client.Body, data);
}

}  // namespace
