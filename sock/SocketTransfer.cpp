// Moving bytes over the connected socket: buffers, lines, files and strings.
#include "AsyncSocket.h"

#include "HiddenWindow.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

using namespace sock;

namespace {

constexpr int ChunkSize = 65536;
// Lines are received a page at a time: whatever a read brings past the reply's
// header is the start of its body and goes through the line buffer, so a
// small read keeps that buffer, and the body's one extra copy, to a page.
constexpr int LineChunk = 4096;
constexpr auto MessageInterval = std::chrono::milliseconds(5);
// The longest a capture sleeps for its low-water mark before it reads what
// has come.
constexpr auto MarkWait = std::chrono::milliseconds(2);
constexpr uint16_t NoSocket = 0xFFFF;

struct TFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

// A name with a NUL byte names no file: opened as a C string it would open
// the file named by its first part instead.
std::FILE* OpenFile(const std::string& name, const char* mode) {
  return name.find('\0') == std::string::npos ? std::fopen(name.c_str(), mode) : nullptr;
}

// Counters that wrap as 32-bit values do, instead of overflowing.
void Grow(int32_t& counter, int n) {
  counter = static_cast<int32_t>(static_cast<uint32_t>(counter) + static_cast<uint32_t>(n));
}

// The receive low-water mark of a long capture of known length. A reply that
// comes about as fast as it is read would wake the capture for every few
// kilobytes, each wake a pass of the event loop and, with the sender on the
// other processor, a wake of this one from idle. Woken only once a whole
// chunk, or the rest of the reply, is waiting, the capture makes under half
// the passes, and 16 MiB come in a fifth sooner. A sleep for the mark is
// bounded: one that ends without it means the reply comes slower than that,
// and its rest is read as it comes, as every reply is without a mark, each
// packet raising its event. The mark is one byte again at the end, for
// whatever is read next on the socket.
class TLowWaterMark {
public:
  TLowWaterMark(const uint16_t& socket, std::shared_ptr<const bool> alive, bool on)
      : FSocket(socket), FAlive(std::move(alive)), FOn(on) {}
  ~TLowWaterMark() {
    if (*FAlive && FSocket != NoSocket) Set(1);
  }
  TLowWaterMark(const TLowWaterMark&) = delete;
  TLowWaterMark& operator=(const TLowWaterMark&) = delete;

  // Before a receive of up to `want` bytes, a chunk at most: the most the
  // capture takes.
  void Before(size_t want) {
    if (FOn) Set(static_cast<int>(want));
  }
  // After it, with what it returned.
  void After(int received) {
    if (FStalled && received < FBytes) {
      FOn = false;
      Set(1);
    }
    if (received > 0 && FBound) {
      FBound->stop();
      FStalled = false;
    }
  }
  // Before a pass of the event loop that sleeps until the next event. The
  // bound runs from the first sleep after the last bytes: other events may
  // end a sleep early, and must not put off the bound.
  void BeforeSleep() {
    if (FBytes > 1 && !(FBound && FBound->isActive())) {
      if (!FBound) {
        FBound.emplace();
        FBound->setSingleShot(true);
        FBound->setInterval(MarkWait);
        QObject::connect(&*FBound, &QTimer::timeout, [this] { FStalled = true; });
      }
      FBound->start();
    }
  }

private:
  void Set(int bytes) {
    if (bytes != FBytes && Winsock().SetReceiveLowWater(FSocket, bytes) == 0) FBytes = bytes;
  }

  const uint16_t& FSocket;
  std::shared_ptr<const bool> FAlive;
  bool FOn;
  int FBytes = 1;
  bool FStalled = false;         // the bound passed without the mark's bytes
  std::optional<QTimer> FBound;  // runs while the capture waits for the mark
};

}  // namespace

