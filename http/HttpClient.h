#pragma once
// THttpClient: an HTTP/1.0 client on top of TAsyncSocket. One call per request
// runs the whole transaction (connect, send, read the reply, capture the body,
// follow redirections, close) and returns only when it has ended; while it
// waits, the application's event loop keeps running, so every event below is
// raised synchronously, nested inside the request operation.
//
// Events of one pass, in order: OnAboutToSend; OnHostResolved (only for a name
// that had to be looked up); OnConnect; OnPacketRecvd per body chunk; OnSuccess
// or OnFailure; OnStatus "Transaction Completed" (level 2, after OnSuccess
// only); OnDisconnect. A failed exchange closes the connection before its
// exception leaves the request operation; an HTTP error reply is OnFailure, not
// an exception.

#include "AsyncSocket.h"
#include "ExtStrings.h"

#include <cstdint>
#include <functional>
#include <string>

// Which request operation is running; passed to OnSuccess and OnFailure.
enum CmdType : uint8_t {
  cmdGet = 0,
  cmdOptions = 1,
  cmdHead = 2,
  cmdPost = 3,
  cmdPut = 4,
  cmdPatch = 5,
  cmdCopy = 6,
  cmdMove = 7,
  cmdDelete = 8,
  cmdLink = 9,
  cmdUnlink = 10,
  cmdTrace = 11,
};

using TResultEvent = std::function<void(CmdType Cmd)>;

// Optional request header values; every one empty means no such line.
class THeaderInfo {
public:
  std::string LocalMailAddress;  // "From"
  std::string LocalProgram;      // "User-Agent"
  std::string Cookie;            // "Cookie"; a redirection may replace it
  std::string Referer;           // "Referer"
  std::string UserId;            // with Password: "Authorization: Basic ..."
  std::string Password;
};

class THttpClient : public TAsyncSocket {
public:
  explicit THttpClient(TComponent* AOwner);
  ~THttpClient() override;

  // Ends the running request: the waiting socket operation raises its cancel
  // error. Reports no status text of its own.
  void Abort() override;

  // Request operations. Each records its command and runs the transaction;
  // fields it does not set keep their values from earlier requests.
  virtual void Options(const std::string& URL);
  virtual void Get(const std::string& URL);
  // Data is URL-encoded unless OutputFileMode, where it names the file to send.
  virtual void Post(const std::string& URL, const std::string& Data);
  // Data is sent as it is, or with OutputFileMode names the file to send.
  virtual void Put(const std::string& URL, const std::string& Data);
  virtual void Head(const std::string& URL);
  virtual void Patch(const std::string& URL, const std::string& Data);
  virtual void Delete(const std::string& URL);
  virtual void Trace(const std::string& URL, const std::string& Data);
  // TargetURI goes out in a "URI-header" line.
  virtual void Copy(const std::string& URL, const std::string& TargetURI);
  virtual void Move(const std::string& URL, const std::string& TargetURI);
  // TargetURI goes out in a "Link" line; no body is sent or announced.
  virtual void Link(const std::string& URL, const std::string& TargetURI);
  virtual void Unlink(const std::string& URL, const std::string& TargetURI);

  // Published properties, with their values at creation. Host, Port, TimeOut,
  // ReportLevel, Proxy, ProxyPort and the socket events come from TAsyncSocket.
  std::string Body = "Default.htm";   // reply body, or the file that receives it
  std::string Header = "Head.txt";    // reply header text, or the file that receives it
  THeaderInfo HeaderInfo;
  bool InputFileMode = false;         // true: the body goes to the file named by Body
  bool OutputFileMode = false;        // true: the header goes to the file named by Header,
                                      // and Post/Put/Patch/Trace data names a file
  TNotifyEvent OnAboutToSend;
  TResultEvent OnSuccess;             // reply number below 299
  TResultEvent OnFailure;             // reply number 400 and above
  THandlerEvent OnRedirect;           // reply number 300 to 398; Handled ends the transaction
  TNotifyEvent OnAuthenticationNeeded;  // reply number 401, after the connection is closed

  // The most body bytes a reply may bring; past it the request fails with an
  // Exception "Reply body too large: more than <limit> bytes". 0: no limit.
  int64_t BodyLimit = 0;

  // Limits on what a reply may send before its body.
  static constexpr size_t MaxHeaderBytes = 1 << 20;
  static constexpr int MaxHeaderLines = 100000;
  // Redirections followed in one transaction; one more ends it with an Exception.
  static constexpr int MaxRedirections = 20;

protected:
  virtual void RunTransaction();
  virtual void ParseURL();
  virtual void BuildHeader();
  virtual void ReadHeader();
  virtual void SendRequest();

  std::string FPath;              // request path of the current URL
  TExStringList FHeaderList;      // lines of the request being composed
  std::string FLocation;          // last Location received in this transaction
  std::string FServerCookie;      // Set-Cookie of the current reply
  std::string FSendData;          // data to send, or the file that holds it
  std::string FTargetURI;         // second argument of Copy, Move, Link, Unlink
  std::string FURL;               // current URL
  CmdType FCommand = cmdGet;
  // The last cookie a server set on a redirection, as shown in
  // HeaderInfo.Cookie, and the server that set it.
  std::string FCookieShown;
  std::string FCookieHost;
  // Where the request operation was aimed: credentials go nowhere else.
  std::string FOriginHost;
  int32_t FOriginPort = 0;
  // The reply's Content-Length; -1 when none.
  int64_t FContentLength = -1;

private:
  void Request(CmdType Cmd, const std::string& URL);
  void RunPass();
  // The number of body bytes the reply announces, or -1 for "up to the close".
  int64_t BodyLength() const;
  void CaptureBody();
  // Reserves Body for a body of `length` bytes when that memory is there;
  // true when it did.
  bool ReserveBody(int64_t length);
  void Classify();
  bool CredentialsAllowed() const;
  // The Cookie value for the current pass, empty for none.
  std::string CookieToSend() const;
  void SendBytes(const std::string& bytes);
};
