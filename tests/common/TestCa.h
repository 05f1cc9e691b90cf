#pragma once
// A certificate authority made on the spot with openssl, and a server
// certificate it signed for 127.0.0.1 and localhost (EC P-256, valid two days).

#include "TempDir.h"

#include <string>

class TestCa {
public:
  // Throws std::runtime_error when openssl fails.
  TestCa();
  std::string CaFile() const { return FDir.File("ca.pem"); }
  std::string CertificateFile() const { return FDir.File("server.pem"); }
  std::string KeyFile() const { return FDir.File("server.key"); }

private:
  TempDir FDir;
};
