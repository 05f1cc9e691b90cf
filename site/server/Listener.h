#pragma once
// server/: the connection's side of a request: accepting, sessions, routing, limits and the replies.
//
// Accepts connections and gives each its own session on its own strand;
// past the connection limit, or past its client's share of it, a new
// connection is closed at once.

#include "server/ServerState.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <memory>

namespace site {

class Listener : public std::enable_shared_from_this<Listener> {
public:
  // Binds and listens at once; throws boost::system::system_error.
  Listener(ServerState& server, const boost::asio::ip::tcp::endpoint& endpoint);
  boost::asio::ip::tcp::endpoint LocalEndpoint() const { return FAcceptor.local_endpoint(); }
  void Start();
  void Stop();

private:
  void Accept();
  void OnAccept(const boost::system::error_code& error, boost::asio::ip::tcp::socket socket);

  ServerState& FServer;
  boost::asio::ip::tcp::acceptor FAcceptor;
  boost::asio::steady_timer FPause;
};

}  // namespace site
