// Replies that real servers do not send, from a loopback server of our own:
// what the client makes of them, which events it raises, and what it sends next.
#include "ScriptedServer.h"
#include "TempDir.h"
#include "TestClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/socket.h>

using namespace std::string_literals;

namespace {

using Send = ScriptedServer;

std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

bool HasLine(const std::string& request, const std::string& line) {
  return request.find("\r\n" + line + "\r\n") != std::string::npos;
}

// Records the client's events in order.
struct EventLog {
  std::vector<std::string> events;
  void Attach(THttpClient& c) {
    c.OnAboutToSend = [this](TComponent*) { events.push_back("AboutToSend"); };
    c.OnConnect = [this](TComponent*) { events.push_back("Connect"); };
    c.OnSuccess = [this](CmdType cmd) { events.push_back("Success:" + std::to_string(cmd)); };
    c.OnFailure = [this](CmdType cmd) { events.push_back("Failure:" + std::to_string(cmd)); };
    c.OnRedirect = [this](bool&) { events.push_back("Redirect"); };
    c.OnAuthenticationNeeded = [this](TComponent*) { events.push_back("AuthenticationNeeded"); };
    c.OnDisconnect = [this](TComponent*) { events.push_back("Disconnect"); };
    c.OnStatus = [this](TComponent*, const std::string& s) { events.push_back("Status:" + s); };
  }
  // The events of one pass, each as often as it was raised.
  std::vector<std::string> Pass() const { return events; }
};

TEST(HttpScriptedReply, CloseWithoutAnyReplyIsAFailure) {
  ScriptedServer server({Send::Send("")});
  TestClient client;
  client.ReportLevel = 2;
  client.Body = "stale";
  EventLog log;
  log.Attach(client);
  client.Get(server.Url("/"));
  EXPECT_EQ(client.ReplyNumber, 0);
  EXPECT_EQ(client.Body, "");
  EXPECT_EQ(client.Header, "");
  EXPECT_EQ(log.Pass(), (std::vector<std::string>{"AboutToSend", "Connect", "Failure:0", "Disconnect"}));
}

TEST(HttpScriptedReply, StatusWithoutReasonAndLfOnlyLines) {
  ScriptedServer server({Send::Send("HTTP/1.0 200\nServer: x\n\nbody\n")});
  TestClient client;
  int successes = 0;
  client.OnSuccess = [&](CmdType) { ++successes; };
  client.Get(server.Url("/"));
  EXPECT_EQ(client.ReplyNumber, 200);
  EXPECT_EQ(client.Header, "HTTP/1.0 200\nServer: x\n\n");
  EXPECT_EQ(client.Body, "body\n");
  EXPECT_EQ(successes, 1);
}

struct BrokenRow {
  const char* name;
  std::string reply;
  std::string header;
  friend void PrintTo(const BrokenRow& row, std::ostream* os) { *os << row.name; }
};

class BrokenReplyTest : public testing::TestWithParam<BrokenRow> {};

// A reply without a valid status or a complete header is a failure with
// ReplyNumber 0, never a success and never a redirection.
TEST_P(BrokenReplyTest, IsAFailureWithReplyNumberZero) {
  ScriptedServer server({Send::Send(GetParam().reply), Send::Send("HTTP/1.0 200 OK\r\n\r\n")});
  TestClient client;
  EventLog log;
  log.Attach(client);
  client.Get(server.Url("/"));
  EXPECT_EQ(client.ReplyNumber, 0);
  EXPECT_EQ(client.Header, GetParam().header);
  EXPECT_EQ(log.Pass(), (std::vector<std::string>{"AboutToSend", "Connect", "Failure:0", "Disconnect"}));
  client.Get(server.Url("/next"));
  server.Join();
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(RequestLine(server.Requests()[1]), "GET /next HTTP/1.0");
}

const std::string Moved = " Moved\r\nLocation: /elsewhere\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Http, BrokenReplyTest,
    testing::Values(BrokenRow{"NoStatusLine", "", ""},
                    BrokenRow{"Negative", "HTTP/1.0 -5" + Moved, "HTTP/1.0 -5" + Moved},
                    BrokenRow{"Letters", "HTTP/1.0 abc" + Moved, "HTTP/1.0 abc" + Moved},
                    BrokenRow{"TooLarge", "HTTP/1.0 70000" + Moved, "HTTP/1.0 70000" + Moved},
                    BrokenRow{"WrapsTo302", "HTTP/1.0 65838" + Moved, "HTTP/1.0 65838" + Moved},
                    BrokenRow{"TwoDigits", "HTTP/1.0 30" + Moved, "HTTP/1.0 30" + Moved},
                    BrokenRow{"UnterminatedHeader", "HTTP/1.0 302 Moved\r\nLocation: /elsewhere\r\n",
                              "HTTP/1.0 302 Moved\r\nLocation: /elsewhere\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpScriptedReply, EventOrderOfASuccessfulPass) {
  ScriptedServer server({Send::Send("HTTP/1.0 200 OK\r\n\r\n" + std::string(5000, 'b'))});
  TestClient client;
  client.ReportLevel = 2;
  EventLog log;
  log.Attach(client);
  client.OnPacketRecvd = [&](TComponent*) {
    if (log.events.back() != "PacketRecvd") log.events.push_back("PacketRecvd");
  };
  client.Post(server.Url("/"), "x");
  EXPECT_EQ(log.Pass(), (std::vector<std::string>{"AboutToSend", "Connect", "PacketRecvd", "Success:3",
                                                  "Status:Transaction Completed", "Disconnect"}));
}

TEST(HttpScriptedReply, NulBytesSurviveInHeaderAndBody) {
  const std::string reply = "HTTP/1.0 200 OK\r\nX-Nul: a\0b\r\n\r\nx\0y\0"s;
  ScriptedServer server({Send::Send(reply)});
  TestClient client;
  client.Get(server.Url("/"));
  EXPECT_EQ(client.Header, "HTTP/1.0 200 OK\r\nX-Nul: a\0b\r\n\r\n"s);
  EXPECT_EQ(client.Body, "x\0y\0"s);
}

struct LengthRow {
  const char* name;
  std::string reply;
  std::string body;
  std::string error;  // empty: OnSuccess
  friend void PrintTo(const LengthRow& row, std::ostream* os) { *os << row.name; }
};

class BodyLengthTest : public testing::TestWithParam<LengthRow> {};

TEST_P(BodyLengthTest, ContentLengthEndsTheBody) {
  ScriptedServer server({Send::Send(GetParam().reply)});
  TestClient client;
  int successes = 0;
  client.OnSuccess = [&](CmdType) { ++successes; };
  std::string error;
  try {
    client.Get(server.Url("/"));
  } catch (const ESockError& e) {
    error = e.Message;
  }
  server.Join();
  EXPECT_EQ(error, GetParam().error);
  EXPECT_EQ(client.Body, GetParam().body);
  EXPECT_EQ(successes, GetParam().error.empty() ? 1 : 0);
  EXPECT_FALSE(client.Connected);
}

INSTANTIATE_TEST_SUITE_P(
    Http, BodyLengthTest,
    testing::Values(LengthRow{"Exact", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello", ""},
                    LengthRow{"LongerBodyIsCut", "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nhello", "hel", ""},
                    LengthRow{"Zero", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", "", ""},
                    LengthRow{"NoContentReplyIgnoresIt", "HTTP/1.0 204 No Content\r\nContent-Length: 9\r\n\r\n", "",
                              ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpScriptedReply, CloseBeforeContentLengthFailsAndKeepsWhatArrived) {
  ScriptedServer server({[](int fd) {
    ScriptedServer::WriteAll(fd, "HTTP/1.0 200 OK\r\nContent-Length: 19\r\n\r\nhello");
    ::shutdown(fd, SHUT_RDWR);
  }});
  TestClient client;
  int results = 0;
  client.OnSuccess = [&](CmdType) { ++results; };
  client.OnFailure = [&](CmdType) { ++results; };
  try {
    client.Get(server.Url("/"));
    FAIL() << "no exception";
  } catch (const ESockError& e) {
    EXPECT_EQ(e.Message, "Connection closed after 5 of 19 body bytes");
  }
  EXPECT_EQ(client.Body, "hello");
  EXPECT_EQ(results, 0);
  EXPECT_FALSE(client.Connected);
}

TEST(HttpScriptedReply, HeadReplyEndsWithItsHeaderWhateverItsLength) {
  ScriptedServer server({Send::Send("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n")});
  TestClient client;
  int successes = 0;
  client.OnSuccess = [&](CmdType) { ++successes; };
  client.Head(server.Url("/"));
  EXPECT_EQ(successes, 1);
  EXPECT_EQ(client.Body, "");
}

TEST(HttpCookies, ServerCookieGoesBackAsNameAndValueToItsServerOnly) {
  uint16_t port = 0;
  ScriptedServer server(
      {Send::Send("HTTP/1.0 302 Found\r\nSet-Cookie: sid=42; path=/; HttpOnly\r\nLocation: /next\r\n\r\n"),
       Send::Send("HTTP/1.0 200 OK\r\n\r\nsecond"), Send::Send("HTTP/1.0 200 OK\r\n\r\nthird"),
       // Another name for the same server is another server to cookies.
       [&port](int fd) {
         ScriptedServer::WriteAll(fd, "HTTP/1.0 302 Found\r\nLocation: http://localhost:" + std::to_string(port) +
                                          "/elsewhere\r\n\r\n");
       },
       Send::Send("HTTP/1.0 200 OK\r\n\r\nfifth")});
  port = server.Port();
  TestClient client;
  client.Get(server.Url("/first"));
  EXPECT_EQ(client.HeaderInfo.Cookie, "sid=42; path=/; HttpOnly");
  EXPECT_EQ(client.Body, "second");
  EXPECT_EQ(client.Header, "HTTP/1.0 200 OK\r\n\r\n");
  client.Get("http://LOCALHOST:" + std::to_string(port) + "/again");
  client.Get(server.Url("/third"));
  server.Join();
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[0].find("Cookie"), std::string::npos);
  EXPECT_EQ(RequestLine(requests[1]), "GET /next HTTP/1.0");
  EXPECT_TRUE(HasLine(requests[1], "Cookie: sid=42"));
  EXPECT_EQ(requests[2].find("Cookie"), std::string::npos);
  EXPECT_TRUE(HasLine(requests[3], "Cookie: sid=42"));
  EXPECT_EQ(RequestLine(requests[4]), "GET /elsewhere HTTP/1.0");
  EXPECT_EQ(requests[4].find("Cookie"), std::string::npos);
}

TEST(HttpScriptedReply, LocationWithoutSlashGoesToTheCurrentHost) {
  // Through a proxy (our server), so that the default port of the rebuilt URL
  // stays on loopback.
  ScriptedServer server({Send::Send("HTTP/1.0 302 Found\r\nLocation: page.html\r\n\r\n"),
                         Send::Send("HTTP/1.0 200 OK\r\n\r\n")});
  TestClient client;
  client.Proxy = "127.0.0.1";
  client.ProxyPort = server.Port();
  client.Get("http://origin.test:8080/dir/a");
  server.Join();
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(RequestLine(server.Requests()[1]), "GET http://origin.test:8080/page.html HTTP/1.0");
  EXPECT_EQ(client.URL(), "http://origin.test:8080/page.html");
}

TEST(HttpScriptedReply, PathOnlyLocationThroughAProxyNamesItsServer) {
  ScriptedServer server({Send::Send("HTTP/1.0 302 Found\r\nLocation: /next?a=1\r\n\r\n"),
                         Send::Send("HTTP/1.0 200 OK\r\n\r\n")});
  TestClient client;
  client.Proxy = "127.0.0.1";
  client.ProxyPort = server.Port();
  client.Get("http://origin.test/dir/a");
  server.Join();
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(RequestLine(server.Requests()[1]), "GET http://origin.test/next?a=1 HTTP/1.0");
}

TEST(HttpRedirectTarget, PathWithAColonStaysOnTheServerAndPort) {
  ScriptedServer server({Send::Send("HTTP/1.0 302 Found\r\nLocation: /case?t=12:30&u=http://x/y\r\n\r\n"),
                         Send::Send("HTTP/1.0 200 OK\r\n\r\n")});
  TestClient client;
  client.Get(server.Url("/first"));
  server.Join();
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(RequestLine(server.Requests()[1]), "GET /case?t=12:30&u=http://x/y HTTP/1.0");
  EXPECT_EQ(client.Host, "127.0.0.1");
  EXPECT_EQ(client.Port, server.Port());
}

TEST(HttpRedirectTarget, DoubleSlashNamesAnotherServerAndPort) {
  ScriptedServer second({Send::Send("HTTP/1.0 200 OK\r\n\r\nsecond")});
  ScriptedServer first(
      {Send::Send("HTTP/1.0 302 Found\r\nLocation: //127.0.0.1:" + std::to_string(second.Port()) + "/x\r\n\r\n")});
  TestClient client;
  client.Get(first.Url("/first"));
  first.Join();
  second.Join();
  ASSERT_EQ(second.Requests().size(), 1u);
  EXPECT_EQ(RequestLine(second.Requests()[0]), "GET /x HTTP/1.0");
  EXPECT_EQ(client.Body, "second");
}

TEST(HttpRedirectTarget, DoubleSlashThroughAProxyNamesAnotherServer) {
  ScriptedServer proxy({Send::Send("HTTP/1.0 302 Found\r\nLocation: //other.test:81/x\r\n\r\n"),
                        Send::Send("HTTP/1.0 200 OK\r\n\r\n")});
  TestClient client;
  client.Proxy = "127.0.0.1";
  client.ProxyPort = proxy.Port();
  client.Get("http://origin.test/a");
  proxy.Join();
  ASSERT_EQ(proxy.Requests().size(), 2u);
  EXPECT_EQ(RequestLine(proxy.Requests()[1]), "GET http://other.test:81/x HTTP/1.0");
  EXPECT_TRUE(HasLine(proxy.Requests()[1], "Host: other.test"));
}

TEST(HttpRedirectTarget, LongLocationAndCookieArriveWhole) {
  const std::string path = "/" + std::string(400, 'p');
  const std::string cookie = "sid=" + std::string(400, 'c');
  ScriptedServer server({Send::Send("HTTP/1.0 302 Found\r\nSet-Cookie: " + cookie + "\r\nLocation: " + path + "\r\n\r\n"),
                         Send::Send("HTTP/1.0 200 OK\r\n\r\n")});
  TestClient client;
  client.Get(server.Url("/first"));
  server.Join();
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(RequestLine(server.Requests()[1]), "GET " + path + " HTTP/1.0");
  EXPECT_TRUE(HasLine(server.Requests()[1], "Cookie: " + cookie));
}

TEST(HttpRedirectTarget, LocationOfAnEarlierTransactionIsNotReused) {
  ScriptedServer server({Send::Send("HTTP/1.0 302 Found\r\nLocation: /old\r\n\r\n"),
                         Send::Send("HTTP/1.0 200 OK\r\n\r\n"), Send::Send("HTTP/1.0 302 Found\r\n\r\n")});
  TestClient client;
  client.Get(server.Url("/first"));
  try {
    client.Get(server.Url("/second"));
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "Empty URL");
  }
  server.Join();
  EXPECT_EQ(server.Requests().size(), 3u);
}

struct EndRow {
  const char* name;
  int reply;
  bool redirectEvent;
};

class RepliesThatEndTest : public testing::TestWithParam<EndRow> {};

TEST_P(RepliesThatEndTest, EndAfterOneRequest) {
  const std::string status = std::to_string(GetParam().reply);
  ScriptedServer server({Send::Send("HTTP/1.0 " + status + " X\r\nLocation: /elsewhere\r\n\r\npage")});
  TestClient client;
  EventLog log;
  log.Attach(client);
  client.Get(server.Url("/start"));
  server.Join();
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(client.ReplyNumber, GetParam().reply);
  EXPECT_EQ(client.Body, "page");
  std::vector<std::string> expected = {"AboutToSend", "Connect", "Disconnect"};
  if (GetParam().redirectEvent) expected.push_back("Redirect");
  EXPECT_EQ(log.Pass(), expected);
}

INSTANTIATE_TEST_SUITE_P(Http, RepliesThatEndTest,
                         testing::Values(EndRow{"Reply299", 299, false}, EndRow{"Reply303", 303, true},
                                         EndRow{"Reply304", 304, true}, EndRow{"Reply398", 398, true},
                                         EndRow{"Reply399", 399, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HttpScriptedReply, RedirectLoopEndsWithAnExceptionAfterTwentyRedirections) {
  std::vector<ScriptedServer::Reply> script(21, Send::Send("HTTP/1.0 302 Found\r\nLocation: /loop\r\n\r\n"));
  ScriptedServer server(script);
  TestClient client;
  int redirects = 0;
  client.OnRedirect = [&](bool&) { ++redirects; };
  try {
    client.Get(server.Url("/loop"));
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "Too many redirections: more than 20");
  }
  server.Join();
  EXPECT_EQ(server.Requests().size(), 21u);
  EXPECT_EQ(redirects, 21);
  EXPECT_FALSE(client.Connected);
}

TEST(HttpScriptedReply, HeaderNamesNeedABlankAfterTheColon) {
  ScriptedServer server({Send::Send("HTTP/1.0 302 Found\r\nLocation: /second\r\n\r\n"),
                         Send::Send("HTTP/1.0 302 Found\r\nLocation:/third\r\nSet-Cookie:a=1\r\n\r\n"),
                         Send::Send("HTTP/1.0 200 OK\r\n\r\n")});
  TestClient client;
  client.Get(server.Url("/first"));
  server.Join();
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  // The unrecognised Location leaves the last one received in force.
  EXPECT_EQ(RequestLine(requests[2]), "GET /second HTTP/1.0");
  EXPECT_EQ(client.HeaderInfo.Cookie, "");
}

TEST(HttpScriptedReply, HandledRedirectEndsWithTheFirstReply) {
  ScriptedServer server({Send::Send("HTTP/1.0 301 Moved\r\nLocation: http://other.test/x\r\n\r\nmoved")});
  TestClient client;
  client.OnRedirect = [](bool& handled) { handled = true; };
  client.Get(server.Url("/"));
  server.Join();
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(client.Body, "moved");
  EXPECT_EQ(client.URL(), "http://other.test/x");
}

TEST(HttpScriptedReply, UnauthorizedReportsFailureThenAuthenticationAfterClosing) {
  ScriptedServer server({Send::Send("HTTP/1.0 401 Unauthorized\r\n\r\nlocked")});
  TestClient client;
  EventLog log;
  log.Attach(client);
  client.Get(server.Url("/"));
  EXPECT_EQ(log.Pass(),
            (std::vector<std::string>{"AboutToSend", "Connect", "Failure:0", "Disconnect", "AuthenticationNeeded"}));
  EXPECT_EQ(client.Body, "locked");
}

// Redirects from `first` to the URL that `target` makes of the second server's port.
void RedirectWithCredentials(const std::function<std::string(uint16_t)>& target, bool expectAuthorization) {
  ScriptedServer second({Send::Send("HTTP/1.0 200 OK\r\n\r\n")});
  ScriptedServer first({Send::Send("HTTP/1.0 302 Found\r\nLocation: " + target(second.Port()) + "\r\n\r\n")});
  TestClient client;
  client.HeaderInfo.UserId = "user";
  client.HeaderInfo.Password = "secret";
  client.HeaderInfo.Cookie = "own=1";
  client.Get(first.Url("/start"));
  first.Join();
  second.Join();
  ASSERT_EQ(first.Requests().size(), 1u);
  ASSERT_EQ(second.Requests().size(), 1u);
  EXPECT_TRUE(HasLine(first.Requests()[0], "Authorization: Basic dXNlcjpzZWNyZXQ="));
  EXPECT_TRUE(HasLine(first.Requests()[0], "Cookie: own=1"));
  EXPECT_EQ(second.Requests()[0].find("Authorization") != std::string::npos, expectAuthorization);
  EXPECT_EQ(second.Requests()[0].find("Cookie") != std::string::npos, expectAuthorization);
}

TEST(HttpCredentials, NotSentToAnotherPort) {
  RedirectWithCredentials([](uint16_t p) { return "http://127.0.0.1:" + std::to_string(p) + "/x"; }, false);
}

TEST(HttpCredentials, NotSentToAnotherHostName) {
  // Same port, another name for it: the credentials stay with the name they were given for.
  uint16_t port = 0;
  ScriptedServer server({[&port](int fd) {
                           ScriptedServer::WriteAll(fd, "HTTP/1.0 302 Found\r\nLocation: http://localhost:" +
                                                            std::to_string(port) + "/x\r\n\r\n");
                         },
                         Send::Send("HTTP/1.0 200 OK\r\n\r\n")});
  port = server.Port();
  TestClient client;
  client.HeaderInfo.UserId = "user";
  client.HeaderInfo.Password = "secret";
  client.HeaderInfo.Cookie = "own=1";
  client.Get(server.Url("/start"));
  server.Join();
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_TRUE(HasLine(server.Requests()[0], "Authorization: Basic dXNlcjpzZWNyZXQ="));
  EXPECT_TRUE(HasLine(server.Requests()[1], "Host: localhost"));
  EXPECT_EQ(server.Requests()[1].find("Authorization"), std::string::npos);
  EXPECT_TRUE(HasLine(server.Requests()[0], "Cookie: own=1"));
  EXPECT_EQ(server.Requests()[1].find("Cookie"), std::string::npos);
}

TEST(HttpCredentials, KeptOnAPathOnlyRedirect) {
  ScriptedServer server({Send::Send("HTTP/1.0 302 Found\r\nLocation: /next\r\n\r\n"),
                         Send::Send("HTTP/1.0 200 OK\r\n\r\n")});
  TestClient client;
  client.HeaderInfo.UserId = "user";
  client.HeaderInfo.Password = "secret";
  client.HeaderInfo.Cookie = "own=1";
  client.Get(server.Url("/start"));
  server.Join();
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_TRUE(HasLine(server.Requests()[1], "Authorization: Basic dXNlcjpzZWNyZXQ="));
  EXPECT_TRUE(HasLine(server.Requests()[1], "Cookie: own=1"));
}

TEST(HttpFileModes, TheWindowsSettingWritesTheHeaderFileOnly) {
  TempDir dir;
  ScriptedServer server({Send::Send("HTTP/1.0 200 OK\r\nServer: s\r\n\r\n<html>page</html>")});
  TestClient client;
  client.OutputFileMode = true;
  client.Header = dir.File("Head.txt");
  client.Body = dir.File("Default.htm");
  int cmd = -1;
  client.OnSuccess = [&](CmdType c) { cmd = c; };
  client.Get(server.Url("/"));
  EXPECT_EQ(cmd, cmdGet);
  EXPECT_EQ(client.Header, dir.File("Head.txt"));
  EXPECT_EQ(dir.ReadFile("Head.txt"), "HTTP/1.0 200 OK\r\nServer: s\r\n\r\n");
  EXPECT_EQ(client.Body, "<html>page</html>");
  EXPECT_FALSE(std::filesystem::exists(dir.File("Default.htm")));
}

TEST(HttpFileModes, InputFileModeWritesTheBodyFile) {
  TempDir dir;
  ScriptedServer server({Send::Send("HTTP/1.0 200 OK\r\n\r\nfile\0body"s)});
  TestClient client;
  client.InputFileMode = true;
  client.Body = dir.File("body.bin");
  client.Get(server.Url("/"));
  EXPECT_EQ(client.Body, dir.File("body.bin"));
  EXPECT_EQ(dir.ReadFile("body.bin"), "file\0body"s);
  EXPECT_EQ(client.Header, "HTTP/1.0 200 OK\r\n\r\n");
}

TEST(HttpFileModes, HeaderFileThatCannotBeWrittenIsAStreamWriteError) {
  ScriptedServer server({Send::Send("HTTP/1.0 200 OK\r\n\r\nx")});
  TestClient client;
  client.OutputFileMode = true;
  client.Header = "/dev/full";
  int successes = 0;
  client.OnSuccess = [&](CmdType) { ++successes; };
  try {
    client.Get(server.Url("/"));
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "Stream write error");
  }
  EXPECT_FALSE(client.Connected);
  EXPECT_EQ(successes, 0);
}

TEST(HttpFileModes, HeaderFileThatCannotBeCreatedEndsWithTheConnectionClosed) {
  TempDir dir;
  ScriptedServer server({Send::Send("HTTP/1.0 200 OK\r\n\r\nx")});
  TestClient client;
  client.OutputFileMode = true;
  client.Header = dir.File("no/such/folder/Head.txt");
  int successes = 0;
  client.OnSuccess = [&](CmdType) { ++successes; };
  EXPECT_THROW(client.Get(server.Url("/")), EFCreateError);
  EXPECT_FALSE(client.Connected);
  EXPECT_EQ(successes, 0);
}

}  // namespace

namespace {

TEST(HttpHandlerExceptions, SuccessHandlerThatThrowsLeavesWithTheConnectionClosed) {
  ScriptedServer server({Send::Send("HTTP/1.0 200 OK\r\n\r\nbody")});
  TestClient client;
  client.ReportLevel = 2;
  EventLog log;
  log.Attach(client);
  client.OnSuccess = [](CmdType) { throw Exception("handler failed"); };
  EXPECT_THROW(client.Get(server.Url("/")), Exception);
  EXPECT_FALSE(client.Connected);
  EXPECT_EQ(client.Body, "body");
  EXPECT_EQ(log.Pass(), (std::vector<std::string>{"AboutToSend", "Connect", "Disconnect"}));
}

TEST(HttpHandlerExceptions, AboutToSendThatThrowsConnectsNowhere) {
  ScriptedServer server({});
  TestClient client;
  int connects = 0;
  client.OnConnect = [&](TComponent*) { ++connects; };
  client.OnAboutToSend = [](TComponent*) { throw Exception("not now"); };
  EXPECT_THROW(client.Get(server.Url("/")), Exception);
  EXPECT_EQ(connects, 0);
}

TEST(HttpScriptedReply, RedirectWithoutAnyLocationEndsWithEmptyUrl) {
  ScriptedServer server({Send::Send("HTTP/1.0 302 Found\r\n\r\n")});
  TestClient client;
  try {
    client.Get(server.Url("/"));
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "Empty URL");
  }
  server.Join();
  EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace

namespace {

TEST(HttpFileModes, FileNamesWithANulAreRefusedNotCut) {
  using namespace std::string_literals;
  TempDir dir;
  dir.WriteFile("send", "would be sent");
  ScriptedServer server({Send::Send("HTTP/1.0 200 OK\r\n\r\nx"), Send::Send("HTTP/1.0 200 OK\r\n\r\nx")});
  TestClient client;
  client.OutputFileMode = true;
  EXPECT_THROW(client.Put(server.Url("/"), dir.File("send\0.txt"s)), EFOpenError);

  client.Header = dir.File("head\0.txt"s);
  EXPECT_THROW(client.Get(server.Url("/")), EFCreateError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("head")));

  client.OutputFileMode = false;
  client.InputFileMode = true;
  client.Body = dir.File("body\0.txt"s);
  EXPECT_THROW(client.Get(server.Url("/")), EFCreateError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("body")));
  EXPECT_FALSE(client.Connected);
}

}  // namespace