void TAsyncSocket::SendBuffer(const char* Data, uint16_t Length) {
  StatusMessage(4, "Sending Buffer");
  TTimeOutScope timer(*this);
  if (!Canceled) {
    size_t length = Length;
    if (length == 0) {
      length = strnlen(Data, ChunkSize);
      if (length > 0xFFFF) throw ERangeError();
    }
    size_t remaining = length;
    do {
      const int n = Winsock().Send(SocketHandle, Data + (length - remaining), static_cast<int>(remaining), 0);
      if (n == 0) break;
      if (n > 0) {
        remaining -= static_cast<size_t>(n);
      } else {
        std::string text;
        CheckSocketError(WSAEWOULDBLOCK, text);
        WaitForSendRoom();
      }
    } while (remaining > 0 && !Canceled);
  }
  if (Canceled) {
    Canceled = false;
    throw EAbortError("Socket send aborted");
  }
}

void TAsyncSocket::WaitForSendRoom() {
  // The event loop runs meanwhile, so the window stays alive and a cancel or
  // the time-out ends the wait at once.
  FSendRoom = false;
  do WaitPass([this] { return FSendRoom || Canceled; });
  while (!FSendRoom && !Canceled);
}

void TAsyncSocket::Write(const std::string& Text) {
  StatusMessage(8, "Write");
  if (Text.size() >= ChunkSize) throw ERangeError();
  const size_t length = strnlen(Text.c_str(), Text.size());
  std::memcpy(Buffer.data(), Text.data(), length);
  Buffer[length] = '\0';
  SendBuffer(Buffer.data(), 0);
}

void TAsyncSocket::Writeln(const std::string& Text) {
  StatusMessage(8, "Writeln");
  Write(Text + "\r\n");
}

std::string TAsyncSocket::ReadLn() {
  StatusMessage(8, "ReadLn");
  TTimeOutScope timer(*this);
  // Lines are cut from what was received; whatever follows a line stays for
  // the next line or the capture.
  size_t searched = 0;
  do {
    const char* lf = FReceived.Size() > searched ? static_cast<const char*>(std::memchr(
                                                       FReceived.Data() + searched, '\n', FReceived.Size() - searched))
                                                 : nullptr;
    const size_t length = lf ? static_cast<size_t>(lf - FReceived.Data()) + 1 : FReceived.Size();
    if (length > MaxLineLength) throw ESockError("Line too long");
    if (lf) {
      std::string line(FReceived.Data(), length);
      FReceived.Take(length);
      return line;
    }
    searched = length;
    const int n = Winsock().Recv(SocketHandle, FReceived.Room(LineChunk), LineChunk, 0);
    if (n == 0) {
      // A line the peer never ended is no line.
      FReceived.Clear();
      return {};
    }
    if (n > 0) {
      FReceived.Added(static_cast<size_t>(n));
    } else {
      LastErrorNo = Winsock().WSAGetLastError();
      // Not connected: no line can come; the caller sees an empty one.
      if (LastErrorNo == WSAENOTCONN) {
        FReceived.Clear();
        return {};
      }
      std::string text;
      CheckSocketError(WSAEWOULDBLOCK, text);
    }
    ProcessMessages(n < 0);
  } while (!Canceled);
  Canceled = false;
  throw EAbortError("Socket readln aborted");
}

std::string TAsyncSocket::Transaction(const std::string& Data) {
  StatusMessage(8, "Transaction");
  ReplyNumber = 0;
  Writeln(Data);
  LastReply = ReadLn();
  if (!LastReply.empty()) {
    StatusMessage(1, LastReply);
    size_t digits = 0;
    while (digits < LastReply.size() && digits < 10 && LastReply[digits] >= '0' && LastReply[digits] <= '9') ++digits;
    if (digits > 0) {
      int64_t value = std::stoll(LastReply.substr(0, digits));
      if (value > std::numeric_limits<int32_t>::max()) value = 0;
      if (value > std::numeric_limits<int16_t>::max()) throw ERangeError();
      ReplyNumber = static_cast<int16_t>(value);
    }
  }
  return LastReply;
}

