#include "PosixWinsock.h"

#include "HiddenWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <memory>
#include <net/if.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <utility>
#include <unistd.h>

namespace sock {

namespace {

intptr_t MakeLParam(uint16_t low, int error) {
  return static_cast<intptr_t>((static_cast<uint32_t>(error & 0xFFFF) << 16) | low);
}

sockaddr_in ToPosix(const TSockAddrIn& a) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_port = a.sin_port;
  out.sin_addr.s_addr = a.sin_addr;
  return out;
}

TSockAddrIn FromPosix(const sockaddr_in& a) {
  TSockAddrIn out;
  out.sin_family = AF_INET_;
  out.sin_port = a.sin_port;
  out.sin_addr = a.sin_addr.s_addr;
  return out;
}

std::vector<uint32_t> Resolve(const char* name, int* error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  std::vector<uint32_t> out;
  const int rc = ::getaddrinfo(name, nullptr, &hints, &list);
  if (error) *error = rc == 0 ? 0 : TPosixWinsock::ErrorFromLookup(rc);
  if (rc != 0) return out;
  for (addrinfo* p = list; p; p = p->ai_next)
    out.push_back(reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(list);
  return out;
}

}  // namespace

// One socket's asynchronous select. A socket notifier is level-triggered, so
// each one is switched off once its event is posted and on again by the call
// that consumes the event, as Winsock re-enables an event. Events are queued
// through this object: closing the socket destroys it, and with it every
// notification of that socket still in the queue.
class TPosixWinsock::TSelection final : public QObject {
public:
  TSelection(int fd, THiddenWindow* window, unsigned message, long mask)
      : FFd(fd), FWindow(window), FMessage(message), FMask(mask) {
    // Given the descriptor switched off: every switch of a notifier wakes
    // the event loop, and a new socket's notifiers start off.
    FRead.setSocket(fd);
    FWrite.setSocket(fd);
    QObject::connect(&FRead, &QSocketNotifier::activated, this, [this] { OnReadable(); });
    QObject::connect(&FWrite, &QSocketNotifier::activated, this, [this] { OnWritable(); });
    // A socket selected after it was connected or made to listen reports at once.
    int listening = 0;
    socklen_t len = sizeof listening;
    sockaddr_in peer{};
    socklen_t peerLen = sizeof peer;
    if ((::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &len) == 0 && listening) ||
        ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0)
      FRead.setEnabled(true);
  }

  // A connect is under way: its end shows as the socket turning writable.
  void ConnectStarted() {
    FConnecting = true;
    FWrite.setEnabled(true);
  }
  // A send would block: the socket turning writable is FD_WRITE.
  void SendBlocked() { FWrite.setEnabled(!FConnecting); }
  void StartedListening() { FRead.setEnabled(!FClosed); }
  // The call that consumes a read or accept event re-enables it.
  void Consumed() { FRead.setEnabled(!FClosed && FConnectedOrListening); }
  // Looking at a socket's error clears it; the next receive must still see
  // it, and a peek must see it without taking it.
  int Error(bool take) { return take ? std::exchange(FError, 0) : FError; }

private:
  void Post(uint16_t code, int error) {
    if (FMask & code) FWindow->PostMessage(FMessage, static_cast<uintptr_t>(FFd), MakeLParam(code, error), this);
  }

