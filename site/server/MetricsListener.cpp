#include "server/MetricsListener.h"

#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <list>
#include <mutex>
#include <optional>

namespace site {

namespace beast = boost::beast;
namespace http = boost::beast::http;

namespace {

// Connections waiting for their request; past it the longest waiting goes.
constexpr std::size_t kMaxWaiting = 8;
// Every connection open, answered ones included: a bound on descriptors only,
// as an answer is written at once.
constexpr std::size_t kMaxOpen = 32;

class Scrape;

// The connections still waiting for their request, longest waiting first.
// Each knows its place here, under this list's lock, so that one crowded out
// is not looked for again.
class Waiting {
public:
  using Entry = std::list<std::weak_ptr<Scrape>>::iterator;
  // Adds `scrape`; the one it crowds out, to be closed, if any.
  std::shared_ptr<Scrape> Add(const std::shared_ptr<Scrape>& scrape);
  void Remove(Scrape& scrape);

private:
  std::mutex FMutex;
  std::list<std::weak_ptr<Scrape>> FScrapes;
};

class Scrape : public std::enable_shared_from_this<Scrape> {
public:
  Scrape(boost::asio::ip::tcp::socket socket, ServerState& server, std::shared_ptr<Waiting> waiting)
      : FServer(server), FSlot(server.Scrapes), FWaiting(std::move(waiting)), FStream(std::move(socket)) {}

  void Start() {
    if (const auto crowded = FWaiting->Add(shared_from_this()))
      boost::asio::post(crowded->FStream.get_executor(), [crowded] { crowded->FStream.close(); });
    FParser.header_limit(4096);
    FParser.body_limit(0);
    FStream.expires_after(FServer.Opts.HeaderTimeout);
    http::async_read(FStream, FBuffer, FParser, [self = shared_from_this()](const boost::system::error_code& error, std::size_t) {
      self->FWaiting->Remove(*self);
      if (error) return;
      self->Answer();
    });
  }

  std::optional<Waiting::Entry> Listed;  // its place among the waiting, under their lock

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
    FStream.expires_after(kWriteTimeout);
    http::async_write(FStream, FResponse, [self = shared_from_this()](const boost::system::error_code&, std::size_t) {
      boost::system::error_code ignored;
      self->FStream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    });
  }

  ServerState& FServer;
  CounterSlot FSlot;
  std::shared_ptr<Waiting> FWaiting;
  beast::tcp_stream FStream;
  beast::flat_buffer FBuffer;
  http::request_parser<http::empty_body> FParser;
  http::response<http::string_body> FResponse;
};

std::shared_ptr<Scrape> Waiting::Add(const std::shared_ptr<Scrape>& scrape) {
  std::lock_guard lock(FMutex);
  std::shared_ptr<Scrape> crowded;
  if (FScrapes.size() >= kMaxWaiting) {
    crowded = FScrapes.front().lock();
    if (crowded) crowded->Listed.reset();
    FScrapes.pop_front();
  }
  scrape->Listed = FScrapes.insert(FScrapes.end(), scrape);
  return crowded;
}

void Waiting::Remove(Scrape& scrape) {
  std::lock_guard lock(FMutex);
  if (!scrape.Listed) return;
  FScrapes.erase(*scrape.Listed);
  scrape.Listed.reset();
}

}  // namespace

std::shared_ptr<Acceptor> MakeMetricsListener(ServerState& server, const boost::asio::ip::tcp::endpoint& endpoint) {
  auto waiting = std::make_shared<Waiting>();
  return std::make_shared<Acceptor>(server.Io, endpoint, [&server, waiting](boost::asio::ip::tcp::socket socket) {
    if (server.Scrapes.load() < kMaxOpen) std::make_shared<Scrape>(std::move(socket), server, waiting)->Start();
  });
}

}  // namespace site
