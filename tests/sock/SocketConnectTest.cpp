// Connecting, closing, cancelling and timing out against real loopback sockets.
#include "FaultWinsock.h"
#include "HiddenWindow.h"
#include "SocketFixture.h"

#include <arpa/inet.h>

namespace {

TEST_F(SocketTest, NewComponentStartsQuiet) {
  EXPECT_EQ(Socket->ReportLevel, 1);
  EXPECT_EQ(Socket->TimeOut, 0);
  EXPECT_FALSE(Socket->Connected);
  EXPECT_NE(Socket->SocketHandle, 0xFFFF);
  EXPECT_FALSE(Socket->TimeOutTimer->Running());
}

TEST_F(SocketTest, ConnectsToDottedAddressWithoutLookup) {
  TLoopbackPeer peer([](TLoopbackPeer& p) { p.WaitForClose(); });
  Socket->ReportLevel = 8;
  ConnectTo(peer.Port());
  EXPECT_TRUE(Socket->Connected);
  EXPECT_EQ(Log, (std::vector<std::string>{"connect"}));
  EXPECT_NE(std::find(Statuses.begin(), Statuses.end(), "Resolve Host"), Statuses.end());
  Socket->Disconnect();
  EXPECT_FALSE(Socket->Connected);
  EXPECT_EQ(Log, (std::vector<std::string>{"connect", "disconnect"}));
}

TEST_F(SocketTest, ConnectsToNameAfterLookup) {
  TLoopbackPeer peer([](TLoopbackPeer& p) { p.WaitForClose(); });
  ConnectTo(peer.Port(), "localhost");
  EXPECT_EQ(Log, (std::vector<std::string>{"resolved", "connect"}));
  EXPECT_EQ(Socket->RemoteAddr.sin_addr, sock::Winsock().InetAddr("127.0.0.1"));
  Socket->Disconnect();
}

TEST_F(SocketTest, ReconnectsOnFreshSocketAfterClose) {
  for (int i = 0; i < 3; ++i) {
    TLoopbackPeer peer([](TLoopbackPeer& p) { p.Send("x"); p.WaitForClose(); });
    ConnectTo(peer.Port());
    std::string text;
    Socket->CaptureString(text, 1);
    EXPECT_EQ(text, "x");
    Socket->Disconnect();
  }
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "connect"), 3);
}

TEST_F(SocketTest, RefusedConnectionFailsAfterItsEvent) {
  try {
    ConnectTo(ClosedPort());
    FAIL() << "connected to a closed port";
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Connection Failed");
  }
  EXPECT_EQ(Log, (std::vector<std::string>{"failed"}));
  EXPECT_FALSE(Socket->Connected);
  EXPECT_FALSE(Socket->TimeOutTimer->Running());
}

TEST_F(SocketTest, AlreadyConnectedIsRefused) {
  TLoopbackPeer peer([](TLoopbackPeer& p) { p.WaitForClose(); });
  ConnectTo(peer.Port());
  Socket->Canceled = true;
  EXPECT_THROW(
      try { Socket->Connect(); } catch (const ESockError& e) {
        EXPECT_STREQ(e.what(), "Already connected");
        throw;
      },
      ESockError);
  EXPECT_FALSE(Socket->Canceled);
  EXPECT_TRUE(Socket->Connected);
  Socket->Disconnect();
}

TEST_F(SocketTest, EmptyAddressAsksOnInvalidHostOnce) {
  TLoopbackPeer peer([](TLoopbackPeer& p) { p.WaitForClose(); });
  int asked = 0;
  Socket->OnInvalidHost = [&](bool& handled) {
    ++asked;
    Socket->Host = "127.0.0.1";
    handled = true;
  };
  ConnectTo(peer.Port(), "0.0.0.0");
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(Socket->Connected);
  Socket->Disconnect();
}

