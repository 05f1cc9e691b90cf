#pragma once
// The one interface through which the socket layer reaches the network. Each
// member does one call and nothing else; errors are reported in Winsock's
// numbering through WSAGetLastError. The default implementation sits on POSIX
// sockets; tests put another in its place to make any call fail on demand.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sock {

class THiddenWindow;

// Socket handles are 16 bits wide; all ones means none.
constexpr int INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;
constexpr uint32_t INADDR_NONE = 0xFFFFFFFFu;
constexpr int AF_INET_ = 2;
constexpr int SOCK_STREAM_ = 1;
constexpr int IPPROTO_TCP_ = 6;
constexpr int MSG_PEEK_ = 2;

// Event codes of the socket-event message (low 16 bits of its second parameter).
constexpr uint16_t FD_READ = 1;
constexpr uint16_t FD_WRITE = 2;
constexpr uint16_t FD_OOB = 4;
constexpr uint16_t FD_ACCEPT = 8;
constexpr uint16_t FD_CONNECT = 16;
constexpr uint16_t FD_CLOSE = 32;

// Winsock error numbers.
enum : int {
  WSAEINTR = 10004, WSAEBADF = 10009, WSAEACCES = 10013, WSAEFAULT = 10014, WSAEINVAL = 10022,
  WSAEMFILE = 10024, WSAEWOULDBLOCK = 10035, WSAEINPROGRESS = 10036, WSAEALREADY = 10037,
  WSAENOTSOCK = 10038, WSAEDESTADDRREQ = 10039, WSAEMSGSIZE = 10040, WSAEPROTOTYPE = 10041,
  WSAENOPROTOOPT = 10042, WSAEPROTONOSUPPORT = 10043, WSAESOCKTNOSUPPORT = 10044,
  WSAEOPNOTSUPP = 10045, WSAEPFNOSUPPORT = 10046, WSAEAFNOSUPPORT = 10047, WSAEADDRINUSE = 10048,
  WSAEADDRNOTAVAIL = 10049, WSAENETDOWN = 10050, WSAENETUNREACH = 10051, WSAENETRESET = 10052,
  WSAECONNABORTED = 10053, WSAECONNRESET = 10054, WSAENOBUFS = 10055, WSAEISCONN = 10056,
  WSAENOTCONN = 10057, WSAESHUTDOWN = 10058, WSAETOOMANYREFS = 10059, WSAETIMEDOUT = 10060,
  WSAECONNREFUSED = 10061, WSAELOOP = 10062, WSAENAMETOOLONG = 10063, WSAEHOSTDOWN = 10064,
  WSAEHOSTUNREACH = 10065, WSAENOTEMPTY = 10066, WSAEPROCLIM = 10067, WSAEUSERS = 10068,
  WSAEDQUOT = 10069, WSAESTALE = 10070, WSAEREMOTE = 10071, WSASYSNOTREADY = 10091,
  WSAVERNOTSUPPORTED = 10092, WSANOTINITIALISED = 10093, WSAHOST_NOT_FOUND = 11001,
  WSATRY_AGAIN = 11002, WSANO_RECOVERY = 11003, WSANO_DATA = 11004
};

struct TWSAData {
  uint16_t wVersion = 0;
  uint16_t wHighVersion = 0;
  char szDescription[257] = {};
  char szSystemStatus[129] = {};
  uint16_t iMaxSockets = 0;
  uint16_t iMaxUdpDg = 0;
  char* lpVendorInfo = nullptr;
};

// IPv4 socket address, 16 bytes, port and address in network order.
struct TSockAddrIn {
  int16_t sin_family = 0;
  uint16_t sin_port = 0;
  uint32_t sin_addr = 0;
  char sin_zero[8] = {};
};
static_assert(sizeof(TSockAddrIn) == 16);

// What a finished asynchronous lookup leaves in the caller's buffer: the count
// of addresses, then that many IPv4 addresses in network order.
struct TLookupEntry {
  uint32_t Count;
  uint32_t Addr[1];
};

// One address of a network interface: IPv4 in Addr, or IPv6 in Addr6.
struct TInterfaceAddress {
  uint32_t Addr = 0;  // network order
  bool Up = false;
  bool Loopback = false;
  bool Ipv6 = false;
  std::array<unsigned char, 16> Addr6{};
};

// Handle of a running asynchronous lookup; 0 when none could be started.
using TAsyncHandle = uintptr_t;

class TWinsockApi {
public:
  virtual ~TWinsockApi() = default;

  virtual int WSAStartup(uint16_t versionRequested, TWSAData& data) = 0;
  virtual int WSACleanup() = 0;
  virtual int WSAGetLastError() = 0;

  virtual int Socket(int family, int type, int protocol) = 0;
  // SO_LINGER at SOL_SOCKET.
  virtual int SetLinger(int s, bool on, int seconds) = 0;
  // SO_RCVBUF at SOL_SOCKET: room for `bytes` received and not yet read.
  virtual int SetReceiveBuffer(int s, int bytes) = 0;
  // SO_RCVLOWAT at SOL_SOCKET: the socket counts as readable only once
  // `bytes` are waiting, or the peer has closed.
  virtual int SetReceiveLowWater(int s, int bytes) = 0;
  // Makes the socket non-blocking and posts `message` to `window` for each
  // event of `mask`: wParam the socket, lParam the event code in its low and
  // the error number in its high 16 bits. Each event is posted once and again
  // only after the call that consumes it (recv for FD_READ, accept for
  // FD_ACCEPT); FD_CONNECT and FD_CLOSE come once. FD_WRITE comes after a send
  // that would block, once the socket can take bytes again.
  virtual int WSAAsyncSelect(int s, THiddenWindow* window, unsigned message, long mask) = 0;
  // Starts a lookup of `name` and returns at once. When it ends, the addresses
  // are written to `buffer` as a TLookupEntry and `message` is posted to
  // `window`, its lParam carrying the error number in the high 16 bits. A
  // cancelled lookup writes nothing and posts nothing.
  virtual TAsyncHandle WSAAsyncGetHostByName(THiddenWindow* window, unsigned message, const char* name,
                                             char* buffer, int bufferLength) = 0;
  virtual int WSACancelAsyncRequest(TAsyncHandle handle) = 0;

  virtual uint32_t InetAddr(const char* text) = 0;
  virtual uint16_t Htons(uint16_t value) = 0;

  virtual int Connect(int s, const TSockAddrIn& address) = 0;
  virtual int Bind(int s, const TSockAddrIn& address) = 0;
  virtual int Listen(int s, int backlog) = 0;
  virtual int GetSockName(int s, TSockAddrIn& address) = 0;
  virtual int Accept(int s, TSockAddrIn* address, int* length) = 0;
  virtual int Send(int s, const char* data, int length, int flags) = 0;
  virtual int Recv(int s, char* buffer, int length, int flags) = 0;
  virtual int CloseSocket(int s) = 0;

  // Fills `addresses` with the IPv4 addresses of the machine's network
  // interfaces, in the order the system lists them; SOCKET_ERROR when the
  // list cannot be read.
  virtual int GetInterfaceAddresses(std::vector<TInterfaceAddress>& addresses) = 0;
};

// The interface in use. SetWinsock(nullptr) puts the POSIX one back.
TWinsockApi& Winsock();
void SetWinsock(TWinsockApi* api);

}  // namespace sock
