// Replies that never end their header, bodies past the limit, lines longer
// than the socket buffer, and transfers ended by the owner or the time-out:
// each ends in a clear error with the connection closed, or is read whole.
#include "ScriptedServer.h"
#include "TestClient.h"

#include <gtest/gtest.h>

#include <fstream>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

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

struct BodyLimitRow {
  const char* name;
  std::string reply;
  std::string error;  // empty: read whole
  friend void PrintTo(const BodyLimitRow& row, std::ostream* os) { *os << row.name; }
};

class BodyLimitTest : public testing::TestWithParam<BodyLimitRow> {};

TEST_P(BodyLimitTest, EndsPastTheLimit) {
  ScriptedServer server({ScriptedServer::Send(GetParam().reply)});
  TestClient client;
  client.BodyLimit = 1000;
  if (GetParam().error.empty()) {
    client.Get(server.Url("/"));
    EXPECT_EQ(client.Body, std::string(1000, 'b'));
  } else {
    ExpectFailure(client, server.Url("/"), GetParam().error);
  }
}

const std::string TooLarge = "Reply body too large: more than 1000 bytes";

INSTANTIATE_TEST_SUITE_P(
    Http, BodyLimitTest,
    testing::Values(
        BodyLimitRow{"ExactlyTheLimit", "HTTP/1.0 200 OK\r\n\r\n" + std::string(1000, 'b'), ""},
        BodyLimitRow{"ExactlyTheLimitByLength", "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(1000, 'b'), ""},
        BodyLimitRow{"OneByteMore", "HTTP/1.0 200 OK\r\n\r\n" + std::string(1001, 'b'), TooLarge},
        BodyLimitRow{"FarMore", "HTTP/1.0 200 OK\r\n\r\n" + std::string(300000, 'b'), TooLarge},
        BodyLimitRow{"LengthPastIt", "HTTP/1.0 200 OK\r\nContent-Length: 1001\r\n\r\n" + std::string(1001, 'b'), TooLarge},
        BodyLimitRow{"NotFoundPageToo", "HTTP/1.0 404 Not Found\r\n\r\n" + std::string(1001, 'b'), TooLarge}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpBodyLimits, NoLimitByDefault) {
  ScriptedServer server({ScriptedServer::Send("HTTP/1.0 200 OK\r\n\r\n" + std::string(3 << 20, 'b'))});
  TestClient client;
  EXPECT_EQ(client.BodyLimit, 0);
  client.Get(server.Url("/"));
  EXPECT_EQ(client.Body.size(), 3u << 20);
}

TEST(HttpBodyLimits, AnUntrueLengthKeepsNoMemory) {
  ScriptedServer server({ScriptedServer::Send("HTTP/1.0 200 OK\r\nContent-Length: 1073741824\r\n\r\nhi")});
  TestClient client;
  ExpectFailure(client, server.Url("/"), "Connection closed after 2 of 1073741824 body bytes");
  EXPECT_EQ(client.Body, "hi");
  EXPECT_LT(client.Body.capacity(), 4096u);
}

// The sanitizers reserve terabytes of address space: no address-space limit
// can be set beside them.
bool Sanitized() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
  return __has_feature(address_sanitizer);
#else
  return false;
#endif
}

TEST(HttpBodyLimits, ALengthThatCannotBeReservedFailsNothing) {
  if (Sanitized()) GTEST_SKIP() << "no address-space limit under the sanitizers";
  ScriptedServer server({ScriptedServer::Send("HTTP/1.0 200 OK\r\nContent-Length: 1000000000\r\n\r\nhi")});
  TestClient client;
  // Room for the test, but not for a gigabyte more.
  size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
  rlimit tight = old;
  tight.rlim_cur = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t{256} << 20);
  ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
  std::string message;
  try {
    client.Get(server.Url("/"));
  } catch (const std::exception& e) {
    message = e.what();
  }
  setrlimit(RLIMIT_AS, &old);
  EXPECT_EQ(message, "Connection closed after 2 of 1000000000 body bytes");
  EXPECT_EQ(client.Body, "hi");
}

}  // namespace
