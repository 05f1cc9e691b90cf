// Construction, connection, close, cancel and status reporting.
#include "AsyncSocket.h"

#include "HiddenWindow.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <cstring>
#include <utility>

using namespace sock;

int TAsyncSocket::WinsockUsers = 0;

TAsyncSocket::TAsyncSocket(TComponent* AOwner) : TComponent(AOwner) {
  StatusMessage(8, "Create");
  SocketWindow = AllocateSocketWindow(this);
  TimeOutTimer = std::make_unique<TThreadTimer>(nullptr);
  TimeOutTimer->SetEnabled(false);
  TimeOutTimer->SetOnTimer([this](TComponent* Sender) { TimerTriggered(Sender); });
  try {
    InitWinsock();
  } catch (...) {
    DestroyWindow(SocketWindow);
    throw;
  }
}

TAsyncSocket::~TAsyncSocket() {
  *FAlive = false;
  MarkDestroying();
  StatusMessage(8, "Destroy");
  try {
    TAsyncSocket::Abort();
    Cancel();
  } catch (...) {
  }
  WithdrawLookup();
  TimeOutTimer.reset();
  Destroying = true;
  try {
    RequestCloseSocket();
  } catch (...) {
  }
  DestroyWindow(SocketWindow);
  if (--WinsockUsers == 0) Winsock().WSACleanup();
}

int TAsyncSocket::NewSocket(int protocol) {
  const int h = Winsock().Socket(AF_INET_, SOCK_STREAM_, protocol);
  if (h == INVALID_SOCKET) return -1;
  if (h >= 0xFFFF) {
    Winsock().CloseSocket(h);
    return -1;
  }
  return h;
}

bool TAsyncSocket::OpenSocket() {
  const int h = NewSocket(0);
  if (h < 0) return false;
  SocketHandle = static_cast<uint16_t>(h);
  Winsock().WSAAsyncSelect(h, SocketWindow, SOCKET_MESSAGE, SelectedEvents);
  return true;
}

void TAsyncSocket::InitWinsock() {
  StatusMessage(8, "Initializing Winsock");
  if (InState(TComponentState::Designing)) return;
  if (++WinsockUsers == 1) {
    Winsock().WSAStartup(0x0101, WinsockData);
    auto version = [](uint16_t v) { return std::to_string(v >> 8) + "." + std::to_string(v & 0xFF); };
    WinsockInfo.Add("Version= " + version(WinsockData.wVersion));
    WinsockInfo.Add("High Version= " + version(WinsockData.wHighVersion));
    WinsockInfo.Add(std::string("Description= ") + WinsockData.szDescription);
    WinsockInfo.Add(std::string("System= ") + WinsockData.szSystemStatus);
    WinsockInfo.Add("Max Sockets= " + std::to_string(WinsockData.iMaxSockets));
    WinsockInfo.Add("Max Udp pack size= " + std::to_string(WinsockData.iMaxUdpDg));
  }
  const int h = NewSocket(IPPROTO_TCP_);
  if (h >= 0) {
    SocketHandle = static_cast<uint16_t>(h);
    // The first socket resets its connection when closed, at once.
    Winsock().SetLinger(h, true, 0);
    Winsock().WSAAsyncSelect(h, SocketWindow, SOCKET_MESSAGE, SelectedEvents);
    return;
  }
  // Without a socket the component is of no use, whatever the error was.
  try {
    std::string text;
    CheckSocketError(WSAEWOULDBLOCK, text);
  } catch (const ESockError&) {
  }
  if (--WinsockUsers == 0) Winsock().WSACleanup();
  throw ESockError("Initializaton of windows sockets failed");
}

void TAsyncSocket::StatusMessage(uint8_t Level, const std::string& Text) {
  if (Level > ReportLevel) return;
  try {
    LastStatus = Text;
    if (!InState(TComponentState::Destroying)) RaiseEvent(OnStatus, this, LastStatus);
  } catch (const EComponentDestroyed&) {
    throw;
  } catch (...) {
    // A status report must never end the operation that made it.
  }
}

void TAsyncSocket::CheckSocketError(uint16_t Expected, std::string& Text) {
  const int error = Winsock().WSAGetLastError();
  LastErrorNo = error;
  if (error != Expected && error > 10000) {
    std::string text;
    LookupErrorMessage(static_cast<uint16_t>(error), text);
    RaiseEvent(OnSocketError, this, static_cast<uint16_t>(error), text);
    throw ESockError(text);
  }
  Text.clear();
}

void TAsyncSocket::LookupErrorMessage(uint16_t ErrorNo, std::string& Text) {
  StatusMessage(8, "Looking Up Error Message" + Text);
  Text.clear();
  if (ErrorNo == 0) return;
  for (const TErrorText& row : ErrorTexts)
    if (row.Number == ErrorNo) Text = std::to_string(ErrorNo) + ":" + std::string(row.Text);
  if (Text.empty()) Text = "Unknown Error No. " + std::to_string(ErrorNo);
}

void TAsyncSocket::WithdrawLookup() {
  if (FLookupTask != 0) Winsock().WSACancelAsyncRequest(FLookupTask);
  FLookupTask = 0;
}

