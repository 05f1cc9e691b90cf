#pragma once
// THttpClient with its URL splitting and current URL within a test's reach.

#include "HttpClient.h"

class TestClient : public THttpClient {
public:
  TestClient() : THttpClient(nullptr) {}

  using THttpClient::ParseURL;

  std::string& URL() { return FURL; }
  const std::string& Path() const { return FPath; }
};
