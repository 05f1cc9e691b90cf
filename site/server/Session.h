#pragma once
// One client connection: reads a request head within the head time-out and
// the head limit, answers it, and reads the next while the client keeps the
// connection alive. A client who leaves while its page runs ends the page.

#include "server/ClientShares.h"
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
  // `share` is the connection's slot of its client's share of connections.
  Session(boost::asio::ip::tcp::socket socket, ServerState& server, ClientSlot share);
  ~Session();
  void Start();

private:
  using Head = boost::beast::http::request_parser<boost::beast::http::empty_body>;

  void ReadHead();
  void ParseHead();
  void OnHead(const boost::system::error_code& error);
  void WatchClient(std::weak_ptr<LivePages::Page> page);
  void Answer(Reply reply, unsigned version, bool keepAlive);
  void OnWritten(const boost::system::error_code& error, bool keepAlive);
  void Close();
  // Tells the memory trim whether a request of this connection is being answered.
  void Answering(bool now);

  ServerState& FServer;
  CounterSlot FSlot;
  bool FAnswering = false;
  ClientSlot FShare;
  boost::beast::tcp_stream FStream;
  boost::beast::flat_buffer FBuffer;
  std::optional<Head> FHead;
  std::size_t FHeadBytes = 0;  // of the head being read, parsed so far
  std::string FClient;
  std::string FClientKey;
  bool FFromProxy = false;       // a trusted proxy, whose requests name their clients
  std::string FRequestClient;    // the client of the request being answered, for the log
  std::chrono::steady_clock::time_point FReceived;
  std::string FReplyHead;
  std::string FReplyBody;
};

}  // namespace site
