#include "server/Session.h"

#include "server/ReplyHead.h"
#include "server/RequestLog.h"
#include "server/Router.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/write.hpp>

#include <array>

namespace site {

namespace beast = boost::beast;
namespace http = boost::beast::http;

namespace {

// A page is at most a few hundred kilobytes; a client that will not take it
// in this time is gone.
constexpr std::chrono::seconds kWriteTimeout{30};

}  // namespace

Session::Session(boost::asio::ip::tcp::socket socket, ServerState& server)
    : FServer(server), FSlot(server.Connections), FStream(std::move(socket)) {
  boost::system::error_code error;
  const auto peer = FStream.socket().remote_endpoint(error);
  FClient = error ? "?" : peer.address().to_string();
}

void Session::Start() {
  boost::asio::dispatch(FStream.get_executor(), [self = shared_from_this()] { self->ReadHead(); });
}

void Session::ReadHead() {
  FHead.emplace();
  FHead->header_limit(static_cast<std::uint32_t>(FServer.Opts.MaxHeadBytes));
  // One deadline for the whole head, not per read: a client sending a byte a
  // second is cut off as surely as a silent one.
  FStream.expires_after(FServer.Opts.HeaderTimeout);
  http::async_read_header(FStream, FBuffer, *FHead,
                          [self = shared_from_this()](const boost::system::error_code& error, std::size_t) { self->OnHead(error); });
}

void Session::OnHead(const boost::system::error_code& error) {
  FReceived = std::chrono::steady_clock::now();
  if (error == http::error::header_limit)
    return Answer(ErrorReply(431, "Заголовок запроса слишком длинный.", "-"), 11, false);
  const bool malformed = error.category() == http::make_error_code(http::error::bad_target).category() &&
                         error != http::error::end_of_stream && error != http::error::partial_message;
  if (malformed) return Answer(ErrorReply(400, "Запрос не разобран: это не запрос HTTP.", "-"), 11, false);
  // The client left, went silent or was too slow: there is no one to answer.
  if (error) return Close();

  const auto& request = FHead->get();
  const unsigned version = request.version();
  // A request with a body is nothing this service takes; it is refused and
  // the connection closed rather than the body read and thrown away.
  const bool keepAlive = request.keep_alive() && FHead->is_done();
  FStream.expires_never();
  const RouteRequest route{request.method_string(), request.target(), request[http::field::host], FClient};
  Route(FServer, route, [self = shared_from_this(), version, keepAlive](Reply reply) {
    boost::asio::dispatch(self->FStream.get_executor(), [self, version, keepAlive, reply = std::move(reply)]() mutable {
      self->Answer(std::move(reply), version, keepAlive);
    });
  });
}

void Session::Answer(Reply reply, unsigned version, bool keepAlive) {
  LogRequest(FClient, reply.LogNote, reply.Status, std::chrono::steady_clock::now() - FReceived);
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
  if (error || !keepAlive) return Close();
  ReadHead();
}

void Session::Close() {
  boost::system::error_code ignored;
  FStream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ignored);
  FStream.close();
}

}  // namespace site