TEST_F(SocketTest, NullRemoteAddressWhenNothingFixesIt) {
  struct Row {
    const char* name;
    bool handler;
    bool handles;
    int asked;
  };
  for (const Row& row : {Row{"no handler", false, false, 0}, Row{"handler declines", true, false, 1},
                         Row{"handler handles but changes nothing", true, true, 1}}) {
    SCOPED_TRACE(row.name);
    int asked = 0;
    Socket->OnInvalidHost = nullptr;
    if (row.handler)
      Socket->OnInvalidHost = [&](bool& handled) {
        ++asked;
        handled = row.handles;
      };
    try {
      ConnectTo(80, "");
      FAIL();
    } catch (const ESockError& e) {
      EXPECT_STREQ(e.what(), "Null Remote Address");
    }
    EXPECT_EQ(asked, row.asked);
  }
}

TEST_F(SocketTest, LookupOfUnknownNameEndsAsNullAddress) {
  TFaultScope faults;
  faults.Api.LookupError = sock::WSAHOST_NOT_FOUND;
  auto socket = std::make_unique<TAsyncSocket>(nullptr);
  socket->OnHostResolved = [this](TComponent*) { Log.push_back("resolved"); };
  socket->Host = "unknown-name";
  socket->Port = 80;
  try {
    socket->Connect();
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Null Remote Address");
  }
  EXPECT_FALSE(Logged("resolved"));
}

TEST_F(SocketTest, ProxyIsConnectedInsteadOfHost) {
  TLoopbackPeer proxy([](TLoopbackPeer& p) { p.WaitForClose(); });
  Socket->Host = "never-looked-up";
  Socket->Port = ClosedPort();
  Socket->Proxy = "127.0.0.1";
  Socket->ProxyPort = proxy.Port();
  Socket->Connect();
  EXPECT_TRUE(Socket->Connected);
  Socket->Disconnect();
}

TEST_F(SocketTest, ConnectTimesOutWhenTheEventNeverComes) {
  TFaultScope faults;
  faults.Api.HoldConnect = true;
  auto socket = std::make_unique<TAsyncSocket>(nullptr);
  bool failed = false;
  socket->OnConnectionFailed = [&](TComponent*) { failed = true; };
  socket->Host = "127.0.0.1";
  socket->Port = 80;
  socket->TimeOut = 100;
  try {
    socket->Connect();
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Connection Timed out");
  }
  EXPECT_TRUE(failed);
  EXPECT_TRUE(socket->TimedOut);
  EXPECT_TRUE(socket->Canceled);
  EXPECT_FALSE(socket->TimeOutTimer->Running());
}

TEST_F(SocketTest, LookupTimeOutWithdrawsTheLookup) {
  TFaultScope faults;
  faults.Api.HoldLookup = true;
  auto socket = std::make_unique<TAsyncSocket>(nullptr);
  socket->Host = "localhost";
  socket->Port = 80;
  socket->TimeOut = 50;
  try {
    socket->Connect();
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Host Lookup Timed Out");
  }
  EXPECT_EQ(faults.Api.WithdrawnLookups, faults.Api.HeldLookups);
  EXPECT_FALSE(socket->TimeOutTimer->Running());
}

TEST_F(SocketTest, WithdrawnLookupNeverAnswers) {
  sock::TPosixWinsock api;
  int answers = 0;
  sock::THiddenWindow* window = sock::CreateHiddenWindow(
      {"TestLookupWindowClass", [](sock::THiddenWindow* w, unsigned, uintptr_t, intptr_t) -> intptr_t {
         ++*static_cast<int*>(w->OwnerSlot());
         return 0;
       }},
      &answers);
  char buffer[1024] = {'u', 'n', 't', 'o', 'u', 'c', 'h', 'e', 'd'};
  const sock::TAsyncHandle withdrawn = api.WSAAsyncGetHostByName(window, sock::LOOKUP_MESSAGE, "localhost", buffer, 1024);
  ASSERT_NE(withdrawn, 0u);
  EXPECT_EQ(api.WSACancelAsyncRequest(withdrawn), 0);
  char other[1024] = {};
  api.WSAAsyncGetHostByName(window, sock::LOOKUP_MESSAGE, "localhost", other, 1024);
  ASSERT_TRUE(RunUntil([&] { return answers == 1; }));
  RunUntil([&] { return answers > 1; }, 300);
  EXPECT_EQ(answers, 1);
  EXPECT_EQ(std::string(buffer, 9), "untouched");
  sock::DestroyWindow(window);
}

