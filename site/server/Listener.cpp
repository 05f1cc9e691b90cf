#include "server/Listener.h"

#include "server/ForwardedClient.h"
#include "server/Session.h"

#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>

namespace site {

namespace {

// After an accept error such as running out of descriptors, a pause instead
// of a loop that spins on the same error.
constexpr std::chrono::milliseconds kAcceptPause{50};

}  // namespace

Listener::Listener(ServerState& server, const boost::asio::ip::tcp::endpoint& endpoint)
    : FServer(server), FAcceptor(boost::asio::make_strand(server.Io)), FPause(FAcceptor.get_executor()) {
  FAcceptor.open(endpoint.protocol());
  FAcceptor.set_option(boost::asio::socket_base::reuse_address(true));
  FAcceptor.bind(endpoint);
  FAcceptor.listen(boost::asio::socket_base::max_listen_connections);
}

void Listener::Start() {
  boost::asio::post(FAcceptor.get_executor(), [self = shared_from_this()] { self->Accept(); });
}

void Listener::Stop() {
  boost::asio::post(FAcceptor.get_executor(), [self = shared_from_this()] {
    boost::system::error_code ignored;
    self->FAcceptor.close(ignored);
    self->FPause.cancel();
  });
}

void Listener::Accept() {
  FAcceptor.async_accept(boost::asio::make_strand(FServer.Io),
                         [self = shared_from_this()](const boost::system::error_code& error, boost::asio::ip::tcp::socket socket) {
                           self->OnAccept(error, std::move(socket));
                         });
}

void Listener::OnAccept(const boost::system::error_code& error, boost::asio::ip::tcp::socket socket) {
  if (error == boost::asio::error::operation_aborted || !FAcceptor.is_open()) return;
  if (error) {
    FPause.expires_after(kAcceptPause);
    FPause.async_wait([self = shared_from_this()](const boost::system::error_code& waited) {
      if (!waited) self->Accept();
    });
    return;
  }
  boost::system::error_code unknown;
  const auto peer = socket.remote_endpoint(unknown);
  // A proxy of the site's own holds many clients' connections; its requests
  // are shared out by the clients they name.
  const bool proxy = !unknown && IsTrustedProxy(FServer.Opts, peer.address());
  ClientSlot share = unknown || proxy ? ClientSlot{} : FServer.ClientConnections.Take(ClientKey(peer.address()));
  if ((!share && !proxy) || FServer.Connections.load() >= FServer.Opts.MaxConnections) {
    boost::system::error_code ignored;
    socket.close(ignored);
  } else {
    std::make_shared<Session>(std::move(socket), FServer, std::move(share))->Start();
  }
  Accept();
}

}  // namespace site
