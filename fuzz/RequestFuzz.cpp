// Any URL and any header values through URL splitting and request
// composition: the request never carries a raw CR, LF or NUL in a line, and
// the only failures are the documented ones.
#include "FuzzSupport.h"
#include "HttpClient.h"

namespace {

class TClient : public THttpClient {
public:
  TClient() : THttpClient(nullptr) {}
  void Compose(const std::string& url, CmdType cmd) {
    FURL = url;
    FCommand = cmd;
    ParseURL();
    BuildHeader();
  }
  const TExStringList& Lines() const { return FHeaderList; }
};

bool Documented(const Exception& e) {
  return e.Message == "Empty URL" || e.Message == "HTTP Secure Socket is not supported" ||
         dynamic_cast<const EConvertError*>(&e) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnsureApplication();
  if (size < 1) return 0;
  static TClient client;
  const std::vector<std::string> f = Fields(data + 1, size - 1, 8);
  client.Port = 0;
  client.Host.clear();
  client.Proxy = (data[0] & 0x80) ? f[7] : std::string();
  client.HeaderInfo = {f[1], f[2], f[3], f[4], f[5], f[6]};
  try {
    client.Compose(f[0], static_cast<CmdType>(data[0] % 12));
  } catch (const Exception& e) {
    if (!Documented(e)) Defect("undocumented failure: " + e.Message);
    return 0;
  }
  for (const std::string& line : client.Lines().Items)
    if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) Defect("raw CR, LF or NUL in: " + line);
  return 0;
}
