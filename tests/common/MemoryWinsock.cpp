#include "MemoryWinsock.h"

#include "HiddenWindow.h"

#include <algorithm>
#include <cstring>

using namespace sock;

void TMemoryWinsock::Post(TSocket& s, int fd, uint16_t code, int error) {
  if (!s.Window) return;
  const intptr_t lParam = static_cast<intptr_t>((static_cast<uint32_t>(error) << 16) | code);
  s.Window->PostMessage(s.Message, static_cast<uintptr_t>(fd), lParam, s.Queue.get());
}

int TMemoryWinsock::Socket(int, int, int) {
  const int fd = FNext++;
  FSockets[fd].Queue = std::make_unique<QObject>();
  return fd;
}

int TMemoryWinsock::SetLinger(int, bool, int) { return 0; }
int TMemoryWinsock::SetReceiveBuffer(int, int) { return 0; }
int TMemoryWinsock::SetReceiveLowWater(int, int) { return 0; }

int TMemoryWinsock::WSAAsyncSelect(int s, THiddenWindow* window, unsigned message, long) {
  auto it = FSockets.find(s);
  if (it == FSockets.end()) {
    SetLastError(WSAENOTSOCK);
    return SOCKET_ERROR;
  }
  it->second.Window = window;
  it->second.Message = message;
  return 0;
}

int TMemoryWinsock::Connect(int s, const TSockAddrIn&) {
  auto it = FSockets.find(s);
  if (it == FSockets.end()) {
    SetLastError(WSAENOTSOCK);
    return SOCKET_ERROR;
  }
  TSocket& sock = it->second;
  if (Script.empty()) {
    sock.Conn.ConnectError = WSAECONNREFUSED;
  } else {
    sock.Conn = std::move(Script.front());
    Script.pop_front();
  }
  sock.Connected = sock.Conn.ConnectError == 0;
  Post(sock, s, FD_CONNECT, sock.Conn.ConnectError);
  SetLastError(WSAEWOULDBLOCK);
  return SOCKET_ERROR;
}

int TMemoryWinsock::Send(int s, const char* data, int length, int) {
  auto it = FSockets.find(s);
  if (it == FSockets.end() || !it->second.Connected) {
    SetLastError(it == FSockets.end() ? WSAENOTSOCK : WSAENOTCONN);
    return SOCKET_ERROR;
  }
  TConnection& c = it->second.Conn;
  if (c.SendError) {
    SetLastError(std::exchange(c.SendError, 0));
    // Memory can always take more: a send that "would block" can go on at once.
    if (WSAGetLastError() == WSAEWOULDBLOCK) Post(it->second, s, FD_WRITE, 0);
    return SOCKET_ERROR;
  }
  c.Sent.append(data, static_cast<size_t>(length));
  return length;
}

int TMemoryWinsock::Recv(int s, char* buffer, int length, int flags) {
  auto it = FSockets.find(s);
  if (it == FSockets.end() || !it->second.Connected) {
    SetLastError(it == FSockets.end() ? WSAENOTSOCK : WSAENOTCONN);
    return SOCKET_ERROR;
  }
  TSocket& sock = it->second;
  auto& steps = sock.Conn.Steps;
  while (!steps.empty() && steps.front().Kind == TStep::Cancel) {
    steps.pop_front();
    if (OnCancel) OnCancel();
  }
  if (steps.empty() || steps.front().Kind == TStep::Close) {
    if (!sock.ClosePosted) Post(sock, s, FD_CLOSE, 0);
    sock.ClosePosted = true;
    return 0;
  }
  TStep& step = steps.front();
  const bool peek = flags & MSG_PEEK_;
  switch (step.Kind) {
    case TStep::Data: {
      const int n = std::min(length, static_cast<int>(step.Bytes.size()));
      std::memcpy(buffer, step.Bytes.data(), static_cast<size_t>(n));
      if (!peek) {
        step.Bytes.erase(0, static_cast<size_t>(n));
        if (step.Bytes.empty()) steps.pop_front();
      }
      return n;
    }
    case TStep::WouldBlock:
    case TStep::Error:
      // A peek takes the step too: only data stays for the receive that follows.
      SetLastError(step.Kind == TStep::Error ? step.ErrorNo : WSAEWOULDBLOCK);
      steps.pop_front();
      // What follows "arrives" now: wake the waiting loop as a real socket would.
      Post(sock, s, FD_READ, 0);
      return SOCKET_ERROR;
    case TStep::Close:
    case TStep::Cancel:
      break;
  }
  return 0;
}


int TMemoryWinsock::CloseSocket(int s) {
  auto it = FSockets.find(s);
  if (it == FSockets.end()) {
    SetLastError(WSAENOTSOCK);
    return SOCKET_ERROR;
  }
  if (it->second.Window) Done.push_back(std::move(it->second.Conn));
  FSockets.erase(it);
  return 0;
}

sock::TAsyncHandle TMemoryWinsock::WSAAsyncGetHostByName(sock::THiddenWindow* window, unsigned message, const char*,
                                                         char* buffer, int bufferLength) {
  return TPosixWinsock::WSAAsyncGetHostByName(window, message, "127.0.0.1", buffer, bufferLength);
}
