// Replies that never end their header, lines longer than the socket buffer,
// and transfers ended by the owner or the time-out: each ends in a clear
// error with the connection closed, or is read whole.
#include "ScriptedServer.h"
#include "TestClient.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

namespace {

// Sends the status line, then `line` again and again until the client goes
// away (at most `limit` times).
ScriptedServer::Reply Endless(const std::string& line, int limit) {
  return [line, limit](int fd) {
    if (!ScriptedServer::WriteAll(fd, "HTTP/1.0 200 OK\r\n")) return;
    std::string block;
    for (int i = 0; i < 1000; ++i) block += line;
    for (int sent = 0; sent < limit; sent += 1000) {
      if (!ScriptedServer::WriteAll(fd, block)) return;
    }
  };
}

// Sends `bytes`, then keeps the connection open until the client closes it.
ScriptedServer::Reply SendAndHold(const std::string& bytes) {
  return [bytes](int fd) {
    ScriptedServer::WriteAll(fd, bytes);
    pollfd p{fd, POLLIN, 0};
    char sink[4096];
    const int deadlineMs = static_cast<int>(std::chrono::milliseconds(ScriptedServer::Deadline).count());
    while (poll(&p, 1, deadlineMs) == 1 && recv(fd, sink, sizeof sink, 0) > 0) {
    }
  };
}

void ExpectFailure(TestClient& client, const std::string& url, const std::string& message) {
  int results = 0;
  client.OnSuccess = [&](CmdType) { ++results; };
  client.OnFailure = [&](CmdType) { ++results; };
  try {
    client.Get(url);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, message);
  }
  EXPECT_FALSE(client.Connected);
  EXPECT_EQ(results, 0);
}

TEST(HttpHeaderLimits, EndlessShortLinesStopAtTheLineLimit) {
  ScriptedServer server({Endless("X-A: b\r\n", 2 * THttpClient::MaxHeaderLines)});
  TestClient client;
  ExpectFailure(client, server.Url("/"), "Reply header too long: more than 100000 lines");
  EXPECT_LE(client.Header.size(), THttpClient::MaxHeaderBytes);
}

TEST(HttpHeaderLimits, EndlessLongLinesStopAtTheSizeLimit) {
  ScriptedServer server({Endless("X-Big: " + std::string(1000, 'a') + "\r\n", 4000)});
  TestClient client;
  ExpectFailure(client, server.Url("/"), "Reply header too large: more than 1048576 bytes");
  EXPECT_LE(client.Header.size(), THttpClient::MaxHeaderBytes);
}

TEST(HttpHeaderLimits, ALineLongerThanTheSocketBufferIsReadWhole) {
  const std::string longLine = "X-Long: " + std::string(200000, 'l') + "\r\n";
  ScriptedServer server({ScriptedServer::Send("HTTP/1.0 200 OK\r\n" + longLine + "\r\nbody")});
  TestClient client;
  client.Get(server.Url("/"));
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Header, "HTTP/1.0 200 OK\r\n" + longLine + "\r\n");
  EXPECT_EQ(client.Body, "body");
}

TEST(HttpHeaderLimits, AStatusLineWithoutEndIsRefused) {
  ScriptedServer server({Endless("x", 4 << 20)});
  TestClient client;
  ExpectFailure(client, server.Url("/"), "Line too long");
}

TEST(HttpEnding, AbortDuringTheBodyClosesTheConnection) {
  ScriptedServer server({SendAndHold("HTTP/1.0 200 OK\r\n\r\n" + std::string(1000, 'p'))});
  TestClient client;
  client.OnPacketRecvd = [&](TComponent*) { client.Abort(); };
  ExpectFailure(client, server.Url("/"), "Socket capture aborted");
  EXPECT_EQ(client.Body.substr(0, 1), "p");
  server.Join();
}

TEST(HttpEnding, TimeOutWhileWaitingForTheReply) {
  ScriptedServer server({SendAndHold("")});
  TestClient client;
  client.TimeOut = 200;
  ExpectFailure(client, server.Url("/"), "Socket readln aborted");
  EXPECT_TRUE(client.TimedOut);
}

TEST(HttpEnding, TheNextRequestRunsNormallyAfterAnAbort) {
  ScriptedServer server(
      {SendAndHold("HTTP/1.0 200 OK\r\n\r\nfirst"), ScriptedServer::Send("HTTP/1.0 200 OK\r\n\r\nsecond")});
  TestClient client;
  client.OnPacketRecvd = [&](TComponent*) { client.Abort(); };
  EXPECT_THROW(client.Get(server.Url("/1")), EAbortError);
  client.OnPacketRecvd = nullptr;
  client.Get(server.Url("/2"));
  EXPECT_EQ(client.Body, "second");
}

}  // namespace
