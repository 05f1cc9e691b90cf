#include "TestCa.h"

#include "RunProgram.h"

#include <stdexcept>

TestCa::TestCa() {
  const auto file = [this](const char* name) { return FDir.File(name); };
  FDir.WriteFile("server.ext",
                 "subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                 "basicConstraints=CA:FALSE\n"
                 "keyUsage=critical,digitalSignature\n"
                 "extendedKeyUsage=serverAuth\n"
                 "subjectKeyIdentifier=hash\n"
                 "authorityKeyIdentifier=keyid,issuer\n");
  const std::vector<std::vector<std::string>> steps = {
      {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "2",
       "-keyout", file("ca.key"), "-out", file("ca.pem"), "-subj", "/CN=Test CA", "-addext",
       "keyUsage=critical,keyCertSign,cRLSign"},
      {"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
       file("server.key"), "-out", file("server.csr"), "-subj", "/CN=localhost"},
      {"openssl", "x509", "-req", "-in", file("server.csr"), "-CA", file("ca.pem"), "-CAkey", file("ca.key"),
       "-CAcreateserial", "-days", "2", "-extfile", file("server.ext"), "-out", file("server.pem")},
  };
  for (const auto& step : steps)
    if (RunProgram(step, file("openssl.log")) != 0) throw std::runtime_error("openssl failed: " + FDir.ReadFile("openssl.log"));
}
