// Composing the request lines and sending the request.
#include "HttpClient.h"

#include "RequestText.h"
#include "Streams.h"
#include "UUProcessor.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

const char* MethodWord(CmdType cmd) {
  switch (cmd) {
    case cmdGet: return "GET ";
    case cmdOptions: return "OPTIONS ";
    case cmdHead: return "HEAD ";
    case cmdPost: return "POST ";
    case cmdPut: return "PUT ";
    case cmdPatch: return "PATCH ";
    case cmdCopy: return "COPY ";
    case cmdMove: return "MOVE ";
    case cmdDelete: return "DELETE ";
    case cmdLink: return "LINK ";
    case cmdUnlink: return "UNLINK ";
    case cmdTrace: return "TRACE ";
  }
  return "";
}

bool SendsBody(CmdType cmd) { return cmd == cmdPost || cmd == cmdPut || cmd == cmdPatch || cmd == cmdTrace; }

int64_t FileSize(const std::string& fileName) {
  // A name with a NUL byte names no file; never measure the part before it.
  if (fileName.find('\0') != std::string::npos) throw EFOpenError(fileName);
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(fileName.c_str(), "rb"), &std::fclose);
  if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) throw EFOpenError(fileName);
  return static_cast<int64_t>(std::ftell(f.get()));
}

// Base64 of the bytes, as one line.
std::string Base64Line(TComponent* owner, const std::string& bytes) {
  TMemoryStream input(bytes);
  TMemoryStream output;
  TUUProcessor processor(owner);
  processor.Method = uuMime;
  processor.InputStream = &input;
  processor.OutputStream = &output;
  processor.Encode();
  std::string line;
  for (const char c : output.Bytes()) {
    if (c != '\r' && c != '\n') line += c;
  }
  return line;
}

bool SameHostName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string Trimmed(const std::string& s) {
  const size_t from = s.find_first_not_of(' ');
  return from == std::string::npos ? std::string() : s.substr(from, s.find_last_not_of(' ') - from + 1);
}

}  // namespace

bool THttpClient::CredentialsAllowed() const { return Port == FOriginPort && SameHostName(Host, FOriginHost); }

std::string THttpClient::CookieToSend() const {
  const std::string& cookie = HeaderInfo.Cookie;
  if (cookie.empty()) return {};
  // A server's cookie goes back only to its own server, whatever the port,
  // and only as name=value: its attributes are for the client, not for servers.
  if (cookie == FCookieShown) return SameHostName(Host, FCookieHost) ? Trimmed(cookie.substr(0, cookie.find(';'))) : "";
  // The caller's own cookie is a credential like any other.
  return CredentialsAllowed() ? cookie : "";
}

void THttpClient::BuildHeader() {
  FHeaderList.Clear();
  const std::string& target = Proxy.empty() ? FPath : FURL;
  FHeaderList.Add(MethodWord(FCommand) + http::EscapeUriBytes(target) + " HTTP/1.0");
  const std::string host = http::EscapeUriBytes(Host);
  if (!Proxy.empty()) {
    FHeaderList.Add("Proxy-Connection: Keep-Alive");
    FHeaderList.Add("Host: " + host);
  }
  FHeaderList.SetHeader("Host", host);
  FHeaderList.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
  FHeaderList.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
  const THeaderInfo& info = HeaderInfo;
  if (!info.LocalProgram.empty()) FHeaderList.SetHeader("User-Agent", http::EscapeLineBreaks(info.LocalProgram));
  if (!info.LocalMailAddress.empty()) FHeaderList.SetHeader("From", http::EscapeLineBreaks(info.LocalMailAddress));
  if (const std::string cookie = CookieToSend(); !cookie.empty())
    FHeaderList.SetHeader("Cookie", http::EscapeLineBreaks(cookie));
  if (!info.Referer.empty()) FHeaderList.SetHeader("Referer", http::EscapeUriBytes(info.Referer));
  if (!info.UserId.empty() && !info.Password.empty() && CredentialsAllowed()) {
    FHeaderList.SetHeader("Authorization", "Basic " + Base64Line(this, info.UserId + ":" + info.Password));
  }
  FHeaderList.Add("Content-type: application/x-www-form-urlencoded");
  if (FCommand == cmdCopy || FCommand == cmdMove) FHeaderList.Add("URI-header: " + http::EscapeUriBytes(FTargetURI));
  if (FCommand == cmdLink || FCommand == cmdUnlink) FHeaderList.Add("Link: " + http::EscapeUriBytes(FTargetURI));
  if (SendsBody(FCommand)) {
    const int64_t length = OutputFileMode ? FileSize(FSendData) : static_cast<int64_t>(FSendData.size());
    FHeaderList.Add("Content-Length: " + std::to_string(length));
  }
}

void THttpClient::SendRequest() {
  // Header, blank line and a string body leave in one piece: split sends of
  // a small request would wait on each other's acknowledgement.
  StatusMessage(8, "Write");
  std::string request = FHeaderList.Text() + "\r\n";
  const bool body = SendsBody(FCommand);
  if (body && !OutputFileMode) request += FSendData;
  SendBytes(request);
  if (body && OutputFileMode) SendFile(FSendData);
}

void THttpClient::SendBytes(const std::string& bytes) {
  // SendBuffer takes at most 65535 bytes and reads a length of 0 as "up to
  // the first NUL", so the bytes go in counted pieces, NULs and all.
  constexpr size_t Piece = 65535;
  for (size_t at = 0; at < bytes.size(); at += Piece) {
    const size_t n = std::min(Piece, bytes.size() - at);
    SendBuffer(bytes.data() + at, static_cast<uint16_t>(n));
  }
}
