#include "server/MetricsListener.h"

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
  Scrape(boost::asio::ip::tcp::socket socket, ServerState& server)
      : FServer(server), FSlot(server.Scrapes), FStream(std::move(socket)) {}

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

std::shared_ptr<Acceptor> MakeMetricsListener(ServerState& server, const boost::asio::ip::tcp::endpoint& endpoint) {
  return std::make_shared<Acceptor>(server.Io, endpoint, [&server](boost::asio::ip::tcp::socket socket) {
                                      if (server.Scrapes.load() < kMaxScrapes)
                                        std::make_shared<Scrape>(std::move(socket), server)->Start();
                                    });
}

}  // namespace site
