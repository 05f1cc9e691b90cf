// The socket window and its notifications, the time-out and the local address.
#include "AsyncSocket.h"

#include "HiddenWindow.h"

#include <algorithm>
#include <arpa/inet.h>
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
  // What the machine's own name resolves to under Windows: the addresses of
  // its adapters that are up, and the loopback address only when none is.
  // Asking the interfaces, not the name, keeps /etc/hosts out of the answer
  // and never blocks on a name server.
  std::vector<TInterfaceAddress> interfaces;
  if (Winsock().GetInterfaceAddresses(interfaces) != 0) {
    // The caller takes this as no network.
    Address = "0.0.0.0";
    return;
  }
  const auto usable = std::find_if(interfaces.begin(), interfaces.end(), [](const TInterfaceAddress& a) {
    const bool loopbackRange = (ntohl(a.Addr) >> 24) == 127;
    return !a.Ipv6 && a.Up && !a.Loopback && !loopbackRange;
  });
  if (usable != interfaces.end()) {
    const auto* b = reinterpret_cast<const unsigned char*>(&usable->Addr);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    Address = text;
    return;
  }
  // A machine on IPv6 alone is on the network too: an address beyond its own
  // link (not loopback, not link-local fe80::/10) says so.
  const auto usable6 = std::find_if(interfaces.begin(), interfaces.end(), [](const TInterfaceAddress& a) {
    const bool linkLocal = a.Addr6[0] == 0xFE && (a.Addr6[1] & 0xC0) == 0x80;
    const bool loopbackAddress = std::all_of(a.Addr6.begin(), a.Addr6.end() - 1, [](unsigned char b) { return b == 0; }) && a.Addr6[15] == 1;
    return a.Ipv6 && a.Up && !a.Loopback && !linkLocal && !loopbackAddress;
  });
  if (usable6 == interfaces.end()) {
    Address = "127.0.0.1";
    return;
  }
  char text[INET6_ADDRSTRLEN];
  Address = inet_ntop(AF_INET6, usable6->Addr6.data(), text, sizeof text);
}
