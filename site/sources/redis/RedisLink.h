#pragma once
// One connection to Redis for the whole process, through hiredis's
// asynchronous interface, its socket driven by our io_context on a strand of
// its own. Redis is a help, never a need: a command that cannot be sent or is
// not answered within the time-out ends without a reply. A connection that
// still owes an answer a while past the time-out, or sends a reply past the
// bound, is dropped, and the link reconnects behind the callers' backs with a
// growing pause, which starts again from the shortest only once a command is
// answered in time.

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct redisAsyncContext;
struct redisReply;

namespace site {

struct RedisReply {
  bool Nil = false;              // nil, or a Lua false
  std::string Text;              // a bulk or status string
  long long Integer = 0;
  std::vector<RedisReply> Items;  // an array's elements
};

// Where Redis listens: a TCP host and port, or a Unix socket's path.
struct RedisAddress {
  std::string Host;
  std::uint16_t Port = 0;
  std::string SocketPath;  // when set, Host and Port are unused
  std::string Text() const { return SocketPath.empty() ? Host + ":" + std::to_string(Port) : "unix:" + SocketPath; }
};

// Called once, on the caller's executor: the reply, or nothing when Redis is
// down, slow, or answered with an error.
using RedisDone = std::function<void(std::optional<RedisReply>)>;

class RedisLink : public std::enable_shared_from_this<RedisLink> {
public:
  // A reply whose unread part passes `maxReplyBytes`, or an array of more
  // elements than any command of the site's is answered with, drops the
  // connection. `password`, when not empty, is sent with AUTH first.
  // `connected` is kept at 1 while the link is up, else 0.
  RedisLink(boost::asio::io_context& io, RedisAddress address, std::chrono::milliseconds timeout, std::size_t maxReplyBytes,
            std::string password, std::atomic<int>& connected);
  ~RedisLink();
  RedisLink(const RedisLink&) = delete;
  RedisLink& operator=(const RedisLink&) = delete;

  // Connects in the background; safe to call once, from any thread.
  void Start();
  // From any thread. While the link is down `done` is called at once, without a reply.
  void Command(std::vector<std::string> args, boost::asio::any_io_executor executor, RedisDone done);
  // The link's strand, where a caller that wants no answer may have it dropped.
  boost::asio::any_io_executor Executor() const { return FStrand; }
  // Drops the connection for good; for a stopping process whose loop no longer runs.
  void Close();

private:
  struct Call;
  struct Watch;

  void Connect();
  void Resolve(boost::asio::ip::tcp protocol);
  // Drives a connection hiredis has begun; null when it had no memory for one.
  void Open(redisAsyncContext* context);
  void Lost(const std::string& why);
  // Frees the connection, every command on it ending without a reply; `why` goes to the log.
  void Drop(const std::string& why);
  void Send(std::vector<std::string> args, const std::shared_ptr<Call>& call);
  void Arm(bool write);
  void OnReady(bool write);
  static void Finish(const std::shared_ptr<Call>& call, std::optional<RedisReply> reply);
  static void OnReply(redisAsyncContext* context, void* reply, void* data);
  static void OnPing(redisAsyncContext* context, void* reply, void* data);
  static void OnAuth(redisAsyncContext* context, void* reply, void* data);
  static void AddRead(void* data);
  static void DelRead(void* data);
  static void AddWrite(void* data);
  static void DelWrite(void* data);
  static void Cleanup(void* data);

  boost::asio::strand<boost::asio::io_context::executor_type> FStrand;
  const RedisAddress FAddress;
  const std::chrono::milliseconds FTimeout;
  const std::size_t FMaxReplyBytes;
  const std::string FPassword;
  std::atomic<int>& FConnected;
  redisAsyncContext* FContext = nullptr;
  std::shared_ptr<Watch> FWatch;  // the context's socket, while there is one
  boost::asio::ip::tcp::resolver FResolver;
  boost::asio::steady_timer FRetry;
  std::chrono::milliseconds FPause;
  bool FUp = false;          // the connection answered its PING
  bool FReported = false;    // the current outage is in the log already
  bool FClosed = false;
  bool FOversized = false;   // the reader met an array past the bound
  std::string FDropping;     // why the link itself is freeing the connection
  std::size_t FPending = 0;  // commands sent and not yet answered
};

}  // namespace site
