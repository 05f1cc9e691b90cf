#include "sources/HttpsGet.h"

#include "sources/ErrorTexts.h"
#include "sources/HttpsUrl.h"
#include "sources/ServerAddress.h"
#include "sources/SourcePolicy.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <memory>
#include <optional>
#include <vector>

namespace site {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using boost::system::error_code;

constexpr int kMaxRedirects = 3;
constexpr std::uint32_t kMaxHeadBytes = 16 * 1024;

bool IsRedirect(unsigned status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

class HttpsFetch : public std::enable_shared_from_this<HttpsFetch> {
public:
  HttpsFetch(std::shared_ptr<ReportContext> context, bool privateAllowed, HttpsDone done)
      : FContext(std::move(context)), FTimer(FContext->Executor), FPrivateAllowed(privateAllowed), FDone(std::move(done)) {}

  void Start(const std::string& url, std::chrono::steady_clock::time_point deadline) {
    FTimer.expires_at(deadline);
    FTimer.async_wait([self = shared_from_this()](error_code error) {
      if (!error) self->Fail("Сервер " + self->Server() + ": превышено время ожидания", true);
    });
    // Nobody reads the answer once the page has ended: its connection is closed then.
    FContext->WhenEnded([weak = weak_from_this()] {
      if (const auto self = weak.lock()) self->Fail("Страница уже завершена");
    });
    const auto parsed = ParseHttpsUrl(url);
    if (!parsed) return Fail("Неверный адрес HTTPS: " + url);
    Hop(*parsed);
  }

private:
  void Hop(const HttpsUrl& url) {
    FUrl = url;
    // A redirection after the page has ended leads nowhere anyone waits for.
    if (FContext->Ended) return Fail("Страница уже завершена");
    if (!SourcePortAllowed(FUrl.Port, "443", FContext->Shared.Opts))
      return Fail("Сервер " + FUrl.Host + " указан с портом " + FUrl.Port + ", а не 443: обращение к нему запрещено");
    FStream.reset();
    FStream.emplace(FContext->Executor, FContext->Shared.Tls);
    ServerEndpoints(*FContext->Dns, FUrl.Host, FUrl.Port, [self = shared_from_this()](std::vector<tcp::endpoint> endpoints, std::string failure) {
      if (self->FFinished) return;
      if (endpoints.empty()) return self->Fail("Не удалось найти адрес сервера " + self->Server() + ": " + failure);
      self->Connect(std::move(endpoints));
    });
  }

  void Connect(std::vector<tcp::endpoint> endpoints) {
    std::erase_if(endpoints, [this](const tcp::endpoint& e) { return !SourceAddressAllowed(e.address(), FPrivateAllowed); });
    if (endpoints.empty()) return Fail("Адрес сервера " + Server() + " относится к частной сети: обращение к нему запрещено");
    beast::get_lowest_layer(*FStream).async_connect(endpoints, [self = shared_from_this()](error_code error, const tcp::endpoint&) {
      if (self->FFinished) return;
      if (error) return self->Fail("Не удалось подключиться к серверу " + self->Server() + ": " + SystemErrorText(error.value()));
      self->Handshake();
    });
  }

  void Handshake() {
    error_code notAddress;
    asio::ip::make_address(FUrl.Host, notAddress);
    // Servers pick their certificate by the name in SNI; an address is not a name there.
    if (notAddress && !SSL_set_tlsext_host_name(FStream->native_handle(), FUrl.Host.c_str()))
      return Fail("Не удалось начать защищённое соединение с " + Server());
    FStream->set_verify_callback(asio::ssl::host_name_verification(FUrl.Host));
    FStream->async_handshake(asio::ssl::stream_base::client, [self = shared_from_this()](error_code error) {
      if (self->FFinished) return;
      if (error) return self->Fail(self->HandshakeFailure());
      self->Send();
    });
  }

  std::string HandshakeFailure() {
    const long verify = SSL_get_verify_result(FStream->native_handle());
    if (verify != X509_V_OK)
      return "Сертификат сервера " + Server() + " не прошёл проверку: " + CertificateErrorText(verify);
    return "Не удалось установить защищённое соединение с " + Server();
  }

  void Send() {
    FRequest = {http::verb::get, FUrl.Target, 11};
    FRequest.set(http::field::host, Server());
    FRequest.set(http::field::accept, "application/rdap+json, application/json");
    FRequest.set(http::field::user_agent, "tarnwell-site");
    FRequest.set(http::field::connection, "close");
    http::async_write(*FStream, FRequest, [self = shared_from_this()](error_code error, std::size_t) {
      if (self->FFinished) return;
      if (error) return self->Fail("Соединение с сервером " + self->Server() + " прервано");
      self->Receive();
    });
  }

  void Receive() {
    FParser.emplace();
    FParser->header_limit(kMaxHeadBytes);
    FParser->body_limit(FContext->Shared.Opts.RdapMaxBytes);
    FBuffer.clear();
    http::async_read(*FStream, FBuffer, *FParser, [self = shared_from_this()](error_code error, std::size_t) {
      if (self->FFinished) return;
      if (error == http::error::body_limit)
        return self->Fail("Ответ сервера " + self->Server() + " больше " + std::to_string(self->FContext->Shared.Opts.RdapMaxBytes) + " байт");
      if (error && !(error == asio::ssl::error::stream_truncated && self->FParser->is_done()))
        return self->Fail("Сервер " + self->Server() + " прислал неполный или неверный ответ HTTP");
      self->Received();
    });
  }

  void Received() {
    auto& response = FParser->get();
    const unsigned status = response.result_int();
    if (IsRedirect(status)) {
      if (++FRedirects > kMaxRedirects) return Fail("Слишком много перенаправлений");
      const auto next = ResolveLocation(FUrl, std::string(response[http::field::location]));
      if (!next) return Fail("Перенаправление не на адрес HTTPS отклонено");
      beast::get_lowest_layer(*FStream).close();
      return Hop(*next);
    }
    HttpsReply reply;
    reply.Status = status;
    reply.Body = std::move(response.body());
    reply.FinalUrl = "https://" + Server() + FUrl.Target;
    Finish(std::move(reply));
  }

  // The server as the page names it: its port only where it is not HTTPS's own.
  std::string Server() const { return FUrl.Port == "443" ? FUrl.Host : FUrl.Host + ":" + FUrl.Port; }

  void Fail(std::string reason, bool timedOut = false) {
    HttpsReply reply;
    reply.Failure = std::move(reason);
    reply.TimedOut = timedOut;
    Finish(std::move(reply));
  }

  void Finish(HttpsReply reply) {
    if (FFinished) return;
    FFinished = true;
    FTimer.cancel();
    if (FStream) beast::get_lowest_layer(*FStream).close();
    auto done = std::move(FDone);
    done(std::move(reply));
  }

  std::shared_ptr<ReportContext> FContext;
  asio::steady_timer FTimer;
  bool FPrivateAllowed;
  HttpsDone FDone;
  HttpsUrl FUrl;
  std::optional<beast::ssl_stream<beast::tcp_stream>> FStream;
  beast::flat_buffer FBuffer;
  http::request<http::empty_body> FRequest;
  std::optional<http::response_parser<http::string_body>> FParser;
  int FRedirects = 0;
  bool FFinished = false;
};

}  // namespace

void HttpsGet(const std::shared_ptr<ReportContext>& context, const std::string& url,
              std::chrono::steady_clock::time_point deadline, bool privateAllowed, HttpsDone done) {
  context->Shared.Counters.Registry(RegistryKind::Rdap);
  std::make_shared<HttpsFetch>(context, privateAllowed, std::move(done))->Start(url, deadline);
}

}  // namespace site
