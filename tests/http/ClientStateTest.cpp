// What an owner finds in a new client, what Abort does without a request, and
// what happens when the client or its owner is destroyed in mid-request.
#include "HttpClient.h"
#include "LoopbackPeer.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

TEST(HttpClientState, ValuesAtCreation) {
  THttpClient client(nullptr);
  EXPECT_EQ(client.Host, "");
  EXPECT_EQ(client.Port, 0);
  EXPECT_EQ(client.TimeOut, 0);
  EXPECT_EQ(client.ReportLevel, 1);
  EXPECT_EQ(client.Body, "Default.htm");
  EXPECT_EQ(client.Header, "Head.txt");
  EXPECT_FALSE(client.InputFileMode);
  EXPECT_FALSE(client.OutputFileMode);
  EXPECT_EQ(client.Proxy, "");
  EXPECT_EQ(client.ProxyPort, 0);
  EXPECT_EQ(client.ReplyNumber, 0);
  EXPECT_EQ(client.BytesRecvd, 0);
  EXPECT_EQ(client.BytesSent, 0);
  const THeaderInfo& info = client.HeaderInfo;
  for (const std::string* value : {&info.LocalMailAddress, &info.LocalProgram, &info.Cookie, &info.Referer,
                                   &info.UserId, &info.Password}) {
    EXPECT_EQ(*value, "");
  }
}

TEST(HttpClientState, CommandCodes) {
  EXPECT_EQ(cmdGet, 0);
  EXPECT_EQ(cmdOptions, 1);
  EXPECT_EQ(cmdHead, 2);
  EXPECT_EQ(cmdPost, 3);
  EXPECT_EQ(cmdPut, 4);
  EXPECT_EQ(cmdPatch, 5);
  EXPECT_EQ(cmdCopy, 6);
  EXPECT_EQ(cmdMove, 7);
  EXPECT_EQ(cmdDelete, 8);
  EXPECT_EQ(cmdLink, 9);
  EXPECT_EQ(cmdUnlink, 10);
  EXPECT_EQ(cmdTrace, 11);
  EXPECT_EQ(sizeof(CmdType), 1u);
}

TEST(HttpClientState, AbortSetsTheFlagsAndReportsNoTextOfItsOwn) {
  THttpClient client(nullptr);
  client.ReportLevel = 8;
  std::vector<std::string> texts;
  client.OnStatus = [&](TComponent*, const std::string& s) { texts.push_back(s); };
  client.Abort();
  EXPECT_TRUE(client.AsyncDone);
  EXPECT_TRUE(client.Canceled);
  EXPECT_EQ(texts, std::vector<std::string>{"Canceling"});
}

std::string Url(uint16_t port) { return "http://127.0.0.1:" + std::to_string(port) + "/x"; }

// A peer that sends the header and part of the body, then waits.
TLoopbackPeer::TScript HalfABody() {
  return [](TLoopbackPeer& p) {
    p.ReceiveUntil("\r\n\r\n");
    p.Send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\npart");
    p.WaitForClose();
  };
}

// The request must unwind without touching the destroyed client; under the
// sanitizers any touch is a heap-use-after-free.
void ExpectDestroyedInMidRequest(THttpClient* client, uint16_t port) {
  try {
    client->Get(Url(port));
    FAIL() << "the request ended normally";
  } catch (const EComponentDestroyed& e) {
    EXPECT_STREQ(e.what(), "Component destroyed during the operation");
  }
}

TEST(HttpClientLifetime, DestroyedByItsOwnHandlers) {
  using TInstall = std::function<void(THttpClient*)>;
  const std::vector<std::pair<const char*, TInstall>> rows = {
      {"OnConnect", [](THttpClient* c) { c->OnConnect = [c](TComponent*) { delete c; }; }},
      {"OnPacketRecvd", [](THttpClient* c) { c->OnPacketRecvd = [c](TComponent*) { delete c; }; }},
      {"OnStatus",
       [](THttpClient* c) {
         c->ReportLevel = 8;
         c->OnStatus = [c](TComponent*, const std::string& s) {
           if (s == "Capture String") delete c;
         };
       }},
  };
  for (const auto& [name, install] : rows) {
    SCOPED_TRACE(name);
    TLoopbackPeer peer(HalfABody());
    auto* client = new THttpClient(nullptr);
    install(client);
    ExpectDestroyedInMidRequest(client, peer.Port());
  }
}

TEST(HttpClientLifetime, DestroyedByATimerDuringTheBodyWait) {
  TLoopbackPeer peer(HalfABody());
  auto* client = new THttpClient(nullptr);
  QTimer::singleShot(50, [client] { delete client; });
  ExpectDestroyedInMidRequest(client, peer.Port());
}

TEST(HttpClientLifetime, OwnerDestroyedByATimerDuringTheConnect) {
  // A listening socket whose one-place queue is already taken leaves the
  // next connect waiting: the kernel drops its handshake.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  auto* owner = new TComponent(nullptr);
  auto* client = new THttpClient(owner);
  bool connected = false;
  client->OnConnect = [&](TComponent*) { connected = true; };
  QTimer::singleShot(100, [owner] { delete owner; });
  ExpectDestroyedInMidRequest(client, ntohs(address.sin_port));
  EXPECT_FALSE(connected);
  ::close(filler);
  ::close(listener);
}

}  // namespace