TEST_F(SocketTest, CancelFromHandlerEndsTheLookup) {
  Socket->OnStatus = [this](TComponent*, const std::string& s) {
    if (s == "Timer On") Socket->Cancel();
  };
  Socket->ReportLevel = 8;
  try {
    ConnectTo(80, "localhost");
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Host Lookup Canceled");
  }
}

TEST_F(SocketTest, PeerCloseWithNothingWaitingClosesAndFreshSocketFollows) {
  TLoopbackPeer peer([](TLoopbackPeer& p) { p.Close(); });
  ConnectTo(peer.Port());
  ASSERT_TRUE(RunUntil([&] { return Logged("disconnect"); }));
  EXPECT_FALSE(Socket->Connected);
  EXPECT_NE(Socket->SocketHandle, 0xFFFF);
}

TEST_F(SocketTest, PeerCloseWithBytesWaitingDoesNotDisconnectEarly) {
  TLoopbackPeer peer([](TLoopbackPeer& p) {
    p.Send("last words");
    p.Close();
  });
  ConnectTo(peer.Port());
  peer.Join();
  RunUntil([&] { return Logged("disconnect"); }, 300);
  EXPECT_FALSE(Logged("disconnect"));
  EXPECT_TRUE(Socket->Connected);
  std::string text;
  Socket->CaptureString(text, -1);
  EXPECT_EQ(text, "last words");
}

TEST_F(SocketTest, StatusLevelsFilterTexts) {
  struct Row {
    int level;
    bool connecting;
    bool requestClose;
  };
  for (const Row& row : {Row{-1, false, false}, Row{0, false, false}, Row{1, false, false}, Row{4, false, true},
                         Row{8, true, true}}) {
    SCOPED_TRACE(row.level);
    TLoopbackPeer peer([](TLoopbackPeer& p) { p.WaitForClose(); });
    Statuses.clear();
    Socket->LastStatus = "untouched";
    Socket->ReportLevel = row.level;
    ConnectTo(peer.Port());
    Socket->Disconnect();
    auto has = [&](const char* s) { return std::find(Statuses.begin(), Statuses.end(), s) != Statuses.end(); };
    EXPECT_EQ(has("Connecting"), row.connecting);
    EXPECT_EQ(has("Request Close Socket"), row.requestClose);
    if (Statuses.empty()) {
      EXPECT_EQ(Socket->LastStatus, "untouched");
    }
  }
}

TEST_F(SocketTest, ThrowingStatusHandlerIsSwallowed) {
  TLoopbackPeer peer([](TLoopbackPeer& p) { p.WaitForClose(); });
  Socket->ReportLevel = 8;
  Socket->OnStatus = [](TComponent*, const std::string&) { throw Exception("boom"); };
  EXPECT_NO_THROW(ConnectTo(peer.Port()));
  EXPECT_EQ(Socket->LastStatus, "Timer Off");
  Socket->Disconnect();
}

TEST_F(SocketTest, ComponentsShareOneStartUp) {
  const int users = TAsyncSocket::WinsockUsers;
  EXPECT_EQ(Socket->WinsockInfo.Count(), users == 1 ? 6 : 0);
  {
    TAsyncSocket second(nullptr);
    EXPECT_EQ(TAsyncSocket::WinsockUsers, users + 1);
    EXPECT_EQ(second.WinsockInfo.Count(), 0);
    EXPECT_NE(second.SocketWindow, Socket->SocketWindow);
  }
  EXPECT_EQ(TAsyncSocket::WinsockUsers, users);
  if (users == 1) {
    EXPECT_EQ(Socket->WinsockInfo[0], "Version= 1.1");
  }
}

