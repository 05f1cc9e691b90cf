#include "server/MetricsListener.h"

#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace site {

namespace beast = boost::beast;
namespace http = boost::beast::http;

namespace {

constexpr std::size_t kMaxScrapes = 8;
constexpr std::chrono::seconds kScrapeTimeout{5};

class Scrape : public std::enable_shared_from_this<Scrape> {
public:
  Scrape(boost::asio::ip::tcp::socket socket, ServerState& server, std::atomic<std::size_t>& scrapes)
      : FServer(server), FSlot(scrapes), FStream(std::move(socket)) {}

  void Start() {
    FParser.header_limit(4096);
    FParser.body_limit(0);
    FStream.expires_after(kScrapeTimeout);
    http::async_read(FStream, FBuffer, FParser, [self = shared_from_this()](const boost::system::error_code& error, std::size_t) {
      if (error) return;
      self->Answer();
    });
  }

private:
  void Answer() {
    const auto& request = FParser.get();
    const bool found = request.method() == http::verb::get && request.target() == "/metrics";
    FResponse.result(found ? http::status::ok : http::status::not_found);
    FResponse.version(request.version());
    FResponse.set(http::field::content_type, found ? "text/plain; version=0.0.4; charset=utf-8" : "text/plain; charset=utf-8");
    FResponse.body() = found ? MetricsText(FServer.Shared.Counters, FServer.Connections.load(), FServer.InFlight.load()) : "not found\n";
    FResponse.keep_alive(false);
    FResponse.prepare_payload();
    http::async_write(FStream, FResponse, [self = shared_from_this()](const boost::system::error_code&, std::size_t) {
      boost::system::error_code ignored;
      self->FStream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    });
  }

  ServerState& FServer;
  CounterSlot FSlot;
  beast::tcp_stream FStream;
  beast::flat_buffer FBuffer;
  http::request_parser<http::empty_body> FParser;
  http::response<http::string_body> FResponse;
};

}  // namespace

MetricsListener::MetricsListener(ServerState& server, const boost::asio::ip::tcp::endpoint& endpoint)
    : FServer(server), FAcceptor(boost::asio::make_strand(server.Io)), FPause(FAcceptor.get_executor()) {
  FAcceptor.open(endpoint.protocol());
  FAcceptor.set_option(boost::asio::socket_base::reuse_address(true));
  FAcceptor.bind(endpoint);
  FAcceptor.listen();
}

void MetricsListener::Start() {
  boost::asio::post(FAcceptor.get_executor(), [self = shared_from_this()] { self->Accept(); });
}

void MetricsListener::Stop() {
  boost::asio::post(FAcceptor.get_executor(), [self = shared_from_this()] {
    boost::system::error_code ignored;
    self->FAcceptor.close(ignored);
    self->FPause.cancel();
  });
}

void MetricsListener::Accept() {
  FAcceptor.async_accept(boost::asio::make_strand(FServer.Io), [self = shared_from_this()](const boost::system::error_code& error,
                                                                                            boost::asio::ip::tcp::socket socket) {
    if (error == boost::asio::error::operation_aborted || !self->FAcceptor.is_open()) return;
    if (error) {
      // Out of descriptors, say: a pause, not a loop spinning on the same error.
      self->FPause.expires_after(std::chrono::milliseconds(50));
      self->FPause.async_wait([self](const boost::system::error_code& waited) {
        if (!waited) self->Accept();
      });
      return;
    }
    if (self->FScrapes.load() < kMaxScrapes) std::make_shared<Scrape>(std::move(socket), self->FServer, self->FScrapes)->Start();
    self->Accept();
  });
}

}  // namespace site