  void OnWritable() {
    FWrite.setEnabled(false);
    if (!FConnecting) {
      Post(FD_WRITE, 0);
      return;
    }
    FConnecting = false;
    int error = 0;
    socklen_t len = sizeof error;
    // SO_ERROR is cleared by reading it: read it exactly once.
    if (::getsockopt(FFd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
    if (error == 0) {
      FConnectedOrListening = true;
      FRead.setEnabled(true);
    }
    Post(FD_CONNECT, error ? ErrorFromErrno(error) : 0);
  }

  void OnReadable() {
    FRead.setEnabled(false);
    FConnectedOrListening = true;
    int listening = 0;
    socklen_t len = sizeof listening;
    if (::getsockopt(FFd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &len) == 0 && listening) {
      Post(FD_ACCEPT, 0);
      return;
    }
    char c;
    const ssize_t n = ::recv(FFd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
      Post(FD_READ, 0);
    } else if (n == 0) {
      FClosed = true;
      Post(FD_CLOSE, 0);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
      FRead.setEnabled(true);
    } else {
      FClosed = true;
      FError = errno;
      Post(FD_CLOSE, ErrorFromErrno(errno));
    }
  }

  int FFd;
  THiddenWindow* FWindow;
  unsigned FMessage;
  long FMask;
  QSocketNotifier FRead{QSocketNotifier::Read};
  QSocketNotifier FWrite{QSocketNotifier::Write};
  bool FConnectedOrListening = false;
  bool FConnecting = false;
  bool FClosed = false;
  int FError = 0;
};

// One asynchronous lookup. The lookup thread may outlive everything else, so
// it shares only this state with the GUI thread, and hands its answer over
// under the lock, to a receiver that cannot be destroyed meanwhile.
class TPosixWinsock::TLookup final : public QObject {
public:
  TLookup(TPosixWinsock* api, TAsyncHandle handle, THiddenWindow* window, unsigned message, char* buffer, int length)
      : FApi(api), FHandle(handle), FWindow(window), FMessage(message), FBuffer(buffer), FLength(length),
        FShared(std::make_shared<TShared>()) {
    FShared->Receiver = this;
  }

  void Start(std::string name) {
    std::thread([shared = FShared, name = std::move(name)] {
      int error = 0;
      std::vector<uint32_t> addresses = Resolve(name.c_str(), &error);
      std::lock_guard lock(shared->Mutex);
      if (shared->Receiver) QCoreApplication::postEvent(shared->Receiver, new TDone(std::move(addresses), error));
    }).detach();
  }

  // After this no answer can arrive; the caller deletes the receiver.
  void Withdraw() {
    std::lock_guard lock(FShared->Mutex);
    FShared->Receiver = nullptr;
  }

protected:
  bool event(QEvent* e) override {
    if (e->type() != DoneEventType) return QObject::event(e);
    auto* done = static_cast<TDone*>(e);
    Withdraw();
    const size_t room = (static_cast<size_t>(FLength) - sizeof(uint32_t)) / sizeof(uint32_t);
    const uint32_t count = static_cast<uint32_t>(std::min(room, done->Addresses.size()));
    std::memcpy(FBuffer, &count, sizeof count);
    if (count > 0) std::memcpy(FBuffer + sizeof count, done->Addresses.data(), count * sizeof(uint32_t));
    const int error = done->Error ? done->Error : (count ? 0 : WSANO_DATA);
    FApi->FLookups.erase(FHandle);
    // Deleted once this event is done with; the answer can no longer reach it.
    deleteLater();
    FWindow->SendMessage(FMessage, FHandle, MakeLParam(static_cast<uint16_t>(FLength), error));
    return true;
  }

private:
  static inline const QEvent::Type DoneEventType = static_cast<QEvent::Type>(QEvent::registerEventType());
  struct TDone final : QEvent {
    TDone(std::vector<uint32_t> a, int e) : QEvent(DoneEventType), Addresses(std::move(a)), Error(e) {}
    std::vector<uint32_t> Addresses;
    int Error;
  };
  struct TShared {
    std::mutex Mutex;
    QObject* Receiver = nullptr;
  };

  TPosixWinsock* FApi;
  TAsyncHandle FHandle;
  THiddenWindow* FWindow;
  unsigned FMessage;
  char* FBuffer;
  int FLength;
  std::shared_ptr<TShared> FShared;
};

TPosixWinsock::TPosixWinsock() = default;

TPosixWinsock::~TPosixWinsock() {
  for (auto& [handle, lookup] : FLookups) {
    lookup->Withdraw();
    delete lookup;
  }
}

int TPosixWinsock::Fail() {
  FLastError = ErrorFromErrno(errno);
  return SOCKET_ERROR;
}

TPosixWinsock::TSelection* TPosixWinsock::Selection(int s) {
  auto it = FSelections.find(s);
  return it == FSelections.end() ? nullptr : it->second.get();
}

int TPosixWinsock::WSAStartup(uint16_t versionRequested, TWSAData& data) {
  data = TWSAData{};
  data.wVersion = versionRequested;
  data.wHighVersion = 0x0202;
  std::strcpy(data.szDescription, "Tarnwell sockets on POSIX");
  std::strcpy(data.szSystemStatus, "Running");
  rlimit files{};
  data.iMaxSockets = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 0xFFFF
                         ? static_cast<uint16_t>(files.rlim_cur)
                         : 0xFFFF;
  data.iMaxUdpDg = 65467;
  return 0;
}

int TPosixWinsock::WSACleanup() { return 0; }

int TPosixWinsock::WSAGetLastError() { return FLastError; }

int TPosixWinsock::Socket(int family, int type, int protocol) {
  const int fd = ::socket(family == AF_INET_ ? AF_INET : family, type == SOCK_STREAM_ ? SOCK_STREAM : type,
                          protocol);
  return fd < 0 ? Fail() : fd;
}

int TPosixWinsock::SetLinger(int s, bool on, int seconds) {
  const linger l{on ? 1 : 0, seconds};
  return ::setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0 ? 0 : Fail();
}

int TPosixWinsock::SetReceiveBuffer(int s, int bytes) {
  static const long cap = [] {
    // Read without a stdio buffer: the first large reply would count it as its own memory.
    char text[32] = {};
    const int fd = ::open("/proc/sys/net/core/rmem_max", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0L;
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    return n > 0 ? std::strtol(text, nullptr, 10) : 0L;
  }();
  int current = 0;
  socklen_t length = sizeof current;
  if (::getsockopt(s, SOL_SOCKET, SO_RCVBUF, &current, &length) != 0) return Fail();
  // The kernel reports twice what was asked for, its own bookkeeping included.
  if (bytes > cap || current / 2 >= bytes) return 0;
  return ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0 ? 0 : Fail();
}

int TPosixWinsock::SetReceiveLowWater(int s, int bytes) {
  return ::setsockopt(s, SOL_SOCKET, SO_RCVLOWAT, &bytes, sizeof bytes) == 0 ? 0 : Fail();
}

int TPosixWinsock::WSAAsyncSelect(int s, THiddenWindow* window, unsigned message, long mask) {
  const int flags = ::fcntl(s, F_GETFL);
  if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) return Fail();
  FSelections[s] = std::make_unique<TSelection>(s, window, message, mask);
  return 0;
}

TAsyncHandle TPosixWinsock::WSAAsyncGetHostByName(THiddenWindow* window, unsigned message, const char* name,
                                                  char* buffer, int bufferLength) {
  if (bufferLength < static_cast<int>(sizeof(TLookupEntry))) {
    FLastError = WSAENOBUFS;
    return 0;
  }
  const TAsyncHandle handle = FNextLookup++;
  auto lookup = std::make_unique<TLookup>(this, handle, window, message, buffer, bufferLength);
  try {
    lookup->Start(name);
  } catch (const std::system_error&) {
    // No thread to run the lookup on: no lookup, as when Winsock has no room for one.
    FLastError = WSAENOBUFS;
    return 0;
  }
  FLookups[handle] = lookup.release();
  return handle;
}

int TPosixWinsock::WSACancelAsyncRequest(TAsyncHandle handle) {
  auto it = FLookups.find(handle);
  if (it == FLookups.end()) {
    FLastError = WSAEINVAL;
    return SOCKET_ERROR;
  }
  it->second->Withdraw();
  delete it->second;
  FLookups.erase(it);
  return 0;
}

uint32_t TPosixWinsock::InetAddr(const char* text) { return ::inet_addr(text); }

uint16_t TPosixWinsock::Htons(uint16_t value) { return htons(value); }

int TPosixWinsock::Connect(int s, const TSockAddrIn& address) {
  const sockaddr_in a = ToPosix(address);
  const int rc = ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  if (rc != 0 && errno != EINPROGRESS) return Fail();
  // A non-blocking connect reports its end only through the notification,
  // even when it completed at once.
  if (TSelection* sel = Selection(s)) sel->ConnectStarted();
  if (rc == 0) return 0;
  FLastError = WSAEWOULDBLOCK;
  return SOCKET_ERROR;
}

int TPosixWinsock::Bind(int s, const TSockAddrIn& address) {
  const sockaddr_in a = ToPosix(address);
  return ::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : Fail();
}

int TPosixWinsock::Listen(int s, int backlog) {
  if (::listen(s, backlog) != 0) return Fail();
  if (TSelection* sel = Selection(s)) sel->StartedListening();
  return 0;
}

int TPosixWinsock::GetSockName(int s, TSockAddrIn& address) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return Fail();
  address = FromPosix(a);
  return 0;
}

int TPosixWinsock::Accept(int s, TSockAddrIn* address, int* length) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  const int fd = ::accept(s, reinterpret_cast<sockaddr*>(&a), &len);
  const int error = errno;
  if (TSelection* sel = Selection(s)) sel->Consumed();
  if (fd < 0) {
    errno = error;
    return Fail();
  }
  if (address) *address = FromPosix(a);
  if (length) *length = sizeof(TSockAddrIn);
  return fd;
}