void TAsyncSocket::SendFile(const std::string& FileName) {
  StatusMessage(8, "SendFile");
  TFile file(OpenFile(FileName, "rb"));
  if (!file) throw EFOpenError(FileName);
  do {
    if (Canceled) break;
    const size_t chunk = std::fread(Buffer.data(), 1, ChunkSize, file.get());
    // A file that shrank while being sent ends the transfer.
    if (chunk == 0) break;
    size_t remaining = chunk;
    do {
      const int n = Winsock().Send(SocketHandle, Buffer.data() + (chunk - remaining), static_cast<int>(remaining), 0);
      // The peer takes no more: stop, rather than skip to the next chunk.
      if (n == 0) return;
      if (n > 0) {
        remaining -= static_cast<size_t>(n);
        Grow(BytesSent, n);
        RaiseEvent(OnPacketSent, this);
      } else {
        std::string text;
        CheckSocketError(WSAEWOULDBLOCK, text);
      }
      ProcessMessages(false);
      if (n < 0 && !Canceled) WaitForSendRoom();
    } while (remaining > 0 && !Canceled);
  } while (!std::feof(file.get()));
  if (Canceled) {
    Canceled = false;
    throw EAbortError("Socket send aborted");
  }
}

int64_t TAsyncSocket::Capture(const std::function<char*(size_t)>& room, const std::function<void(size_t)>& took,
                              int64_t Size) {
  BytesRecvd = 0;
  TTimeOutScope timer(*this);
  // A reply of known length larger than the kernel's first window would
  // otherwise come in rounds, the window growing a step with each; with room
  // for it whole, the peer sends it at once. A megabyte comes in half the time.
  if (Size > ChunkSize && Size <= std::numeric_limits<int>::max())
    Winsock().SetReceiveBuffer(SocketHandle, static_cast<int>(Size));
  int64_t received = 0;
  // What a line read brought beyond its line comes first.
  if (FReceived.Size() > 0 && Size != 0) {
    const size_t n = Size < 0 ? FReceived.Size() : static_cast<size_t>(std::min<int64_t>(FReceived.Size(), Size));
    std::memcpy(room(n), FReceived.Data(), n);
    took(n);
    FReceived.Take(n);
    received = static_cast<int64_t>(n);
    Grow(BytesRecvd, static_cast<int>(n));
    RaiseEvent(OnPacketRecvd, this);
    TimerOn();
  }
  TLowWaterMark mark(SocketHandle, FAlive, Size > ChunkSize);
  auto lastPass = std::chrono::steady_clock::now();
  while (!Canceled && (Size < 0 || received < Size)) {
    // Never more than Size asks for: what follows belongs to nobody here.
    const size_t want = Size < 0 ? ChunkSize : static_cast<size_t>(std::min<int64_t>(ChunkSize, Size - received));
    mark.Before(want);
    const int n = Winsock().Recv(SocketHandle, room(want), static_cast<int>(want), 0);
    mark.After(n);
    took(n > 0 ? static_cast<size_t>(n) : 0);
    if (n == 0) break;
    if (n > 0) {
      received += n;
      Grow(BytesRecvd, n);
      RaiseEvent(OnPacketRecvd, this);
      TimerOn();
    } else {
      LastErrorNo = Winsock().WSAGetLastError();
      if (LastErrorNo == WSAENOTCONN) break;
      std::string text;
      CheckSocketError(WSAEWOULDBLOCK, text);
    }
    // While bytes pour in, a pass of the event loop after every chunk costs
    // a fifth of the throughput; one every few milliseconds keeps the window,
    // a cancel and the time-out just as prompt.
    const auto now = std::chrono::steady_clock::now();
    if (n < 0 || now - lastPass >= MessageInterval) {
      if (n < 0) mark.BeforeSleep();
      ProcessMessages(n < 0);
      lastPass = now;
    }
  }
  return received;
}

