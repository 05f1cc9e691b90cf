#include "FaultWinsock.h"

#include "HiddenWindow.h"

#include <algorithm>
#include <sys/socket.h>
#include <unistd.h>

void TFaultWinsock::Fail(TCall call, int error, int after, int times) { FFaults[call].push_back({error, after, times}); }

bool TFaultWinsock::Faulted(TCall call) {
  ++Calls[call];
  for (auto it = FFaults[call].begin(); it != FFaults[call].end(); ++it) {
    if (it->After > 0) {
      --it->After;
      continue;
    }
    SetLastError(it->Error);
    if (--it->Times == 0) FFaults[call].erase(it);
    return true;
  }
  return false;
}

int TFaultWinsock::Socket(int family, int type, int protocol) {
  return Faulted(TCall::Socket) ? sock::INVALID_SOCKET : TPosixWinsock::Socket(family, type, protocol);
}

int TFaultWinsock::Connect(int s, const sock::TSockAddrIn& address) {
  if (Faulted(TCall::Connect)) return sock::SOCKET_ERROR;
  if (!HoldConnect) return TPosixWinsock::Connect(s, address);
  SetLastError(sock::WSAEWOULDBLOCK);
  return sock::SOCKET_ERROR;
}

int TFaultWinsock::Send(int s, const char* data, int length, int flags) {
  if (Faulted(TCall::Send)) {
    // A send that would block is followed by FD_WRITE, as from the kernel.
    if (WSAGetLastError() == sock::WSAEWOULDBLOCK) SendBlocked(s);
    return sock::SOCKET_ERROR;
  }
  return TPosixWinsock::Send(s, data, SendLimit > 0 && length > SendLimit ? SendLimit : length, flags);
}

int TFaultWinsock::Recv(int s, char* buffer, int length, int flags) {
  if (!Faulted(TCall::Recv))
    return TPosixWinsock::Recv(s, buffer, RecvLimit > 0 && length > RecvLimit ? RecvLimit : length, flags);
  // Error 0 stands for a receive of 0 bytes: the peer has closed.
  return WSAGetLastError() == 0 ? 0 : sock::SOCKET_ERROR;
}

int TFaultWinsock::CloseSocket(int s) {
  if (!Faulted(TCall::CloseSocket)) return TPosixWinsock::CloseSocket(s);
  // The handle is released all the same, as a failed close on a real system
  // may do; only the report is a failure.
  TPosixWinsock::CloseSocket(s);
  return sock::SOCKET_ERROR;
}

int TFaultWinsock::Accept(int s, sock::TSockAddrIn* address, int* length) {
  return Faulted(TCall::Accept) ? sock::SOCKET_ERROR : TPosixWinsock::Accept(s, address, length);
}

sock::TAsyncHandle TFaultWinsock::WSAAsyncGetHostByName(sock::THiddenWindow* window, unsigned message,
                                                        const char* name, char* buffer, int bufferLength) {
  if (Faulted(TCall::Lookup)) return 0;
  if (HoldLookup || LookupError) {
    HeldLookups.push_back(0x7000 + HeldLookups.size());
    if (LookupError)
      window->PostMessage(message, HeldLookups.back(), static_cast<intptr_t>(LookupError) << 16 | bufferLength);
    return HeldLookups.back();
  }
  return TPosixWinsock::WSAAsyncGetHostByName(window, message, name, buffer, bufferLength);
}

int TFaultWinsock::WSACancelAsyncRequest(sock::TAsyncHandle handle) {
  if (std::find(HeldLookups.begin(), HeldLookups.end(), handle) == HeldLookups.end())
    return TPosixWinsock::WSACancelAsyncRequest(handle);
  WithdrawnLookups.push_back(handle);
  return 0;
}

int TFaultWinsock::GetInterfaceAddresses(std::vector<sock::TInterfaceAddress>& addresses) {
  if (Faulted(TCall::Interfaces)) return sock::SOCKET_ERROR;
  if (!Interfaces) return TPosixWinsock::GetInterfaceAddresses(addresses);
  addresses = *Interfaces;
  return 0;
}
