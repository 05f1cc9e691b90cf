#pragma once
// TAsyncSocket: one TCP stream socket driven with calls that look blocking.
// Underneath, the socket is non-blocking and reports its events to a hidden
// window; every operation that has to wait keeps the application's event loop
// running until its flag is set, the time-out fires or the owner cancels. So
// the owner's handlers, user input included, run nested inside the operation:
// after every wait the state is looked at again before the socket is touched.

#include "ReceiveBuffer.h"
#include "SockErrors.h"
#include "ThreadTimer.h"
#include "Toolkit.h"
#include "WinsockApi.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace sock {
class THiddenWindow;
}

using TOnHostResolved = std::function<void(TComponent* Sender)>;
using TOnStatus = std::function<void(TComponent* Sender, const std::string& Status)>;
using THandlerEvent = std::function<void(bool& Handled)>;
using TSocketErrorEvent = std::function<void(TComponent* Sender, uint16_t ErrorNo, const std::string& Text)>;

// The message record a hidden window hands to its owner.
struct TMessage {
  uint32_t Msg;
  uintptr_t WParam;
  intptr_t LParam;
  intptr_t Result;
};

class TAsyncSocket : public TComponent {
public:
  // Fails with ESockError "Initializaton of windows sockets failed".
  explicit TAsyncSocket(TComponent* AOwner);
  ~TAsyncSocket() override;

  // Lifecycle.
  virtual void Connect();
  virtual void Disconnect();
  virtual void Abort();
  void Cancel();
  void RequestCloseSocket();
  bool DataAvailable();

  // Transfers. Each expects a connected socket; Accept a listening one.
  void SendBuffer(const char* Data, uint16_t Length);
  void Write(const std::string& Text);
  void Writeln(const std::string& Text);
  std::string ReadLn();
  virtual std::string Transaction(const std::string& Data);
  void SendFile(const std::string& FileName);
  void CaptureFile(const std::string& FileName);
  void CaptureString(std::string& Text, int32_t Size);
  virtual uint16_t Accept();
  // Binds the component's socket to the loopback address and listens on it,
  // so that Accept has something to wait on. Port 0 picks a free one; the
  // port in use is returned.
  uint16_t Listen(uint16_t LocalPort);

  // Status and errors.
  void StatusMessage(uint8_t Level, const std::string& Text);
  void CheckSocketError(uint16_t Expected, std::string& Text);
  void LookupErrorMessage(uint16_t ErrorNo, std::string& Text);

  // Time-out.
  void TimerOn();
  void TimerOff();
  void TimerTriggered(TComponent* Sender);

  void GetLocalAddress(std::string& Address);
  void HandleSocketMessage(TMessage& Message);

  // Published properties.
  std::string Host;
  int32_t Port = 0;
  int32_t TimeOut = 0;
  int32_t ReportLevel = 1;
  TNotifyEvent OnDisconnect;
  TNotifyEvent OnConnect;
  THandlerEvent OnInvalidHost;
  TOnHostResolved OnHostResolved;
  TOnStatus OnStatus;
  TNotifyEvent OnConnectionFailed;
  // Published by descendants.
  std::string Proxy;
  int32_t ProxyPort = 0;
  TNotifyEvent OnPacketRecvd;
  TNotifyEvent OnPacketSent;

  // Public state.
  TNotifyEvent OnDataAvailable;
  TNotifyEvent OnAccept;
  TSocketErrorEvent OnSocketError;
  TStringList WinsockInfo;
  int32_t BytesSent = 0;
  int32_t BytesRecvd = 0;
  bool Canceled = false;
  bool Destroying = false;
  int32_t LastErrorNo = 0;
  std::string LastStatus;
  std::unique_ptr<TThreadTimer> TimeOutTimer;
  bool EventOK = false;
  bool TimedOut = false;
  bool AsyncDone = false;
  sock::TSockAddrIn RemoteAddr;
  std::string LastReply;
  int16_t ReplyNumber = 0;
  uint16_t SocketHandle = 0xFFFF;
  sock::THiddenWindow* SocketWindow = nullptr;
  bool Connected = false;
  // ReadLn refuses a line longer than this with ESockError "Line too long",
  // so a peer that never sends a line end cannot exhaust memory.
  size_t MaxLineLength = 1 << 20;

  static constexpr int BufferSize = 65537;
  std::array<char, BufferSize> Buffer{};

