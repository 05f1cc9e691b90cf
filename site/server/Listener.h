#pragma once
// server/: the connection's side of a request: accepting, sessions, routing, limits and the replies.
//
// The public listener: each connection gets its own session on its own
// strand; past the connection limit, or past its client's share of it, a new
// connection is closed at once.

#include "server/Acceptor.h"
#include "server/ServerState.h"

namespace site {

// Binds and listens at once; throws boost::system::system_error. Accepts once started.
std::shared_ptr<Acceptor> MakeListener(ServerState& server, const boost::asio::ip::tcp::endpoint& endpoint);

}  // namespace site
