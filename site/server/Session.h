#pragma once
// One client connection: reads a request head within the head time-out,
// answers it, and reads the next while the client keeps the connection alive.

#include "server/Reply.h"
#include "server/ServerState.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <chrono>
#include <memory>
#include <optional>

namespace site {

class Session : public std::enable_shared_from_this<Session> {
public:
  Session(boost::asio::ip::tcp::socket socket, ServerState& server);
  void Start();

private:
  using Head = boost::beast::http::request_parser<boost::beast::http::empty_body>;

  void ReadHead();
  void OnHead(const boost::system::error_code& error);
  void Answer(Reply reply, unsigned version, bool keepAlive);
  void OnWritten(const boost::system::error_code& error, bool keepAlive);
  void Close();

  ServerState& FServer;
  CounterSlot FSlot;
  boost::beast::tcp_stream FStream;
  boost::beast::flat_buffer FBuffer;
  std::optional<Head> FHead;
  std::string FClient;
  std::chrono::steady_clock::time_point FReceived;
  std::string FReplyHead;
  std::string FReplyBody;
};

}  // namespace site