  // The number of live components that started Winsock.
  static int WinsockUsers;
  sock::TWSAData WinsockData;

protected:
  // Calls an event handler. A handler may destroy this component: the call
  // runs on a copy of the handler, and when the component is gone afterwards
  // EComponentDestroyed is raised (in place of anything the handler raised),
  // so that the operation unwinds without touching the component again.
  template <class Handler, class... Args>
  void RaiseEvent(const Handler& handler, Args&&... args) {
    if (!handler) return;
    const Handler call = handler;
    const std::shared_ptr<const bool> alive = FAlive;
    try {
      call(std::forward<Args>(args)...);
    } catch (...) {
      if (!*alive) throw EComponentDestroyed();
      throw;
    }
    if (!*alive) throw EComponentDestroyed();
  }

  // Marks an operation as under way and bounds it with the time-out: turns
  // the time-out on, and off when the operation ends, however it ends, unless
  // the component is gone by then.
  class TTimeOutScope {
  public:
    explicit TTimeOutScope(TAsyncSocket& s);
    ~TTimeOutScope();
    TTimeOutScope(const TTimeOutScope&) = delete;
    TTimeOutScope& operator=(const TTimeOutScope&) = delete;

  private:
    TAsyncSocket& FSocket;
    std::shared_ptr<const bool> FAlive;
  };

  void InitWinsock();
  void ResolveHost();
  // Lets a wait that is about to sleep see at once a flag that a handler set.
  static void WakeUp();
  // One pass of a pure wait: lets the application handle what is pending and,
  // unless `done` already holds afterwards, sleeps until the next event.
  // Raises EComponentDestroyed when the component was destroyed meanwhile.
  void WaitPass(const std::function<bool()>& done);
  // Receives until the peer closes, the socket is not connected, Size bytes
  // arrived (Size -1: no limit), or a cancel. Each chunk is received into
  // `room(n)`, a place for up to n bytes, and then `took` learns how many
  // landed there (0 when none). Returns the number of bytes received. The
  // caller raises the cancel error, whose text depends on the operation.
  int64_t Capture(const std::function<char*(size_t)>& room, const std::function<void(size_t)>& took, int64_t Size);
  // CaptureFile and CaptureString, stopping once Size bytes (-1: no limit)
  // arrived; each returns the number of bytes received.
  int64_t CaptureFileBytes(const std::string& FileName, int64_t Size);
  int64_t CaptureStringBytes(std::string& Text, int64_t Size);
  // The notifications every socket of the component is selected for.
  static constexpr long SelectedEvents =
      sock::FD_READ | sock::FD_WRITE | sock::FD_OOB | sock::FD_ACCEPT | sock::FD_CONNECT | sock::FD_CLOSE;
  // Waits until a send that would have blocked can go on, or a cancel.
  void WaitForSendRoom();
  // The process-messages step of a transfer loop; `idle` when the pass found
  // nothing to do, so the loop may sleep until the next event. Raises
  // EComponentDestroyed when the component was destroyed meanwhile.
  void ProcessMessages(bool idle);

private:
  // False once the destructor has begun; running operations hold a copy.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  // Set by FD_WRITE: the socket can take bytes again.
  bool FSendRoom = false;
  // Operations under way (TTimeOutScope); none: the component is idle.
  int FRunning = 0;
  // The socket is the one made after a close and nothing has used it yet.
  bool FFresh = false;
  // Received and not yet taken by ReadLn or a capture; emptied on close.
  TReceiveBuffer FReceived;
  std::array<char, 1024> FLookupBuffer{};
  sock::TAsyncHandle FLookupTask = 0;
  // Ends a running lookup so that its late answer can never land anywhere.
  void WithdrawLookup();
  // A new socket, or -1 when there is none that fits in 16 bits.
  int NewSocket(int protocol);
  // Makes a fresh socket the component's own, selected for its notifications.
  bool OpenSocket();
};

sock::THiddenWindow* AllocateSocketWindow(TAsyncSocket* Owner);
intptr_t SocketWindowProc(sock::THiddenWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam);

// The N-th field of S (from 1), fields separated by Separator; empty fields count.
std::string NthWord(const std::string& S, char Separator, int N);
// Position (from 1) of the N-th Ch in S; the length of S plus 1 when there is
// none, and also when that occurrence is S's last character.
int NthWordPos(const std::string& S, char Ch, int N);
