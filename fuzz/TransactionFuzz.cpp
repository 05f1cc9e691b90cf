// Whole transactions against peers that send anything: the input is a script
// of reply bytes in chunks, pauses, errors, closes and cancels over one or
// more connections. Every failure must be a documented exception, the client
// must end with its connection closed and its time-out off, and its next
// request must work.
#include "FuzzSupport.h"
#include "HttpClient.h"
#include "MemoryWinsock.h"

namespace {

constexpr int Errors[] = {10054, 10057, 10060, 10053, 10035, 10004, 10061, 11001, 12345};

std::deque<TMemoryWinsock::TConnection> Script(const uint8_t* data, size_t size) {
  std::deque<TMemoryWinsock::TConnection> script(1);
  size_t i = 0;
  auto next = [&]() -> uint8_t { return i < size ? data[i++] : 0; };
  while (i < size && script.size() <= 25) {
    auto& c = script.back();
    using S = TMemoryWinsock::TStep;
    switch (next() % 8) {
      case 0:
      case 6: {
        const size_t n = std::min<size_t>(next() + 1, size - i);
        c.Steps.push_back({S::Data, std::string(reinterpret_cast<const char*>(data + i), n)});
        i += n;
        break;
      }
      case 1: c.Steps.push_back({S::WouldBlock, {}}); break;
      case 2: c.Steps.push_back({S::Error, {}, Errors[next() % std::size(Errors)]}); break;
      case 3: script.emplace_back(); break;
      case 4: c.ConnectError = Errors[next() % std::size(Errors)]; break;
      case 5: c.SendError = Errors[next() % std::size(Errors)]; break;
      case 7: c.Steps.push_back({S::Cancel, {}}); break;
    }
  }
  return script;
}

void Expect(bool ok, const char* what) {
  if (!ok) Defect(what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnsureApplication();
  TMemoryWinsock net;
  sock::SetWinsock(&net);
  {
    THttpClient client(nullptr);
    client.OutputFileMode = false;
    client.InputFileMode = false;
    net.OnCancel = [&] { client.Abort(); };
    net.Script = Script(data, size);
    try {
      client.Get("http://127.0.0.1:8080/start");
    } catch (const ESockError&) {
    } catch (const ERangeError&) {
    } catch (const Exception& e) {
      if (e.Message != "Empty URL" && e.Message.rfind("Too many redirections", 0) != 0 &&
          dynamic_cast<const EConvertError*>(&e) == nullptr)
        Defect("undocumented failure: " + e.Message);
    }
    Expect(!client.Connected, "connection left open");
    Expect(!client.TimeOutTimer->Running(), "time-out left running");
    Expect(net.OpenSockets() == 1, "a socket leaked");

    net.Script.clear();
    net.Script.push_back({0, 0, {{TMemoryWinsock::TStep::Data, "HTTP/1.0 200 OK\r\n\r\nnext"}}, {}});
    QCoreApplication::processEvents();
    client.Get("http://127.0.0.1:8080/next");
    Expect(client.Body == "next" && client.ReplyNumber == 200, "the next request failed");
  }
  sock::SetWinsock(nullptr);
  return 0;
}