void TAsyncSocket::ResolveHost() {
  StatusMessage(8, "Resolve Host");
  const std::string& name = Proxy.empty() ? Host : Proxy;
  const size_t length = std::min(name.size(), Buffer.size() - 1);
  std::memcpy(Buffer.data(), name.data(), length);
  Buffer[length] = '\0';
  RemoteAddr.sin_addr = Winsock().InetAddr(Buffer.data());
  if (RemoteAddr.sin_addr != INADDR_NONE) return;

  RemoteAddr.sin_addr = 0;
  {
    TTimeOutScope timer(*this);
    AsyncDone = false;
    WithdrawLookup();
    FLookupTask = Winsock().WSAAsyncGetHostByName(SocketWindow, LOOKUP_MESSAGE, Buffer.data(), FLookupBuffer.data(),
                                                  static_cast<int>(FLookupBuffer.size()));
    if (FLookupTask == 0) throw ESockError("Host Lookup Failed");
    do WaitPass([this] { return AsyncDone || TimedOut || Canceled; });
    while (!AsyncDone && !TimedOut && !Canceled);
  }
  // A lookup given up on must not answer into a later one.
  WithdrawLookup();
  if (TimedOut) throw ESockError("Host Lookup Timed Out");
  if (Canceled) throw ESockError("Host Lookup Canceled");
  if (!EventOK) throw ESockError("Host Lookup Failed");
  TLookupEntry entry;
  std::memcpy(&entry, FLookupBuffer.data(), sizeof entry);
  if (entry.Count == 0) throw ESockError("Host Lookup Failed");
  RemoteAddr.sin_addr = entry.Addr[0];
  RaiseEvent(OnHostResolved, this);
}

void TAsyncSocket::Connect() {
  StatusMessage(8, "Connecting");
  Canceled = false;
  if (Connected) throw ESockError("Already connected");
  FFresh = false;
  if (SocketHandle == 0xFFFF && !OpenSocket()) {
    std::string text;
    CheckSocketError(WSAEWOULDBLOCK, text);
    throw ERangeError();
  }
  for (int attempts = 0;; ++attempts) {
    try {
      ResolveHost();
    } catch (const EComponentDestroyed&) {
      throw;
    } catch (const ESockError& e) {
      if (e.Message == "Host Lookup Timed Out" || e.Message == "Host Lookup Canceled") throw;
    }
    if (RemoteAddr.sin_addr != 0) break;
    if (attempts > 0 || !OnInvalidHost) throw ESockError("Null Remote Address");
    bool handled = false;
    RaiseEvent(OnInvalidHost, handled);
    if (!handled) throw ESockError("Null Remote Address");
  }
  const int32_t port = Proxy.empty() ? Port : ProxyPort;
  if (port < 0 || port > 0xFFFF) throw ERangeError();
  RemoteAddr.sin_family = AF_INET_;
  RemoteAddr.sin_port = Winsock().Htons(static_cast<uint16_t>(port));
  AsyncDone = false;
  EventOK = true;
  if (Winsock().Connect(SocketHandle, RemoteAddr) == SOCKET_ERROR) {
    std::string text;
    CheckSocketError(WSAEWOULDBLOCK, text);
  }
  {
    TTimeOutScope timer(*this);
    auto done = [this] { return Connected || TimedOut || Canceled || !EventOK; };
    do WaitPass(done);
    while (!done());
  }
  if (!TimedOut && !Canceled && EventOK) return;
  const char* failure = TimedOut ? "Connection Timed out" : Canceled ? "Connection Canceled" : "Connection Failed";
  RaiseEvent(OnConnectionFailed, this);
  throw ESockError(failure);
}

void TAsyncSocket::RequestCloseSocket() {
  StatusMessage(4, "Request Close Socket");
  Connected = false;
  if (SocketHandle == 0xFFFF) return;
  const bool closed = Winsock().CloseSocket(SocketHandle) != SOCKET_ERROR;
  // Whether or not the close succeeded, the handle is spent: a fresh socket
  // is made before anything else can run, so that a throwing handler or a
  // failed close never leaves the component without one.
  SocketHandle = 0xFFFF;
  FReceived.Clear();
  // The fresh socket's own close, should nothing use it first, ends no
  // connection: the one that ended was already reported.
  const bool reported = std::exchange(FFresh, true);
  // A socket that cannot be made now is made again by the next Connect.
  if (!Destroying) OpenSocket();
  if (!closed) {
    std::string text;
    CheckSocketError(WSAEWOULDBLOCK, text);
    return;
  }
  if (!reported && !InState(TComponentState::Destroying)) RaiseEvent(OnDisconnect, this);
}

void TAsyncSocket::Disconnect() {
  StatusMessage(8, "Disconnecting");
  RequestCloseSocket();
}

void TAsyncSocket::Cancel() {
  StatusMessage(8, "Canceling");
  Canceled = true;
  WakeUp();
}

void TAsyncSocket::Abort() {
  StatusMessage(8, "Abort");
  Cancel();
}

bool TAsyncSocket::DataAvailable() {
  StatusMessage(8, "Data Available");
  return FReceived.Size() > 0 || Winsock().Recv(SocketHandle, Buffer.data(), 1, MSG_PEEK_) >= 1;
}

void TAsyncSocket::WakeUp() {
  if (auto* dispatcher = QAbstractEventDispatcher::instance()) dispatcher->wakeUp();
}

void TAsyncSocket::WaitPass(const std::function<bool()>& done) {
  // Sleeping until the next event, rather than polling, keeps a long wait
  // off the processor; every event that can end a wait wakes it.
  const std::shared_ptr<const bool> alive = FAlive;
  QCoreApplication::processEvents(done() ? QEventLoop::AllEvents
                                         : QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  if (!*alive) throw EComponentDestroyed();
}

void TAsyncSocket::ProcessMessages(bool idle) {
  const std::shared_ptr<const bool> alive = FAlive;
  QCoreApplication::processEvents(idle && !Canceled ? QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents
                                                    : QEventLoop::AllEvents);
  if (!*alive) throw EComponentDestroyed();
}