TEST_F(SocketTest, FailedStartUpLeavesCountAsItWas) {
  const int users = TAsyncSocket::WinsockUsers;
  TFaultScope faults;
  faults.Api.Fail(TFaultWinsock::TCall::Socket, sock::WSAEMFILE);
  try {
    TAsyncSocket broken(nullptr);
    FAIL();
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Initializaton of windows sockets failed");
  }
  EXPECT_EQ(TAsyncSocket::WinsockUsers, users);
}

TEST_F(SocketTest, MessagesReachOnlyTheirOwnerAndUnknownOnesDoNothing) {
  TAsyncSocket other(nullptr);
  bool otherRead = false, read = false;
  other.OnDataAvailable = [&](TComponent*) { otherRead = true; };
  Socket->OnDataAvailable = [&](TComponent*) { read = true; };
  Socket->SocketWindow->PostMessage(sock::SOCKET_MESSAGE, 0, sock::FD_READ);
  Socket->SocketWindow->PostMessage(sock::WM_USER + 200, 0, 0x10000);
  ASSERT_TRUE(RunUntil([&] { return read; }));
  EXPECT_FALSE(otherRead);
  RunUntil([&] { return !Socket->EventOK; }, 1000);
  EXPECT_FALSE(Socket->EventOK) << "every message at or above 1125 rewrites EventOK";
  EXPECT_FALSE(Socket->Connected);
}

TEST_F(SocketTest, FailedConnectEventChangesOnlyEventOK) {
  TMessage m{sock::SOCKET_MESSAGE, Socket->SocketHandle, (sock::WSAECONNREFUSED << 16) | sock::FD_CONNECT, 0};
  Socket->HandleSocketMessage(m);
  EXPECT_FALSE(Socket->EventOK);
  EXPECT_FALSE(Socket->Connected);
  EXPECT_TRUE(Log.empty());
}

TEST_F(SocketTest, CloseEventWithAnErrorWhileIdleCloses) {
  TLoopbackPeer peer([](TLoopbackPeer& p) { p.WaitForClose(); });
  ConnectTo(peer.Port());
  TMessage m{sock::SOCKET_MESSAGE, Socket->SocketHandle, (sock::WSAECONNRESET << 16) | sock::FD_CLOSE, 0};
  Socket->HandleSocketMessage(m);
  EXPECT_FALSE(Socket->Connected);
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "disconnect"), 1);
}

TEST_F(SocketTest, ResetWhileIdleClosesAndTheNextConnectWorks) {
  TLoopbackPeer first([](TLoopbackPeer& p) {
    p.ReceiveUntil("go");
    p.Reset();
  });
  ConnectTo(first.Port());
  Socket->Write("go");
  first.Join();
  ASSERT_TRUE(RunUntil([&] { return Logged("disconnect"); }));
  EXPECT_FALSE(Socket->Connected);
  TLoopbackPeer second([](TLoopbackPeer& p) { p.Send("x"); p.WaitForClose(); });
  ConnectTo(second.Port());
  std::string text;
  Socket->CaptureString(text, 1);
  EXPECT_EQ(text, "x");
  Socket->Disconnect();
  EXPECT_EQ(std::count(Log.begin(), Log.end(), "disconnect"), 2);
}

TEST_F(SocketTest, CloseEventWithAnErrorDuringAReceiveLeavesTheErrorToIt) {
  TLoopbackPeer peer([](TLoopbackPeer& p) { p.WaitForClose(); });
  ConnectTo(peer.Port());
  Socket->ReportLevel = 8;
  bool delivered = false;
  Socket->OnStatus = [&](TComponent*, const std::string& s) {
    if (s != "Timer On" || delivered) return;
    delivered = true;
    TMessage m{sock::SOCKET_MESSAGE, Socket->SocketHandle, (sock::WSAECONNRESET << 16) | sock::FD_CLOSE, 0};
    Socket->HandleSocketMessage(m);
    Socket->Cancel();
  };
  std::string text;
  EXPECT_THROW(Socket->CaptureString(text, -1), EAbortError);
  EXPECT_TRUE(delivered);
  EXPECT_TRUE(Socket->Connected);
  EXPECT_FALSE(Logged("disconnect"));
  Socket->Disconnect();
}

