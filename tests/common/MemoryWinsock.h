#pragma once
// A socket interface with no network behind it: each connection plays a
// script of what the peer does (bytes in chunks, a pause, an error, a close)
// and takes whatever is sent to it. Its notifications travel through the event
// queue as the real ones do, and a closed socket's notifications are dropped.
// It serves the transaction fuzz target, where arbitrary replies, chunkings
// and failures must be fed to the client quickly and without a peer process.

#include "PosixWinsock.h"

#include <QObject>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

class TMemoryWinsock : public sock::TPosixWinsock {
public:
  struct TStep {
    enum TKind { Data, WouldBlock, Error, Close, Cancel } Kind;
    std::string Bytes;  // Data
    int ErrorNo = 0;    // Error
  };
  struct TConnection {
    int ConnectError = 0;  // reported with FD_CONNECT; 0 connects
    int SendError = 0;     // the first send fails with it; 0 sends
    std::deque<TStep> Steps;  // after the last one the peer has closed
    std::string Sent;      // what the client sent
  };

  // Connections in the order the client will make them; one made when none is
  // left is refused.
  std::deque<TConnection> Script;
  std::vector<TConnection> Done;
  // Called when a Cancel step is reached.
  std::function<void()> OnCancel;
  int OpenSockets() const { return static_cast<int>(FSockets.size()); }

  int Socket(int family, int type, int protocol) override;
  int SetLinger(int s, bool on, int seconds) override;
  int SetReceiveBuffer(int s, int bytes) override;
  int SetReceiveLowWater(int s, int bytes) override;
  int WSAAsyncSelect(int s, sock::THiddenWindow* window, unsigned message, long mask) override;
  int Connect(int s, const sock::TSockAddrIn& address) override;
  int Send(int s, const char* data, int length, int flags) override;
  int Recv(int s, char* buffer, int length, int flags) override;
  int CloseSocket(int s) override;
  // Every name is this machine: nothing in memory may ask the system's resolver.
  sock::TAsyncHandle WSAAsyncGetHostByName(sock::THiddenWindow* window, unsigned message, const char* name,
                                           char* buffer, int bufferLength) override;

private:
  struct TSocket {
    sock::THiddenWindow* Window = nullptr;
    unsigned Message = 0;
    std::unique_ptr<QObject> Queue;  // deleting it drops queued notifications
    bool Connected = false;
    bool ClosePosted = false;
    TConnection Conn;
  };
  void Post(TSocket& s, int fd, uint16_t code, int error);
  std::map<int, TSocket> FSockets;
  int FNext = 1000;
};
