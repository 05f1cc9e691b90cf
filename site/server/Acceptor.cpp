#include "server/Acceptor.h"

#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>

namespace site {

namespace {

constexpr std::chrono::milliseconds kAcceptPause{50};

}  // namespace

Acceptor::Acceptor(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& endpoint, Take take)
    : FIo(io), FAcceptor(boost::asio::make_strand(io)), FPause(FAcceptor.get_executor()), FTake(std::move(take)) {
  FAcceptor.open(endpoint.protocol());
  FAcceptor.set_option(boost::asio::socket_base::reuse_address(true));
  FAcceptor.bind(endpoint);
  FAcceptor.listen();
}

void Acceptor::Start() {
  boost::asio::post(FAcceptor.get_executor(), [self = shared_from_this()] { self->Accept(); });
}

void Acceptor::Stop() {
  boost::asio::post(FAcceptor.get_executor(), [self = shared_from_this()] {
    boost::system::error_code ignored;
    self->FAcceptor.close(ignored);
    self->FPause.cancel();
  });
}

void Acceptor::Accept() {
  FAcceptor.async_accept(boost::asio::make_strand(FIo), [self = shared_from_this()](const boost::system::error_code& error,
                                                                                     boost::asio::ip::tcp::socket socket) {
    if (error == boost::asio::error::operation_aborted || !self->FAcceptor.is_open()) return;
    if (error) {
      self->FPause.expires_after(kAcceptPause);
      self->FPause.async_wait([self](const boost::system::error_code& waited) {
        if (!waited) self->Accept();
      });
      return;
    }
    self->FTake(std::move(socket));
    self->Accept();
  });
}

}  // namespace site
