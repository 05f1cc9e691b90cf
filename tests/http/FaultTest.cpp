// Socket failures injected through the socket interface's seam: each ends the
// request with the socket layer's error and the connection closed, and a
// short-writing network still gets every byte of the request.
#include "FaultWinsock.h"
#include "LoopbackPort.h"
#include "ScriptedServer.h"
#include "TestClient.h"

#include <gtest/gtest.h>

namespace {

using TCall = TFaultWinsock::TCall;

struct Outcome {
  std::string message;
  std::vector<std::string> events;
};

Outcome RunFailing(TestClient& client, const std::string& url) {
  Outcome out;
  client.OnSuccess = [&](CmdType) { out.events.push_back("Success"); };
  client.OnFailure = [&](CmdType) { out.events.push_back("Failure"); };
  client.OnConnectionFailed = [&](TComponent*) { out.events.push_back("ConnectionFailed"); };
  try {
    client.Get(url);
    out.message = "no exception";
  } catch (const ESockError& e) {
    out.message = e.Message;
  }
  EXPECT_FALSE(client.Connected);
  return out;
}

TEST(HttpFaults, ResetWhileReadingTheReply) {
  TFaultScope faults;
  ScriptedServer server({ScriptedServer::Send("HTTP/1.0 200 OK\r\nA: 1\r\nB: 2\r\n\r\n" + std::string(300000, 'b'))});
  faults.Api.Fail(TCall::Recv, sock::WSAECONNRESET, 5);
  TestClient client;
  const Outcome out = RunFailing(client, server.Url("/"));
  EXPECT_EQ(out.message, "10054:Connection reset by peer");
  EXPECT_TRUE(out.events.empty());
}

TEST(HttpFaults, AbortedWhileSendingTheRequest) {
  TFaultScope faults;
  ScriptedServer server({ScriptedServer::Send("")});
  faults.Api.Fail(TCall::Send, sock::WSAECONNABORTED);
  TestClient client;
  const Outcome out = RunFailing(client, server.Url("/"));
  EXPECT_EQ(out.message, "10053:Software caused connection abort");
  EXPECT_TRUE(out.events.empty());
}

TEST(HttpFaults, ShortSendsStillDeliverTheWholeRequest) {
  TFaultScope faults;
  faults.Api.SendLimit = 7;
  ScriptedServer server({ScriptedServer::Send("HTTP/1.0 200 OK\r\n\r\nok")});
  TestClient client;
  client.Post(server.Url("/form"), "a b&c");
  server.Join();
  const std::string request = server.Requests().at(0);
  EXPECT_EQ(request.substr(0, 26), "POST /form HTTP/1.0\r\nHost:");
  EXPECT_EQ(request.substr(request.size() - 11), "\r\n\r\na+b%26c");
  EXPECT_EQ(client.Body, "ok");
}

TEST(HttpFaults, RefusedConnection) {
  TestClient client;
  const Outcome out = RunFailing(client, "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/");
  EXPECT_EQ(out.message, "Connection Failed");
  EXPECT_EQ(out.events, std::vector<std::string>{"ConnectionFailed"});
}

TEST(HttpFaults, NameThatCannotBeFound) {
  TFaultScope faults;
  faults.Api.LookupError = sock::WSAHOST_NOT_FOUND;
  TestClient client;
  int aboutToSend = 0;
  client.OnAboutToSend = [&](TComponent*) { ++aboutToSend; };
  const Outcome out = RunFailing(client, "http://nowhere.test/");
  EXPECT_EQ(out.message, "Null Remote Address");
  EXPECT_EQ(aboutToSend, 1);
}

TEST(HttpFaults, FailedCloseAfterAFailureKeepsTheFirstError) {
  TFaultScope faults;
  ScriptedServer server({ScriptedServer::Send("HTTP/1.0 200 OK\r\n\r\nbody")});
  faults.Api.Fail(TCall::Recv, sock::WSAECONNRESET);
  faults.Api.Fail(TCall::CloseSocket, sock::WSAENOTSOCK);
  TestClient client;
  const Outcome out = RunFailing(client, server.Url("/"));
  EXPECT_EQ(out.message, "10054:Connection reset by peer");
}

}  // namespace
