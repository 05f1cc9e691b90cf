#include "sources/WhoisQuery.h"

#include "sources/ErrorTexts.h"
#include "sources/ServerAddress.h"
#include "sources/SourcePolicy.h"
#include "sources/WhoisText.h"

#include <algorithm>
#include <array>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <cctype>
#include <memory>
#include <vector>

namespace site {

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using boost::system::error_code;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

class WhoisExchange : public std::enable_shared_from_this<WhoisExchange> {
public:
  WhoisExchange(std::shared_ptr<ReportContext> context, WhoisServer server, bool privateAllowed, WhoisDone done)
      : FContext(std::move(context)), FServer(std::move(server)), FSocket(FContext->Executor), FTimer(FContext->Executor),
        FPrivateAllowed(privateAllowed), FDone(std::move(done)) {}

  void Start(const std::string& query, std::chrono::steady_clock::time_point deadline) {
    FQuery = query + "\r\n";
    FTimer.expires_at(deadline);
    FTimer.async_wait([self = shared_from_this()](error_code error) {
      if (!error) self->Fail("Сервер WHOIS " + self->FServer.Name() + ": превышено время ожидания", true);
    });
    // A referral after the page has ended leads nowhere anyone waits for.
    if (FContext->Ended) return Fail("Страница уже завершена");
    // Nobody reads the answer once the page has ended: its connection is closed then.
    FContext->WhenEnded([weak = weak_from_this()] {
      if (const auto self = weak.lock()) self->Fail("Страница уже завершена");
    });
    if (!SourcePortAllowed(FServer.Port, "43", FContext->Shared.Opts))
      return Fail("Сервер WHOIS " + FServer.Name() + " указан с портом, отличным от 43: обращение к нему запрещено");
    ServerEndpoints(*FContext->Dns, FServer.Host, FServer.Port, [self = shared_from_this()](std::vector<tcp::endpoint> found, std::string failure) {
      if (self->FFinished) return;
      if (found.empty()) return self->Fail("Не удалось найти адрес сервера WHOIS " + self->FServer.Name() + ": " + failure);
      self->Connect(std::move(found));
    });
  }

private:
  void Connect(std::vector<tcp::endpoint> endpoints) {
    std::erase_if(endpoints, [this](const tcp::endpoint& e) { return !SourceAddressAllowed(e.address(), FPrivateAllowed); });
    if (endpoints.empty())
      return Fail("Адрес сервера WHOIS " + FServer.Name() + " относится к частной сети: обращение к нему запрещено");
    asio::async_connect(FSocket, endpoints, [self = shared_from_this()](error_code error, const tcp::endpoint&) {
      if (self->FFinished) return;
      if (error) return self->Fail("Не удалось подключиться к серверу WHOIS " + self->FServer.Name() + ": " + SystemErrorText(error.value()));
      asio::async_write(self->FSocket, asio::buffer(self->FQuery), [self](error_code error, std::size_t) {
        if (self->FFinished) return;
        if (error) return self->Fail("Сервер WHOIS " + self->FServer.Name() + " закрыл соединение");
        self->Read();
      });
    });
  }

  void Read() {
    FSocket.async_read_some(asio::buffer(FChunk), [self = shared_from_this()](error_code error, std::size_t size) {
      if (self->FFinished) return;
      self->FAnswer.append(self->FChunk.data(), size);
      if (self->FAnswer.size() > self->FContext->Shared.Opts.WhoisMaxBytes)
        return self->Fail("Ответ сервера WHOIS " + self->FServer.Name() + " больше " +
                          std::to_string(self->FContext->Shared.Opts.WhoisMaxBytes) + " байт");
      if (error == asio::error::eof) {
        std::string text = WhoisTextToUtf8(self->FAnswer);
        // A server that closes having said nothing has not answered, whatever the connection did.
        if (text.find_first_not_of(" \t\n") == std::string::npos)
          return self->Fail("Сервер WHOIS " + self->FServer.Name() + " закрыл соединение, не прислав ответа");
        return self->Finish({std::move(text), {}, false});
      }
      if (error) return self->Fail("Соединение с сервером WHOIS " + self->FServer.Name() + " прервано");
      self->Read();
    });
  }

  void Fail(std::string reason, bool timedOut = false) { Finish({{}, std::move(reason), timedOut}); }

  void Finish(WhoisReply reply) {
    if (FFinished) return;
    FFinished = true;
    FTimer.cancel();
    error_code ignored;
    FSocket.close(ignored);
    auto done = std::move(FDone);
    done(std::move(reply));
  }

  std::shared_ptr<ReportContext> FContext;
  WhoisServer FServer;
  tcp::socket FSocket;
  asio::steady_timer FTimer;
  bool FPrivateAllowed;
  WhoisDone FDone;
  std::string FQuery;
  std::string FAnswer;
  std::array<char, 16384> FChunk{};
  bool FFinished = false;
};

}  // namespace

std::optional<WhoisServer> ParseWhoisServer(std::string_view text) {
  text = Trim(text);
  if (text.size() > 8 && std::equal(text.begin(), text.begin() + 8, "whois://", [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
      }))
    text.remove_prefix(8);
  if (text.ends_with('/')) text.remove_suffix(1);
  WhoisServer server;
  if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    const std::string_view port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c); }))
      return std::nullopt;
    const unsigned long number = std::stoul(std::string(port));
    if (number == 0 || number > 65535) return std::nullopt;
    server.Port = std::string(port);
    text = text.substr(0, colon);
  }
  if (text.empty() || text.size() > 253 || !std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.';
      }))
    return std::nullopt;
  server.Host = std::string(text);
  std::transform(server.Host.begin(), server.Host.end(), server.Host.begin(), [](unsigned char c) { return std::tolower(c); });
  return server;
}

void WhoisQuery(const std::shared_ptr<ReportContext>& context, const WhoisServer& server, const std::string& query,
                std::chrono::steady_clock::time_point deadline, bool privateAllowed, WhoisDone done) {
  context->Shared.Counters.Registry(RegistryKind::Whois);
  std::make_shared<WhoisExchange>(context, server, privateAllowed, std::move(done))->Start(query, deadline);
}

}  // namespace site
