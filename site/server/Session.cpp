#include "server/Session.h"

#include "base/Unmapped.h"

#include "server/ForwardedClient.h"
#include "server/ReplyHead.h"
#include "server/RequestLog.h"
#include "server/Router.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/write.hpp>
#include <boost/range/iterator_range.hpp>

#include <array>

namespace site {

namespace beast = boost::beast;
namespace http = boost::beast::http;

Session::Session(boost::asio::ip::tcp::socket socket, ServerState& server, ClientSlot share)
    : FServer(server), FSlot(server.Connections), FShare(std::move(share)), FStream(std::move(socket)) {
  boost::system::error_code error;
  const auto peer = FStream.socket().remote_endpoint(error);
  FClient = error ? "?" : Unmapped(peer.address()).to_string();
  FClientKey = error ? "?" : ClientKey(peer.address());
  FFromProxy = !error && IsTrustedProxy(server.Opts, peer.address());
  FRequestClient = FClient;
  FServer.Trim.Opened(FServer.Connections.load());
}

Session::~Session() {
  Answering(false);
  FServer.Trim.Closed(FServer.Connections.load() - 1);
}

void Session::Answering(bool now) {
  if (now == FAnswering) return;
  FAnswering = now;
  if (now) FServer.Trim.Started();
  else FServer.Trim.Ended();
}

void Session::Start() {
  boost::asio::dispatch(FStream.get_executor(), [self = shared_from_this()] { self->ReadHead(); });
}

void Session::ReadHead() {
  FHead.emplace();
  FHead->header_limit(static_cast<std::uint32_t>(FServer.Opts.MaxHeadBytes));
  FHeadBytes = 0;
  // One deadline for the whole head, not per read: a client sending a byte a
  // second is cut off as surely as a silent one.
  FStream.expires_after(FServer.Opts.HeaderTimeout);
  ParseHead();
}

// The parser's own limit counts what it holds unparsed, not the head's
// lines already taken; so the bytes of the whole head are counted here, and
// no read asks for more than the head may still hold.
void Session::ParseHead() {
  const std::size_t limit = FServer.Opts.MaxHeadBytes;
  while (FBuffer.size() > 0 && !FHead->is_header_done()) {
    boost::system::error_code error;
    const std::size_t used = FHead->put(FBuffer.data(), error);
    FBuffer.consume(used);
    FHeadBytes += used;
    if (error == http::error::need_more) break;
    if (error) return OnHead(error);
  }
  if (FHead->is_header_done()) return OnHead({});
  if (FHeadBytes + FBuffer.size() >= limit) return OnHead(http::error::header_limit);
  FStream.async_read_some(FBuffer.prepare(limit - FHeadBytes - FBuffer.size()),
                          [self = shared_from_this()](const boost::system::error_code& error, std::size_t bytes) {
                            self->FBuffer.commit(bytes);
                            if (error) return self->OnHead(error);
                            self->ParseHead();
                          });
}

void Session::OnHead(const boost::system::error_code& error) {
  FReceived = std::chrono::steady_clock::now();
  Answering(true);
  if (error == http::error::header_limit)
    return Answer(ErrorReply(431, "Заголовок запроса слишком длинный.", "-"), 11, false);
  const bool malformed = error.category() == http::make_error_code(http::error::bad_target).category();
  if (malformed) return Answer(ErrorReply(400, "Запрос не разобран: это не запрос HTTP.", "-"), 11, false);
  // The client left, went silent or was too slow: there is no one to answer.
  if (error) return Close();

  const auto& request = FHead->get();
  const unsigned version = request.version();
  // One Host names the site asked for; without it in HTTP/1.1, or with two
  // that may disagree, the request is refused rather than guessed at.
  const auto hosts = request.count(http::field::host);
  if (hosts > 1 || (hosts == 0 && version >= 11))
    return Answer(ErrorReply(400, "Запрос не разобран: в нём должен быть ровно один заголовок Host.", "-"), version, false);
  // A request with a body is nothing this service takes; it is refused and
  // the connection closed rather than the body read and thrown away.
  const bool keepAlive = request.keep_alive() && FHead->is_done();
  FStream.expires_never();
  // An idle connection holds no more than it needs: the head's buffer is given back.
  if (FBuffer.size() == 0) FBuffer.shrink_to_fit();
  RouteRequest route{request.method_string(), request.target(), request[http::field::host], FClient, FClientKey};
  if (FFromProxy) {
    // Only the last line of the proxy's header is the proxy's: earlier ones came from the client.
    std::string_view lastLine;
    for (const auto& field : boost::make_iterator_range(request.equal_range(FServer.Opts.TrustedProxyHeader))) lastLine = field.value();
    if (const auto client = ForwardedClient(lastLine)) {
      route.Client = client->to_string();
      route.ClientKey = ClientKey(*client);
    }
  }
  FRequestClient = route.Client;
  auto page = Route(FServer, route, [self = shared_from_this(), version, keepAlive](Reply reply) {
    boost::asio::dispatch(self->FStream.get_executor(), [self, version, keepAlive, reply = std::move(reply)]() mutable {
      self->Answer(std::move(reply), version, keepAlive);
    });
  });
  FHead.reset();
  if (page) WatchClient(page);
}

// While its page runs, a client sends nothing more; a connection that turns
// readable then has either closed, and the page is cancelled at once with its
// queries and slots, or sent its next request early, which waits in the
// socket. A client that only half-closes its side is taken to have gone too.
void Session::WatchClient(std::weak_ptr<LivePages::Page> page) {
  FStream.socket().async_wait(boost::asio::ip::tcp::socket::wait_read,
                              [self = shared_from_this(), page = std::move(page)](const boost::system::error_code& error) {
                                if (error) return;
                                auto& socket = self->FStream.socket();
                                char byte = 0;
                                boost::system::error_code gone;
                                // Never blocking: readiness may be spurious.
                                socket.non_blocking(true, gone);
                                const auto peeked = socket.receive(boost::asio::buffer(&byte, 1), boost::asio::socket_base::message_peek, gone);
                                if (gone == boost::asio::error::would_block || (!gone && peeked > 0)) return;
                                if (const auto running = page.lock()) running->Cancel("клиент закрыл соединение");
                              });
}

void Session::Answer(Reply reply, unsigned version, bool keepAlive) {
  // The watch on a leaving client ends with its page.
  boost::system::error_code ignored;
  FStream.socket().cancel(ignored);
  LogRequest(FRequestClient, reply.LogNote, reply.Status, std::chrono::steady_clock::now() - FReceived);
  FReplyHead = ReplyHead(reply, version, keepAlive);
  FReplyBody = std::move(reply.Body);
  FStream.expires_after(kWriteTimeout);
  const std::array<boost::asio::const_buffer, 2> buffers{boost::asio::buffer(FReplyHead), boost::asio::buffer(FReplyBody)};
  boost::asio::async_write(FStream, buffers, [self = shared_from_this(), keepAlive](const boost::system::error_code& error, std::size_t) {
    self->OnWritten(error, keepAlive);
  });
}

void Session::OnWritten(const boost::system::error_code& error, bool keepAlive) {
  // A connection kept open holds no page while it waits for the next request.
  std::string().swap(FReplyBody);
  Answering(false);
  if (error || !keepAlive) return Close();
  ReadHead();
}

void Session::Close() {
  boost::system::error_code ignored;
  FStream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
  FStream.close();
}

}  // namespace site
