#include "sources/redis/RedisLink.h"

#include <boost/asio/post.hpp>
#include <hiredis/async.h>
#include <hiredis/hiredis.h>

#include <unistd.h>

#include <algorithm>
#include <utility>

namespace site {

namespace {

constexpr std::chrono::milliseconds kFirstPause{100};
constexpr std::chrono::milliseconds kLongestPause{5000};
// A connection that has not answered its PING by then is given up and tried again.
constexpr std::chrono::milliseconds kConnectTimeout{1000};
// A connection that still owes an answer this long after the command's
// time-out is taken for dead (half-open, dropped by a firewall, a stalled
// server). Not at the time-out itself: one slow command, or a loaded host's
// late wake-up, is no reason to drop a link every instance shares.
constexpr std::chrono::milliseconds kStallTimeout{1000};
// Past this many unanswered commands Redis is behind: further ones go without
// it until it catches up, or the first of them times out and drops the link.
constexpr std::size_t kMaxPending = 4096;
constexpr std::size_t kMaxDepth = 4;
// No command of the site's is answered with a longer array.
constexpr int kMaxElements = 16;

void Log(const std::string& text) {
  const std::string line = "tarnwell-site: " + text + "\n";
  // One write, so that the line never interleaves with the request log's.
  [[maybe_unused]] const auto written = write(STDERR_FILENO, line.data(), line.size());
}

std::optional<RedisReply> Convert(const redisReply* reply, std::size_t depth = 0) {
  if (!reply || reply->type == REDIS_REPLY_ERROR || depth > kMaxDepth) return std::nullopt;
  RedisReply out;
  switch (reply->type) {
    case REDIS_REPLY_NIL: out.Nil = true; break;
    case REDIS_REPLY_INTEGER: out.Integer = reply->integer; break;
    case REDIS_REPLY_STRING:
    case REDIS_REPLY_STATUS: out.Text.assign(reply->str, reply->len); break;
    case REDIS_REPLY_ARRAY:
      for (std::size_t i = 0; i < reply->elements; ++i) {
        auto item = Convert(reply->element[i], depth + 1);
        if (!item) return std::nullopt;
        out.Items.push_back(std::move(*item));
      }
      break;
    default: return std::nullopt;
  }
  return out;
}

// Redis's own words for a refusal (NOAUTH, WRONGPASS...), to name it in the log.
std::string Refusal(const redisReply* reply) {
  return reply && reply->type == REDIS_REPLY_ERROR ? std::string(reply->str, reply->len) : std::string();
}

// hiredis's own reply builders, with arrays bounded before room is made for
// their elements: a reply announcing 2^31 of them is refused at its first
// line, which ends the connection as hiredis's running out of memory does.
redisReplyObjectFunctions* gBuilders = nullptr;

void* CreateArray(const redisReadTask* task, int elements) {
  if (elements > kMaxElements) {
    *static_cast<bool*>(task->privdata) = true;
    return nullptr;
  }
  return gBuilders->createArray(task, elements);
}

void BoundArrays(redisReader* reader, bool* oversized) {
  static redisReplyObjectFunctions bounded = [&] {
    gBuilders = reader->fn;
    redisReplyObjectFunctions functions = *reader->fn;
    functions.createArray = &CreateArray;
    return functions;
  }();
  reader->fn = &bounded;
  reader->privdata = oversized;
}

}  // namespace

struct RedisLink::Call {
  Call(const boost::asio::strand<boost::asio::io_context::executor_type>& strand, boost::asio::any_io_executor executor, RedisDone done)
      : Executor(std::move(executor)), Done(std::move(done)), Timer(strand) {}
  boost::asio::any_io_executor Executor;
  RedisDone Done;
  boost::asio::steady_timer Timer;
  bool Finished = false;
  bool Answered = false;  // by Redis, or ended with its connection
};

struct RedisLink::Watch {
  Watch(const boost::asio::strand<boost::asio::io_context::executor_type>& strand, int fd) : Descriptor(strand, fd) {}
  // The socket is hiredis's: released, never closed here.
  ~Watch() { Descriptor.release(); }
  boost::asio::posix::stream_descriptor Descriptor;
  bool WantRead = false, WantWrite = false;
  bool Reading = false, Writing = false;
};

RedisLink::RedisLink(boost::asio::io_context& io, RedisAddress address, std::chrono::milliseconds timeout, std::size_t maxReplyBytes,
                     std::string password, std::atomic<int>& connected)
    : FStrand(boost::asio::make_strand(io)), FAddress(std::move(address)), FTimeout(timeout), FMaxReplyBytes(maxReplyBytes),
      FPassword(std::move(password)), FConnected(connected), FResolver(FStrand), FRetry(FStrand), FPause(kFirstPause) {
  FConnected = 0;
}

RedisLink::~RedisLink() { Close(); }

void RedisLink::Start() {
  boost::asio::post(FStrand, [self = shared_from_this()] { self->Connect(); });
}

void RedisLink::Close() {
  FClosed = true;
  FRetry.cancel();
  FResolver.cancel();
  // Every command still waiting ends without a reply, through OnReply.
  if (FContext) redisAsyncFree(FContext);
}

void RedisLink::Connect() {
  if (FClosed || FContext) return;
  if (!FAddress.SocketPath.empty()) return Open(redisAsyncConnectUnix(FAddress.SocketPath.c_str()));
  // Given a name, hiredis would look it up itself and hold one of the
  // service's threads for as long as the name server takes, at every
  // reconnect. It is looked up here, off those threads, IPv4 first as hiredis
  // does, and again before each connection, so that a Redis that moved is found.
  Resolve(boost::asio::ip::tcp::v4());
}

void RedisLink::Resolve(boost::asio::ip::tcp protocol) {
  FResolver.async_resolve(protocol, FAddress.Host, std::to_string(FAddress.Port),
                          boost::asio::ip::tcp::resolver::numeric_service,
                          [self = shared_from_this(), protocol](const boost::system::error_code& error,
                                                                const boost::asio::ip::tcp::resolver::results_type& found) {
                            if (self->FClosed || self->FContext) return;
                            if (!error && !found.empty()) {
                              const auto at = found.begin()->endpoint();
                              return self->Open(redisAsyncConnect(at.address().to_string().c_str(), at.port()));
                            }
                            if (protocol == boost::asio::ip::tcp::v4()) return self->Resolve(boost::asio::ip::tcp::v6());
                            self->Lost(error ? error.message() : "no address");
                          });
}

void RedisLink::Open(redisAsyncContext* context) {
  if (!context) return Lost("no memory for a connection");
  if (context->err) {
    const std::string why = context->errstr;
    redisAsyncFree(context);
    return Lost(why);
  }
  FContext = context;
  FOversized = false;
  BoundArrays(context->c.reader, &FOversized);
  FWatch = std::make_shared<Watch>(FStrand, context->c.fd);
  context->data = this;
  context->ev.data = this;
  context->ev.addRead = &RedisLink::AddRead;
  context->ev.delRead = &RedisLink::DelRead;
  context->ev.addWrite = &RedisLink::AddWrite;
  context->ev.delWrite = &RedisLink::DelWrite;
  context->ev.cleanup = &RedisLink::Cleanup;
  // The first command's write finishes the connect; PING's answer says the server serves.
  const bool sent = (FPassword.empty() ||
                     redisAsyncCommand(context, &RedisLink::OnAuth, nullptr, "AUTH %b", FPassword.data(), FPassword.size()) == REDIS_OK) &&
                    redisAsyncCommand(context, &RedisLink::OnPing, nullptr, "PING") == REDIS_OK;
  if (!sent) {
    redisAsyncFree(context);
    return;
  }
  FRetry.expires_after(kConnectTimeout);
  FRetry.async_wait([self = shared_from_this(), context](const boost::system::error_code& error) {
    if (!error && !self->FUp && self->FContext == context) self->Drop("no answer to PING within " + std::to_string(kConnectTimeout.count()) + " ms");
  });
}

void RedisLink::Drop(const std::string& why) {
  if (!FContext) return;
  // Inside a callback hiredis frees the connection only once it returns; the first reason stands.
  if (FDropping.empty()) FDropping = why;
  redisAsyncFree(FContext);
}

void RedisLink::Lost(const std::string& why) {
  FUp = false;
  FConnected = 0;
  if (FClosed) return;
  if (!FReported) Log("Redis at " + FAddress.Text() + " is unavailable (" + why + "); pages are served from this instance's own cache until it is back");
  FReported = true;
  FRetry.expires_after(FPause);
  FRetry.async_wait([self = shared_from_this()](const boost::system::error_code& error) {
    if (!error) self->Connect();
  });
  FPause = std::min(FPause * 2, kLongestPause);
}

void RedisLink::OnAuth(redisAsyncContext* context, void* reply, void*) {
  const std::string refused = Refusal(static_cast<const redisReply*>(reply));
  if (!refused.empty()) static_cast<RedisLink*>(context->data)->Drop("AUTH refused: " + refused);
}

void RedisLink::OnPing(redisAsyncContext* context, void* reply, void*) {
  auto* link = static_cast<RedisLink*>(context->data);
  const std::string refused = Refusal(static_cast<const redisReply*>(reply));
  if (!refused.empty()) return link->Drop("PING refused: " + refused);
  if (!Convert(static_cast<const redisReply*>(reply))) return;  // the connection is going; its cleanup reports it
  link->FUp = true;
  link->FConnected = 1;
  link->FRetry.cancel();
  // After an outage, only a command answered in time says Redis is back: a
  // Redis that answers PING and then nothing stays reported, and its pause grows.
  if (!link->FReported) Log("Redis at " + link->FAddress.Text() + " connected; the cache and the limits are shared");
}

void RedisLink::Command(std::vector<std::string> args, boost::asio::any_io_executor executor, RedisDone done) {
  auto call = std::make_shared<Call>(FStrand, std::move(executor), std::move(done));
  boost::asio::post(FStrand, [self = shared_from_this(), args = std::move(args), call]() mutable {
    if (!self->FUp || self->FPending >= kMaxPending) return Finish(call, std::nullopt);
    self->Send(std::move(args), call);
  });
}

void RedisLink::Send(std::vector<std::string> args, const std::shared_ptr<Call>& call) {
  std::vector<const char*> argv;
  std::vector<std::size_t> lengths;
  for (const std::string& arg : args) {
    argv.push_back(arg.data());
    lengths.push_back(arg.size());
  }
  auto* held = new std::shared_ptr<Call>(call);
  if (redisAsyncCommandArgv(FContext, &RedisLink::OnReply, held, static_cast<int>(argv.size()), argv.data(), lengths.data()) != REDIS_OK) {
    delete held;
    return Finish(call, std::nullopt);
  }
  ++FPending;
  call->Timer.expires_after(FTimeout);
  call->Timer.async_wait([self = shared_from_this(), call](const boost::system::error_code& error) {
    if (error || call->Finished) return;
    Finish(call, std::nullopt);
    // The page has gone on; the connection goes too, with every command on it, if it stays silent.
    call->Timer.expires_after(kStallTimeout);
    call->Timer.async_wait([self, call](const boost::system::error_code& stalled) {
      if (stalled || call->Answered) return;
      self->Drop("no answer within " + std::to_string((self->FTimeout + kStallTimeout).count()) + " ms");
    });
  });
}

void RedisLink::OnReply(redisAsyncContext* context, void* reply, void* data) {
  std::unique_ptr<std::shared_ptr<Call>> call(static_cast<std::shared_ptr<Call>*>(data));
  auto* link = static_cast<RedisLink*>(context->data);
  --link->FPending;
  (*call)->Answered = true;
  (*call)->Timer.cancel();
  auto converted = Convert(static_cast<const redisReply*>(reply));
  if (converted && !(*call)->Finished && link->FUp) {
    if (link->FReported) Log("Redis at " + link->FAddress.Text() + " is back; the cache and the limits are shared again");
    link->FReported = false;
    link->FPause = kFirstPause;
  }
  Finish(*call, std::move(converted));
}

void RedisLink::Finish(const std::shared_ptr<Call>& call, std::optional<RedisReply> reply) {
  if (call->Finished) return;
  call->Finished = true;
  call->Timer.cancel();
  boost::asio::post(call->Executor, [done = std::move(call->Done), reply = std::move(reply)]() mutable { done(std::move(reply)); });
}

void RedisLink::Arm(bool write) {
  const std::shared_ptr<Watch> watch = FWatch;
  if (!watch) return;
  bool& waiting = write ? watch->Writing : watch->Reading;
  if (waiting || !(write ? watch->WantWrite : watch->WantRead)) return;
  waiting = true;
  watch->Descriptor.async_wait(write ? boost::asio::posix::stream_descriptor::wait_write : boost::asio::posix::stream_descriptor::wait_read,
                               [self = shared_from_this(), watch, write](const boost::system::error_code& error) {
                                 (write ? watch->Writing : watch->Reading) = false;
                                 // The context may have gone meanwhile: its watch is then no longer ours.
                                 if (error || self->FWatch != watch) return;
                                 self->OnReady(write);
                               });
}

void RedisLink::OnReady(bool write) {
  if (write ? !FWatch->WantWrite : !FWatch->WantRead) return;
  if (write) redisAsyncHandleWrite(FContext);
  else redisAsyncHandleRead(FContext);
  // Every whole reply has been taken from the reader: what is left is the
  // start of one, which is dropped before it is read whole past the bound.
  if (FContext && FContext->c.reader->len - FContext->c.reader->pos > FMaxReplyBytes)
    Drop("a reply longer than " + std::to_string(FMaxReplyBytes) + " bytes");
  // hiredis may have freed the context inside; Arm sees that through FWatch.
  Arm(false);
  Arm(true);
}

void RedisLink::AddRead(void* data) {
  auto* link = static_cast<RedisLink*>(data);
  link->FWatch->WantRead = true;
  link->Arm(false);
}

void RedisLink::DelRead(void* data) { static_cast<RedisLink*>(data)->FWatch->WantRead = false; }

void RedisLink::AddWrite(void* data) {
  auto* link = static_cast<RedisLink*>(data);
  link->FWatch->WantWrite = true;
  link->Arm(true);
}

void RedisLink::DelWrite(void* data) { static_cast<RedisLink*>(data)->FWatch->WantWrite = false; }

void RedisLink::Cleanup(void* data) {
  auto* link = static_cast<RedisLink*>(data);
  std::string why = std::exchange(link->FDropping, {});
  if (link->FOversized) why = "a reply of more than " + std::to_string(kMaxElements) + " elements";
  else if (why.empty()) why = link->FContext && link->FContext->errstr && *link->FContext->errstr ? link->FContext->errstr : "connection closed";
  // hiredis closes the socket once this returns: it leaves the event loop
  // first, so that a connection of a client's that gets the number next is
  // never taken out of the loop in its place.
  link->FWatch->Descriptor.release();
  link->FWatch.reset();
  link->FContext = nullptr;
  link->Lost(why);
}

}  // namespace site
