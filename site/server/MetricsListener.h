#pragma once
// /metrics in Prometheus's text format, on an address of its own so that the
// public listener never serves it. A scrape is small and rare: one request per
// connection, under the public listener's deadlines. A few connections may
// wait for their request at once; a new one closes the longest waiting, so
// that connections that send nothing never keep a scrape out.

#include "server/Acceptor.h"
#include "server/ServerState.h"

namespace site {

// Binds and listens at once; throws boost::system::system_error. Accepts once started.
std::shared_ptr<Acceptor> MakeMetricsListener(ServerState& server, const boost::asio::ip::tcp::endpoint& endpoint);

}  // namespace site
