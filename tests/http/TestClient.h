#pragma once
// THttpClient with its protected steps and fields within a test's reach.

#include "HttpClient.h"

class TestClient : public THttpClient {
public:
  TestClient() : THttpClient(nullptr) {}

  using THttpClient::BuildHeader;
  using THttpClient::ParseURL;

  std::string& URL() { return FURL; }
  const std::string& Path() const { return FPath; }
  const std::string& Location() const { return FLocation; }
  const TExStringList& Lines() const { return FHeaderList; }
  void SetCommand(CmdType cmd) { FCommand = cmd; }
};
