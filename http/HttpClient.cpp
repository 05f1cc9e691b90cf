#include "HttpClient.h"

#include "UrlEncoder.h"

THttpClient::THttpClient(TComponent* AOwner) : TAsyncSocket(AOwner) {}

THttpClient::~THttpClient() {
  // The base destructor can no longer reach this override, so it runs here,
  // with the component already marked as going away.
  MarkDestroying();
  THttpClient::Abort();
}

void THttpClient::Abort() {
  AsyncDone = true;
  Cancel();
}

void THttpClient::Request(CmdType Cmd, const std::string& URL) {
  FURL = URL;
  FCommand = Cmd;
  RunTransaction();
}

void THttpClient::Options(const std::string& URL) { Request(cmdOptions, URL); }
void THttpClient::Get(const std::string& URL) { Request(cmdGet, URL); }
void THttpClient::Head(const std::string& URL) { Request(cmdHead, URL); }
void THttpClient::Delete(const std::string& URL) { Request(cmdDelete, URL); }

void THttpClient::Post(const std::string& URL, const std::string& Data) {
  if (OutputFileMode) {
    FSendData = Data;
  } else {
    TUrlEncoder encoder(this);
    encoder.InputString = Data;
    FSendData = encoder.Encode();
  }
  Request(cmdPost, URL);
}

void THttpClient::Put(const std::string& URL, const std::string& Data) {
  FSendData = Data;
  Request(cmdPut, URL);
}

void THttpClient::Patch(const std::string& URL, const std::string& Data) {
  FSendData = Data;
  Request(cmdPatch, URL);
}

void THttpClient::Trace(const std::string& URL, const std::string& Data) {
  FSendData = Data;
  Request(cmdTrace, URL);
}

void THttpClient::Copy(const std::string& URL, const std::string& TargetURI) {
  FTargetURI = TargetURI;
  Request(cmdCopy, URL);
}

void THttpClient::Move(const std::string& URL, const std::string& TargetURI) {
  FTargetURI = TargetURI;
  Request(cmdMove, URL);
}

void THttpClient::Link(const std::string& URL, const std::string& TargetURI) {
  FTargetURI = TargetURI;
  Request(cmdLink, URL);
}

void THttpClient::Unlink(const std::string& URL, const std::string& TargetURI) {
  FTargetURI = TargetURI;
  Request(cmdUnlink, URL);
}
