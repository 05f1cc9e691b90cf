// What broken or malicious servers do to a transaction: resets, closes in the
// middle of a line, a drip-feed, a server that never closes. The outcome is
// the documented one and nothing already received is lost.
#include "HttpClient.h"
#include "LoopbackPeer.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

std::string Url(const TLoopbackPeer& peer) { return "http://127.0.0.1:" + std::to_string(peer.Port()) + "/x"; }

class HostilePeer : public ::testing::Test {
protected:
  void SetUp() override { Client.OutputFileMode = false; }
  THttpClient Client{nullptr};
};

TEST_F(HostilePeer, ResetInTheMiddleOfTheBodyKeepsWhatArrived) {
  const std::string part = "HTTP/1.0 200 OK\r\n\r\n";
  const std::string body(200000, 'b');
  TLoopbackPeer peer([&](TLoopbackPeer& p) {
    p.ReceiveUntil("\r\n\r\n");
    p.Send(part + body);
    p.Pause(std::chrono::milliseconds(200));
    p.Reset();
  });
  bool succeeded = false;
  Client.OnSuccess = [&](CmdType) { succeeded = true; };
  try {
    Client.Get(Url(peer));
    FAIL() << "a reset was taken for the end of the body";
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "10054:Connection reset by peer");
  }
  EXPECT_FALSE(succeeded);
  EXPECT_TRUE(Client.Body == body) << Client.Body.size() << " bytes kept";
  EXPECT_FALSE(Client.Connected);
}

TEST_F(HostilePeer, CloseInTheMiddleOfAHeaderLineIsAFailure) {
  TLoopbackPeer peer([](TLoopbackPeer& p) {
    p.ReceiveUntil("\r\n\r\n");
    p.Send("HTTP/1.0 200 OK\r\nServer: x\r\nContent-Ty");
    p.Close();
  });
  bool success = false, failure = false;
  Client.OnSuccess = [&](CmdType) { success = true; };
  Client.OnFailure = [&](CmdType) { failure = true; };
  Client.Get(Url(peer));
  EXPECT_EQ(Client.ReplyNumber, 0);
  EXPECT_EQ(Client.Header, "HTTP/1.0 200 OK\r\nServer: x\r\n");
  EXPECT_EQ(Client.Body, "");
  EXPECT_FALSE(success);
  EXPECT_TRUE(failure);
}

TEST_F(HostilePeer, StatusNumbersOutsideTheirRangeOrNotNumbersAreFailures) {
  for (const char* status : {"HTTP/1.0 -5 Odd\r\n", "HTTP/1.0 abc Odd\r\n", "HTTP/1.0 99999999999999999999 Odd\r\n",
                             "HTTP/1.0 404x Odd\r\n"}) {
    SCOPED_TRACE(status);
    TLoopbackPeer peer([&](TLoopbackPeer& p) {
      p.ReceiveUntil("\r\n\r\n");
      p.Send(std::string(status) + "\r\nbody");
      p.Close();
    });
    bool success = false, failure = false;
    Client.OnSuccess = [&](CmdType) { success = true; };
    Client.OnFailure = [&](CmdType) { failure = true; };
    EXPECT_NO_THROW(Client.Get(Url(peer)));
    EXPECT_FALSE(success);
    EXPECT_TRUE(failure);
    EXPECT_EQ(Client.ReplyNumber, 0);
    EXPECT_EQ(Client.Body, "body");
  }
}

TEST_F(HostilePeer, DripFeedArrivesWholeWithoutTimeOut) {
  const std::string reply = "HTTP/1.0 200 OK\r\n\r\nslow";
  TLoopbackPeer peer([&](TLoopbackPeer& p) {
    p.ReceiveUntil("\r\n\r\n");
    for (char c : reply) {
      p.Send(std::string(1, c));
      p.Pause(std::chrono::milliseconds(100));
    }
    p.Close();
  });
  Client.Get(Url(peer));
  EXPECT_EQ(Client.ReplyNumber, 200);
  EXPECT_EQ(Client.Body, "slow");
}

TEST_F(HostilePeer, DripFeedOutlastsTheTimeOut) {
  TLoopbackPeer peer([](TLoopbackPeer& p) {
    p.ReceiveUntil("\r\n\r\n");
    for (char c : std::string("HTTP/1.0 200 OK\r\n\r\n")) {
      if (!p.Send(std::string(1, c))) break;
      p.Pause(std::chrono::milliseconds(100));
    }
  });
  Client.TimeOut = 500;
  try {
    Client.Get(Url(peer));
    FAIL();
  } catch (const EAbortError& e) {
    EXPECT_STREQ(e.what(), "Socket readln aborted");
  }
  EXPECT_TRUE(Client.TimedOut);
  EXPECT_FALSE(Client.Connected);
  EXPECT_FALSE(Client.TimeOutTimer->Running());
}

// A peer that answers with `reply` and then keeps the connection open.
TLoopbackPeer::TScript NeverCloses(std::string reply) {
  return [reply = std::move(reply)](TLoopbackPeer& p) {
    p.ReceiveUntil("\r\n\r\n");
    p.Send(reply);
    p.WaitForClose();
  };
}

void ExpectCaptureAborted(THttpClient& client, const TLoopbackPeer& peer) {
  try {
    client.Get(Url(peer));
    FAIL();
  } catch (const EAbortError& e) {
    EXPECT_STREQ(e.what(), "Socket capture aborted");
  }
}

TEST_F(HostilePeer, ServerThatNeverClosesEndsByTimeOutKeepingTheBody) {
  TLoopbackPeer peer(NeverCloses("HTTP/1.0 200 OK\r\n\r\nhello"));
  Client.TimeOut = 300;
  ExpectCaptureAborted(Client, peer);
  EXPECT_EQ(Client.Body, "hello");
  EXPECT_FALSE(Client.Connected);
}

TEST_F(HostilePeer, ServerThatNeverClosesEndsByCancelKeepingTheBody) {
  TLoopbackPeer peer(NeverCloses("HTTP/1.0 200 OK\r\n\r\nhello"));
  Client.OnPacketRecvd = [&](TComponent*) { Client.Abort(); };
  ExpectCaptureAborted(Client, peer);
  EXPECT_EQ(Client.Body, "hello");
  EXPECT_FALSE(Client.Connected);
  EXPECT_FALSE(Client.Canceled);
}

}  // namespace
