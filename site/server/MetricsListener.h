#pragma once
// /metrics in Prometheus's text format, on an address of its own so that the
// public listener never serves it. A scrape is small and rare: one request per
// connection, a few connections at once, each under a short deadline.

#include "server/ServerState.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <memory>

namespace site {

class MetricsListener : public std::enable_shared_from_this<MetricsListener> {
public:
  // Binds and listens at once; throws boost::system::system_error.
  MetricsListener(ServerState& server, const boost::asio::ip::tcp::endpoint& endpoint);
  boost::asio::ip::tcp::endpoint LocalEndpoint() const { return FAcceptor.local_endpoint(); }
  void Start();
  void Stop();

private:
  void Accept();

  ServerState& FServer;
  boost::asio::ip::tcp::acceptor FAcceptor;
  boost::asio::steady_timer FPause;
  std::atomic<std::size_t> FScrapes{0};
};

}  // namespace site
