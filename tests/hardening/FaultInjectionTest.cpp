// Each socket call of a transaction made to fail in turn, with each error it
// can really return, against a real nginx. Whatever fails, the exception is
// the documented one, the connection is closed, the time-out is off, nothing
// of the failed connection arrives later, and the next request works.
#include "FaultWinsock.h"
#include "HttpClient.h"
#include "NginxServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

using TCall = TFaultWinsock::TCall;

const std::string Page = "<html><body>" + std::string(3000, 'p') + "</body></html>";

struct FaultCase {
  const char* name;
  TCall call;
  int error;  // for Recv, 0 is a receive of 0 bytes: the peer has closed
  int after;  // calls that go through first
  const char* message;  // nullptr: the request ends normally
  int reply;            // ReplyNumber after a normal end
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class FaultInjection : public ::testing::TestWithParam<FaultCase> {
protected:
  static void SetUpTestSuite() {
    Nginx = new NginxServer;
    Nginx->Dir().WriteFile("www/page.html", Page);
    std::string error;
    ASSERT_TRUE(Nginx->Start("", &error)) << error;
  }
  static void TearDownTestSuite() {
    delete Nginx;
    Nginx = nullptr;
  }

  void SetUp() override {
    Client = std::make_unique<THttpClient>(nullptr);
    Client->OutputFileMode = false;
    // A safety net only: no case below should need it.
    Client->TimeOut = 10000;
    // The reply comes in many receives, so that a later receive's failure
    // falls inside it however the bytes are timed.
    Faults.Api.RecvLimit = 256;
    Client->OnConnect = [this](TComponent*) { ++Events; };
    Client->OnDisconnect = [this](TComponent*) { ++Events; };
  }
  void TearDown() override { Client.reset(); }

  // Runs the event loop for a while so that anything still queued arrives.
  static void Settle() {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 100) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }

  static NginxServer* Nginx;
  TFaultScope Faults;
  std::unique_ptr<THttpClient> Client;
  int Events = 0;
};
NginxServer* FaultInjection::Nginx = nullptr;

TEST_P(FaultInjection, EndsAsDocumentedAndTheNextRequestWorks) {
  const FaultCase& c = GetParam();
  Faults.Api.Fail(c.call, c.error, c.after);
  std::string message;
  try {
    Client->Get(Nginx->Url("/page.html"));
  } catch (const std::exception& e) {
    message = e.what();
  }
  EXPECT_EQ(message, c.message ? c.message : "");
  if (!c.message) {
    EXPECT_EQ(Client->ReplyNumber, c.reply);
  }
  EXPECT_FALSE(Client->Connected);
  EXPECT_FALSE(Client->TimeOutTimer->Running());

  Settle();
  Events = 0;
  Client->Get(Nginx->Url("/page.html"));
  EXPECT_EQ(Client->ReplyNumber, 200);
  EXPECT_TRUE(Client->Body == Page);
  EXPECT_EQ(Events, 2) << "one connect and one disconnect, nothing left over from the failed request";
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FaultInjection,
    ::testing::Values(
        FaultCase{"connect_refused", TCall::Connect, sock::WSAECONNREFUSED, 0, "10061:Connection refused", 0},
        FaultCase{"connect_unreachable", TCall::Connect, sock::WSAENETUNREACH, 0, "10051:Network is unreachable", 0},
        FaultCase{"connect_timed_out", TCall::Connect, sock::WSAETIMEDOUT, 0, "10060:Connection timed out", 0},
        FaultCase{"connect_in_use", TCall::Connect, sock::WSAEADDRINUSE, 0, "10048:Address already in use", 0},
        FaultCase{"send_header_reset", TCall::Send, sock::WSAECONNRESET, 0, "10054:Connection reset by peer", 0},
        FaultCase{"send_aborted", TCall::Send, sock::WSAECONNABORTED, 0,
                  "10053:Software caused connection abort", 0},
        FaultCase{"send_not_connected", TCall::Send, sock::WSAENOTCONN, 0, "10057:Socket is not connected", 0},
        FaultCase{"send_would_block", TCall::Send, sock::WSAEWOULDBLOCK, 0, nullptr, 200},
        FaultCase{"send_no_buffers", TCall::Send, sock::WSAENOBUFS, 0, "10055:No buffer space available", 0},
        FaultCase{"recv_status_reset", TCall::Recv, sock::WSAECONNRESET, 0, "10054:Connection reset by peer", 0},
        FaultCase{"recv_status_timed_out", TCall::Recv, sock::WSAETIMEDOUT, 0, "10060:Connection timed out", 0},
        FaultCase{"recv_status_would_block", TCall::Recv, sock::WSAEWOULDBLOCK, 0, nullptr, 200},
        FaultCase{"recv_status_interrupted", TCall::Recv, sock::WSAEINTR, 0, "10004:Interrupted system call", 0},
        FaultCase{"recv_status_not_connected", TCall::Recv, sock::WSAENOTCONN, 0, nullptr, 0},
        FaultCase{"recv_status_closed", TCall::Recv, 0, 0, nullptr, 0},
        FaultCase{"recv_later_reset", TCall::Recv, sock::WSAECONNRESET, 3, "10054:Connection reset by peer", 0},
        FaultCase{"recv_later_would_block", TCall::Recv, sock::WSAEWOULDBLOCK, 5, nullptr, 200},
        FaultCase{"close_interrupted", TCall::CloseSocket, sock::WSAEINTR, 0, "10004:Interrupted system call", 0},
        FaultCase{"close_bad_handle", TCall::CloseSocket, sock::WSAEBADF, 0, "10009:Bad file number", 0},
        FaultCase{"fresh_socket_refused", TCall::Socket, sock::WSAEMFILE, 0, nullptr, 200}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(FaultInjection, SocketThatCannotBeMadeTwiceFailsTheNextConnectOnly) {
  Faults.Api.Fail(TCall::Socket, sock::WSAEMFILE, 0, 2);
  Client->Get(Nginx->Url("/page.html"));  // its fresh socket after closing fails quietly
  try {
    Client->Get(Nginx->Url("/page.html"));
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "10024:Too many open files");
  }
  Client->Get(Nginx->Url("/page.html"));
  EXPECT_TRUE(Client->Body == Page);
}

TEST_F(FaultInjection, LookupThatCannotStartOrFindsNothing) {
  for (const int error : {0, int{sock::WSAHOST_NOT_FOUND}, int{sock::WSATRY_AGAIN}, int{sock::WSANO_DATA}}) {
    SCOPED_TRACE(error);
    if (error == 0) Faults.Api.Fail(TCall::Lookup, sock::WSAENOBUFS);
    Faults.Api.LookupError = error;
    try {
      Client->Get("http://localhost:" + std::to_string(Nginx->Port()) + "/page.html");
      FAIL();
    } catch (const ESockError& e) {
      EXPECT_STREQ(e.what(), "Null Remote Address");
    }
    EXPECT_FALSE(Client->TimeOutTimer->Running());
    Faults.Api.LookupError = 0;
    Client->Get("http://localhost:" + std::to_string(Nginx->Port()) + "/page.html");
    EXPECT_TRUE(Client->Body == Page);
  }
}

TEST_F(FaultInjection, PartialSendsDeliverTheWholeRequest) {
  Faults.Api.SendLimit = 3;
  Client->Get(Nginx->Url("/page.html"));
  EXPECT_EQ(Client->ReplyNumber, 200);
  EXPECT_GT(Faults.Api.Calls[TCall::Send], 50);
}

}  // namespace