void TAsyncSocket::CaptureFile(const std::string& FileName) { CaptureFileBytes(FileName, -1); }

int64_t TAsyncSocket::CaptureFileBytes(const std::string& FileName, int64_t Size) {
  StatusMessage(8, "CaptureFile");
  TFile file(OpenFile(FileName, "wb"));
  if (!file) throw EFCreateError(FileName);
  // Buffer is the file's only buffer: each chunk goes from it to the file
  // without a second copy through the stream's own.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  const int64_t received = Capture([this](size_t) { return Buffer.data(); },
                                   [&](size_t n) {
                                     if (std::fwrite(Buffer.data(), 1, n, file.get()) != n)
                                       throw Exception("Stream write error");
                                   },
                                   Size);
  if (std::fflush(file.get()) != 0) throw Exception("Stream write error");
  if (Canceled) {
    Canceled = false;
    throw EAbortError("Socket send aborted");
  }
  return received;
}

void TAsyncSocket::CaptureString(std::string& Text, int32_t Size) {
  CaptureStringBytes(Text, Size == -1 ? -1 : std::max(Size, 0));
}

int64_t TAsyncSocket::CaptureStringBytes(std::string& Text, int64_t Size) {
  StatusMessage(8, "Capture String");
  // The kernel writes straight into Text, over the bytes it held: a string
  // kept from the last reply has its room already, where growing an emptied
  // one would first fill every chunk with zeros only to have them
  // overwritten. Beyond the bytes it held, the string grows geometrically.
  // However the capture ends, Text ends with the last byte received; but when
  // the component was destroyed by a handler during it, Text may have gone
  // with it (a client's body is its member), and is not touched.
  struct TEnd {
    std::string& Text;
    std::shared_ptr<const bool> Alive;
    size_t At = 0;
    ~TEnd() {
      if (*Alive) Text.resize(At);
    }
  } end{Text, FAlive};
  const int64_t received = Capture(
      [&](size_t n) {
        if (Text.size() < end.At + n) Text.resize(end.At + n);
        return Text.data() + end.At;
      },
      [&](size_t n) { end.At += n; }, Size);
  if (Canceled) {
    Canceled = false;
    throw EAbortError("Socket capture aborted");
  }
  return received;
}

uint16_t TAsyncSocket::Accept() {
  StatusMessage(4, "Accepting");
  FFresh = false;
  do WaitPass([this] { return AsyncDone || Canceled; });
  while (!AsyncDone && !Canceled);
  if (Canceled) throw ESockError("Accepting Canceled");
  if (!EventOK) throw ESockError("Error creating Data Connection");
  TSockAddrIn peer;
  int length = sizeof peer;
  const int h = Winsock().Accept(SocketHandle, &peer, &length);
  // The pending connection is taken: the next Accept waits for another.
  AsyncDone = false;
  if (h < 0 || h >= NoSocket) {
    if (h >= 0) Winsock().CloseSocket(h);
    throw ERangeError();
  }
  Winsock().WSAAsyncSelect(h, SocketWindow, SOCKET_MESSAGE, SelectedEvents);
  RemoteAddr = peer;
  if (Canceled) {
    Canceled = false;
    throw EAbortError("Socket send aborted");
  }
  return static_cast<uint16_t>(h);
}

uint16_t TAsyncSocket::Listen(uint16_t LocalPort) {
  FFresh = false;
  TSockAddrIn address;
  address.sin_family = AF_INET_;
  address.sin_port = Winsock().Htons(LocalPort);
  address.sin_addr = Winsock().InetAddr("127.0.0.1");
  std::string text;
  if (Winsock().Bind(SocketHandle, address) == SOCKET_ERROR || Winsock().Listen(SocketHandle, 16) == SOCKET_ERROR ||
      Winsock().GetSockName(SocketHandle, address) == SOCKET_ERROR) {
    CheckSocketError(0, text);
    throw ESockError("Listening failed");
  }
  return Winsock().Htons(address.sin_port);
}
