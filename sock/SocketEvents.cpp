// The socket window and its notifications, the time-out and the local address.
#include "AsyncSocket.h"

#include "HiddenWindow.h"

#include <cstdio>

using namespace sock;

namespace {
const TWindowClass SocketWindowClass{"SockWindowClass", SocketWindowProc};

uint16_t Low(intptr_t v) { return static_cast<uint16_t>(v & 0xFFFF); }
uint16_t High(intptr_t v) { return static_cast<uint16_t>((v >> 16) & 0xFFFF); }
}  // namespace

THiddenWindow* AllocateSocketWindow(TAsyncSocket* Owner) { return CreateHiddenWindow(SocketWindowClass, Owner); }

intptr_t SocketWindowProc(THiddenWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  auto* owner = static_cast<TAsyncSocket*>(window->OwnerSlot());
  if (!owner || message < SOCKET_MESSAGE) return DefWindowProc(window, message, wParam, lParam);
  TMessage record{message, wParam, lParam, 0};
  owner->HandleSocketMessage(record);
  return 0;
}

void TAsyncSocket::HandleSocketMessage(TMessage& Message) {
  try {
    EventOK = High(Message.LParam) == 0;
    if (Message.Msg == SOCKET_MESSAGE) {
      switch (Low(Message.LParam)) {
        case FD_READ:
          RaiseEvent(OnDataAvailable, this);
          break;
        case FD_ACCEPT:
          Connected = true;
          // Accept waits for this flag, and nothing else would ever set it.
          AsyncDone = true;
          RaiseEvent(OnAccept, this);
          break;
        case FD_CONNECT:
          if (EventOK) {
            Connected = true;
            RaiseEvent(OnConnect, this);
          }
          break;
        case FD_WRITE:
          FSendRoom = true;
          break;
        case FD_CLOSE:
          // Only the component's own socket: a peer it accepted is another.
          if (Message.WParam != static_cast<uintptr_t>(SocketHandle)) break;
          // A connection that ended in an error stays open until a running
          // operation has reported the error: closing it here would let the
          // transfer end as if the peer had finished normally. Idle, there
          // is nobody to report to, and the close is all there is.
          if (EventOK ? !DataAvailable() : FRunning == 0) RequestCloseSocket();
          break;
        default:
          break;
      }
    } else if (Message.Msg == LOOKUP_MESSAGE) {
      AsyncDone = true;
      if (Message.WParam == FLookupTask) FLookupTask = 0;
    }
  } catch (...) {
    // A notification has nobody to report to; the waiting operation reads the flags.
  }
  // No wake-up: a notification is dispatched by the event loop on this
  // thread, and the waiting operation's pass returns once it has run.
}

TAsyncSocket::TTimeOutScope::TTimeOutScope(TAsyncSocket& s) : FSocket(s), FAlive(s.FAlive) {
  ++FSocket.FRunning;
  try {
    FSocket.TimerOn();
  } catch (...) {
    if (*FAlive) --FSocket.FRunning;
    throw;
  }
}

TAsyncSocket::TTimeOutScope::~TTimeOutScope() {
  if (!*FAlive) return;
  --FSocket.FRunning;
  try {
    FSocket.TimerOff();
  } catch (...) {
  }
}

void TAsyncSocket::TimerOn() {
  StatusMessage(8, "Timer On");
  TimedOut = false;
  if (TimeOut < 0) throw ERangeError();
  TimeOutTimer->SetInterval(static_cast<uint32_t>(TimeOut));
  TimeOutTimer->SetEnabled(true);
}

void TAsyncSocket::TimerOff() {
  StatusMessage(8, "Timer Off");
  TimeOutTimer->SetEnabled(false);
}

void TAsyncSocket::TimerTriggered(TComponent*) {
  try {
    StatusMessage(8, "Timer Triggered");
    TimerOff();
    TimedOut = true;
    AsyncDone = true;
    Abort();
  } catch (const EComponentDestroyed&) {
    // A status handler destroyed the component: the waiting operation learns it.
  }
  WakeUp();
}

void TAsyncSocket::GetLocalAddress(std::string& Address) {
  StatusMessage(8, "Getting Local IP");
  char name[200] = {};
  Winsock().GetHostName(name, sizeof name - 1);
  const std::vector<uint32_t> addresses = Winsock().GetHostByName(name);
  if (addresses.empty()) {
    // No address for our own name: the caller takes this as no network.
    Address = "0.0.0.0";
    return;
  }
  const auto* b = reinterpret_cast<const unsigned char*>(&addresses.front());
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  Address = text;
}