TEST_F(SocketTest, LocalAddressIsTheFirstUsableInterface) {
  const auto addr = [](const char* text) { return sock::Winsock().InetAddr(text); };
  const auto v6 = [](const char* text, bool up, bool loopback) {
    sock::TInterfaceAddress a{0, up, loopback, true};
    inet_pton(AF_INET6, text, a.Addr6.data());
    return a;
  };
  struct Case {
    const char* name;
    std::vector<sock::TInterfaceAddress> interfaces;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"loopback first, then two adapters",
       {{addr("127.0.0.1"), true, true}, {addr("192.0.2.7"), true, false}, {addr("198.51.100.1"), true, false}},
       "192.0.2.7"},
      {"an adapter that is down is passed over",
       {{addr("192.0.2.7"), false, false}, {addr("198.51.100.1"), true, false}}, "198.51.100.1"},
      {"a loopback-range address on an adapter is passed over",
       {{addr("127.0.1.1"), true, false}, {addr("10.1.2.3"), true, false}}, "10.1.2.3"},
      {"only loopback", {{addr("127.0.0.1"), true, true}}, "127.0.0.1"},
      {"every adapter down", {{addr("127.0.0.1"), true, true}, {addr("192.0.2.7"), false, false}}, "127.0.0.1"},
      {"no interfaces at all", {}, "127.0.0.1"},
      // A machine on IPv6 alone is not offline; IPv4 comes first where there is both.
      {"IPv6 only", {{addr("127.0.0.1"), true, true}, v6("::1", true, true), v6("2001:db8::7", true, false)}, "2001:db8::7"},
      {"IPv4 before IPv6", {v6("2001:db8::7", true, false), {addr("192.0.2.7"), true, false}}, "192.0.2.7"},
      {"link-local IPv6 is no network",
       {{addr("127.0.0.1"), true, true}, v6("fe80::1", true, false), v6("2001:db8::7", false, false)}, "127.0.0.1"},
  };
  TFaultScope faults;
  for (const Case& c : cases) {
    faults.Api.Interfaces = c.interfaces;
    std::string address = "unset";
    Socket->GetLocalAddress(address);
    EXPECT_EQ(address, c.expected) << c.name;
  }
  faults.Api.Fail(TFaultWinsock::TCall::Interfaces, sock::WSAENOBUFS);
  std::string address;
  Socket->GetLocalAddress(address);
  EXPECT_EQ(address, "0.0.0.0");
}

// The same answer as the system's own tool gives for this machine: the first
// IPv4 address of an interface that is up, loopback left out; else its first
// IPv6 address beyond its own link.
TEST_F(SocketTest, LocalAddressOfThisMachine) {
  std::string expected = "127.0.0.1";
  for (const char* command : {"ip -4 -o addr show up 2>/dev/null", "ip -6 -o addr show up scope global 2>/dev/null"}) {
    FILE* listing = popen(command, "r");
    ASSERT_NE(listing, nullptr);
    char line[512];
    for (int lines = 0; lines < 1000 && fgets(line, sizeof line, listing); ++lines) {
      const std::string text = line;
      const size_t at = text.find(text.find(" inet6 ") != std::string::npos ? " inet6 " : " inet ");
      if (at == std::string::npos || expected != "127.0.0.1") continue;
      const size_t start = text.find(' ', at + 1) + 1;
      const std::string address = text.substr(start, text.find('/', start) - start);
      if (!address.starts_with("127.")) expected = address;
    }
    ASSERT_EQ(pclose(listing), 0) << "the ip tool is missing";
  }
  std::string address;
  Socket->GetLocalAddress(address);
  EXPECT_EQ(address, expected);
}

}  // namespace
