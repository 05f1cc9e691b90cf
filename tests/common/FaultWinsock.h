#pragma once
// The socket interface with faults on demand: any call can be made to fail
// with any Winsock error, after a number of calls that go through, and a
// connect can be left without its notification, as a slow peer would.
// Install it with sock::SetWinsock for the length of a test (TFaultScope).

#include "PosixWinsock.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

class TFaultWinsock : public sock::TPosixWinsock {
public:
  enum class TCall { Socket, Connect, Send, Recv, CloseSocket, Lookup, Accept, Interfaces };

  // The `after`+1-th call of `call` from now on fails with `error`, and so do
  // the next `times`-1 calls after it. A receive failing with error 0
  // returns 0 bytes instead, as when the peer has closed.
  void Fail(TCall call, int error, int after = 0, int times = 1);
  // Sends take at most this many bytes each (0: no limit).
  int SendLimit = 0;
  // Receives bring at most this many bytes each (0: no limit).
  int RecvLimit = 0;
  // Connects start but their end is never reported.
  bool HoldConnect = false;
  // Lookups start but never answer; the handles given out and those withdrawn.
  bool HoldLookup = false;
  // Lookups answer at once with this error, as for a name nobody knows,
  // without asking any name server.
  int LookupError = 0;
  std::vector<sock::TAsyncHandle> HeldLookups, WithdrawnLookups;
  // The machine's interface addresses, as the system would list them;
  // unset: the real list.
  std::optional<std::vector<sock::TInterfaceAddress>> Interfaces;
  // How often each call was made.
  std::map<TCall, int> Calls;

  int Socket(int family, int type, int protocol) override;
  int Connect(int s, const sock::TSockAddrIn& address) override;
  int Send(int s, const char* data, int length, int flags) override;
  int Recv(int s, char* buffer, int length, int flags) override;
  int CloseSocket(int s) override;
  int Accept(int s, sock::TSockAddrIn* address, int* length) override;
  sock::TAsyncHandle WSAAsyncGetHostByName(sock::THiddenWindow* window, unsigned message, const char* name,
                                           char* buffer, int bufferLength) override;
  int WSACancelAsyncRequest(sock::TAsyncHandle handle) override;
  int GetInterfaceAddresses(std::vector<sock::TInterfaceAddress>& addresses) override;

private:
  struct TFault {
    int Error;
    int After;
    int Times;
  };
  // True, with the error set, when this call is to fail.
  bool Faulted(TCall call);
  std::map<TCall, std::vector<TFault>> FFaults;
};

// Puts a TFaultWinsock in place for its lifetime.
class TFaultScope {
public:
  TFaultScope() { sock::SetWinsock(&Api); }
  ~TFaultScope() { sock::SetWinsock(nullptr); }
  TFaultScope(const TFaultScope&) = delete;
  TFaultScope& operator=(const TFaultScope&) = delete;
  TFaultWinsock Api;
};
