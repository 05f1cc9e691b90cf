// The request/reply transaction: passes, classification, redirection.
#include "HttpClient.h"

#include <new>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// A Content-Length beyond this is no use as a capacity hint.
constexpr int64_t MaxBodyHint = int64_t{1} << 30;

// A large body is written once, front to back, into fresh memory: in huge
// pages the kernel maps it with a few dozen faults instead of tens of
// thousands. Only advice: where the kernel declines, nothing changes.
void AdviseHugePages(char* data, size_t size) {
  constexpr size_t HugePage = size_t{2} << 20;
  if (size < 2 * HugePage) return;
  const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t from = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(data) + size) & ~(page - 1);
  madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

std::string BodyTooLarge(int64_t limit) { return "Reply body too large: more than " + std::to_string(limit) + " bytes"; }

}  // namespace

void THttpClient::RunTransaction() {
  // A Location belongs to the transaction that received it.
  FLocation.clear();
  std::string originHost;
  int32_t originPort = 0;
  for (int redirections = 0;; ++redirections) {
    ParseURL();
    if (redirections == 0) {
      originHost = Host;
      originPort = Port;
    }
    // Set on every pass: a request started from a handler shares these fields.
    FOriginHost = originHost;
    FOriginPort = originPort;
    BuildHeader();
    RaiseEvent(OnAboutToSend, this);
    RunPass();

    const int reply = ReplyNumber;
    if (reply >= 300 && reply <= 398) {
      bool handled = false;
      if (!FServerCookie.empty()) {
        HeaderInfo.Cookie = FServerCookie;
        FCookieShown = FServerCookie;
        FCookieHost = Host;
      }
      RaiseEvent(OnRedirect, handled);
      if (handled) return;
      // An empty URL (a redirection that never named a location) is left
      // empty, so that the next pass stops with "Empty URL". "//server/..."
      // names another server with this scheme. Otherwise the server that
      // redirected is the one to ask again, on its own port; and a proxy can
      // only route a path that comes with its server.
      const std::string origin = "http://" + Host + (Port == 80 ? "" : ":" + std::to_string(Port));
      if (FURL.rfind("//", 0) == 0) FURL = "http:" + FURL;
      else if (!FURL.empty() && FURL.find('/') == std::string::npos) FURL = origin + "/" + FURL;
      else if (!Proxy.empty() && !FURL.empty() && FURL.front() == '/') FURL = origin + FURL;
    }
    if (reply == 401) RaiseEvent(OnAuthenticationNeeded, this);
    // Only 300 to 302 set a new URL; repeating any other reply's request
    // would send the identical request again.
    if (reply < 300 || reply > 302) return;
    if (redirections == MaxRedirections) {
      throw Exception("Too many redirections: more than " + std::to_string(MaxRedirections));
    }
  }
}

void THttpClient::RunPass() {
  try {
    Connect();
    SendRequest();
    ReplyNumber = 0;
    ReadHeader();
    CaptureBody();
    Classify();
  } catch (const EComponentDestroyed&) {
    throw;
  } catch (...) {
    // The first failure is the one to report; a second one from closing is dropped.
    try {
      Disconnect();
    } catch (...) {
    }
    throw;
  }
  Disconnect();
}

int64_t THttpClient::BodyLength() const {
  // These replies end with their header, whatever length they announce; a
  // reply without a length is read to the close, whatever it is.
  const int reply = ReplyNumber;
  const bool bodiless = FCommand == cmdHead || (reply >= 100 && reply < 200) || reply == 204 || reply == 304;
  return bodiless && FContentLength >= 0 ? 0 : FContentLength;
}

void THttpClient::CaptureBody() {
  const int64_t length = BodyLength();
  const bool limited = BodyLimit > 0;
  if (limited && length > BodyLimit) throw Exception(BodyTooLarge(BodyLimit));
  // Without a length, a limited capture stops one byte past the limit, which
  // tells a body of exactly the limit from a longer one.
  const int64_t wanted = length >= 0 ? length : limited ? BodyLimit + 1 : -1;
  int64_t received = 0;
  if (InputFileMode) {
    received = CaptureFileBytes(Body, wanted);
  } else {
    const bool hinted = ReserveBody(length);
    received = CaptureStringBytes(Body, wanted);
    // A hint that the body fell short of must not hold its memory.
    if (hinted && received < length) Body.shrink_to_fit();
  }
  if (limited && received > BodyLimit) throw Exception(BodyTooLarge(BodyLimit));
  // A keep-alive peer leaves the connection open after the body: its length
  // ends the capture, and a close before it is a lost part of the body.
  if (length >= 0 && received < length) {
    throw ESockError("Connection closed after " + std::to_string(received) + " of " + std::to_string(length) +
                     " body bytes");
  }
}

bool THttpClient::ReserveBody(int64_t length) {
  if (length <= 0 || length > MaxBodyHint) return false;
  const auto wanted = static_cast<size_t>(length);
  // The last body's memory is used again when this body nearly fills it:
  // memory the process already has costs no page faults, while fresh memory
  // costs one per page. Far more than this body needs is given back.
  if (Body.capacity() >= wanted && Body.capacity() - wanted <= wanted / 128) return true;
  std::string().swap(Body);
  // The length only saves regrowing the string: when the memory is not
  // there, the string grows as the bytes arrive, and fails only if they do.
  try {
    Body.reserve(wanted);
    AdviseHugePages(Body.data(), Body.capacity());
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

void THttpClient::Classify() {
  const int reply = ReplyNumber;
  // 0 stands for a reply without a valid status or a complete header.
  if (reply == 0 || reply >= 400) {
    RaiseEvent(OnFailure, FCommand);
  } else if (reply < 299) {
    RaiseEvent(OnSuccess, FCommand);
    StatusMessage(2, "Transaction Completed");
  } else if (reply >= 300 && reply <= 302) {
    FURL = FLocation;
  }
}
