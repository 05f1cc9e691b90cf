#pragma once
// The socket interface on POSIX sockets, with Qt socket notifiers standing in
// for asynchronous select and a thread per name lookup standing in for the
// asynchronous host lookup. Tests derive from it and override single calls to
// make them fail.

#include "WinsockApi.h"

#include <map>
#include <memory>

namespace sock {

class TPosixWinsock : public TWinsockApi {
public:
  TPosixWinsock();
  ~TPosixWinsock() override;

  int WSAStartup(uint16_t versionRequested, TWSAData& data) override;
  int WSACleanup() override;
  int WSAGetLastError() override;
  int Socket(int family, int type, int protocol) override;
  int SetLinger(int s, bool on, int seconds) override;
  // Linux caps a buffer set by hand at net.core.rmem_max and never grows it
  // again, where one left alone grows with the transfer, often beyond that
  // cap: so a buffer is set only when the cap allows it whole and it is
  // larger than the one the socket has. Otherwise nothing changes, and the
  // call succeeds, as the room is only ever a matter of speed.
  int SetReceiveBuffer(int s, int bytes) override;
  int SetReceiveLowWater(int s, int bytes) override;
  int WSAAsyncSelect(int s, THiddenWindow* window, unsigned message, long mask) override;
  TAsyncHandle WSAAsyncGetHostByName(THiddenWindow* window, unsigned message, const char* name, char* buffer,
                                     int bufferLength) override;
  int WSACancelAsyncRequest(TAsyncHandle handle) override;
  uint32_t InetAddr(const char* text) override;
  uint16_t Htons(uint16_t value) override;
  int Connect(int s, const TSockAddrIn& address) override;
  int Bind(int s, const TSockAddrIn& address) override;
  int Listen(int s, int backlog) override;
  int GetSockName(int s, TSockAddrIn& address) override;
  int Accept(int s, TSockAddrIn* address, int* length) override;
  int Send(int s, const char* data, int length, int flags) override;
  int Recv(int s, char* buffer, int length, int flags) override;
  int CloseSocket(int s) override;
  int GetInterfaceAddresses(std::vector<TInterfaceAddress>& addresses) override;

  // The Winsock number of a POSIX errno value.
  static int ErrorFromErrno(int error);
  // The Winsock number of a getaddrinfo() failure.
  static int ErrorFromLookup(int error);

protected:
  void SetLastError(int wsaError) { FLastError = wsaError; }
  // Records the Winsock number of errno and returns SOCKET_ERROR.
  int Fail();
  // A send on s would have blocked: FD_WRITE follows once it can take bytes.
  void SendBlocked(int s);

private:
  class TSelection;
  class TLookup;
  TSelection* Selection(int s);

  int FLastError = 0;
  std::map<int, std::unique_ptr<TSelection>> FSelections;
  std::map<TAsyncHandle, TLookup*> FLookups;  // owned
  TAsyncHandle FNextLookup = 1;
};

}  // namespace sock
