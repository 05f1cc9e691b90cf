#pragma once
// Binds, listens and accepts connections on a strand of its own, handing each
// to `take` with a strand of its own. After an accept error, such as running
// out of descriptors, it pauses rather than spin on the same error.

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <functional>
#include <memory>

namespace site {

class Acceptor : public std::enable_shared_from_this<Acceptor> {
public:
  using Take = std::function<void(boost::asio::ip::tcp::socket)>;

  // Binds and listens at once; throws boost::system::system_error.
  Acceptor(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& endpoint, Take take);
  boost::asio::ip::tcp::endpoint LocalEndpoint() const { return FAcceptor.local_endpoint(); }
  void Start();
  void Stop();

private:
  void Accept();

  boost::asio::io_context& FIo;
  boost::asio::ip::tcp::acceptor FAcceptor;
  boost::asio::steady_timer FPause;
  Take FTake;
};

}  // namespace site
