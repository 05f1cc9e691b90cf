#include "server/Listener.h"

#include "server/ForwardedClient.h"
#include "server/Session.h"

namespace site {

namespace {

void TakeConnection(ServerState& server, boost::asio::ip::tcp::socket socket) {
  boost::system::error_code unknown;
  const auto peer = socket.remote_endpoint(unknown);
  // A proxy of the site's own holds many clients' connections; its requests
  // are shared out by the clients they name.
  const bool proxy = !unknown && IsTrustedProxy(server.Opts, peer.address());
  ClientSlot share = unknown || proxy ? ClientSlot{} : server.ClientConnections.Take(ClientKey(peer.address()));
  if ((!share && !proxy) || server.Connections.load() >= server.Opts.MaxConnections) {
    boost::system::error_code ignored;
    socket.close(ignored);
    return;
  }
  std::make_shared<Session>(std::move(socket), server, std::move(share))->Start();
}

}  // namespace

std::shared_ptr<Acceptor> MakeListener(ServerState& server, const boost::asio::ip::tcp::endpoint& endpoint) {
  return std::make_shared<Acceptor>(server.Io, endpoint, [&server](boost::asio::ip::tcp::socket socket) { TakeConnection(server, std::move(socket)); });
}

}  // namespace site