int TPosixWinsock::Send(int s, const char* data, int length, int flags) {
  // A peer that has gone must end in an error, never in SIGPIPE.
  const ssize_t n = ::send(s, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
  if (n >= 0) return static_cast<int>(n);
  if (errno == EAGAIN || errno == EWOULDBLOCK) {
    const int error = errno;
    SendBlocked(s);
    errno = error;
  }
  return Fail();
}

void TPosixWinsock::SendBlocked(int s) {
  if (TSelection* sel = Selection(s)) sel->SendBlocked();
}

int TPosixWinsock::Recv(int s, char* buffer, int length, int flags) {
  if (TSelection* sel = Selection(s)) {
    if (const int error = sel->Error(!(flags & MSG_PEEK_))) {
      errno = error;
      return Fail();
    }
  }
  const ssize_t n = ::recv(s, buffer, static_cast<size_t>(length), (flags & MSG_PEEK_) ? MSG_PEEK : 0);
  const int error = errno;
  if (TSelection* sel = Selection(s)) sel->Consumed();
  if (n < 0) {
    errno = error;
    return Fail();
  }
  return static_cast<int>(n);
}

int TPosixWinsock::CloseSocket(int s) {
  FSelections.erase(s);
  return ::close(s) == 0 ? 0 : Fail();
}

int TPosixWinsock::GetInterfaceAddresses(std::vector<TInterfaceAddress>& addresses) {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return Fail();
  addresses.clear();
  for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr) continue;
    const bool up = (entry->ifa_flags & IFF_UP) != 0, loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
    if (entry->ifa_addr->sa_family == AF_INET) {
      addresses.push_back({reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr, up, loopback});
    } else if (entry->ifa_addr->sa_family == AF_INET6) {
      TInterfaceAddress v6{0, up, loopback, true};
      std::memcpy(v6.Addr6.data(), reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr.s6_addr, v6.Addr6.size());
      addresses.push_back(v6);
    }
  }
  ::freeifaddrs(list);
  return 0;
}

int TPosixWinsock::ErrorFromErrno(int error) {
  switch (error) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES: case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE: case ENFILE: return WSAEMFILE;
    case EWOULDBLOCK: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    // A send to a peer that reset the connection.
    case ECONNRESET: case EPIPE: return WSAECONNRESET;
    case ENOBUFS: case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    // Kept clear of the table, so that the text names the number.
    default: return 12000 + error;
  }
}

int TPosixWinsock::ErrorFromLookup(int error) {
  switch (error) {
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
    case EAI_NODATA: case EAI_ADDRFAMILY: return WSANO_DATA;
    case EAI_MEMORY: return WSAENOBUFS;
    case EAI_SYSTEM: return ErrorFromErrno(errno);
    default: return WSANO_RECOVERY;
  }
}

namespace {
TWinsockApi*& Current() {
  static TWinsockApi* current = nullptr;
  return current;
}
}  // namespace

TWinsockApi& Winsock() {
  static TPosixWinsock posix;
  return Current() ? *Current() : posix;
}

void SetWinsock(TWinsockApi* api) { Current() = api; }

}  // namespace sock
