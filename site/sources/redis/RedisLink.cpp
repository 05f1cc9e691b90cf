#include "sources/redis/RedisLink.h"

#include <boost/asio/post.hpp>
#include <hiredis/async.h>
#include <hiredis/hiredis.h>

#include <unistd.h>

#include <algorithm>

namespace site {

namespace {

constexpr std::chrono::milliseconds kFirstPause{100};
constexpr std::chrono::milliseconds kLongestPause{5000};
// A connection that has not answered its PING by then is given up and tried again.
constexpr std::chrono::milliseconds kConnectTimeout{1000};
// Past this many unanswered commands Redis is behind: further ones go without it.
constexpr std::size_t kMaxPending = 4096;
constexpr std::size_t kMaxDepth = 4;

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

}  // namespace

struct RedisLink::Call {
  Call(const boost::asio::strand<boost::asio::io_context::executor_type>& strand, boost::asio::any_io_executor executor, RedisDone done)
      : Executor(std::move(executor)), Done(std::move(done)), Timer(strand) {}
  boost::asio::any_io_executor Executor;
  RedisDone Done;
  boost::asio::steady_timer Timer;
  bool Finished = false;
};

struct RedisLink::Watch {
  Watch(const boost::asio::strand<boost::asio::io_context::executor_type>& strand, int fd) : Descriptor(strand, fd) {}
  // The socket is hiredis's: released, never closed here.
  ~Watch() { Descriptor.release(); }
  boost::asio::posix::stream_descriptor Descriptor;
  bool WantRead = false, WantWrite = false;
  bool Reading = false, Writing = false;
};

RedisLink::RedisLink(boost::asio::io_context& io, RedisAddress address, std::chrono::milliseconds timeout)
    : FStrand(boost::asio::make_strand(io)), FAddress(std::move(address)), FTimeout(timeout), FResolver(FStrand), FRetry(FStrand),
      FPause(kFirstPause) {}

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
  FWatch = std::make_shared<Watch>(FStrand, context->c.fd);
  context->data = this;
  context->ev.data = this;
  context->ev.addRead = &RedisLink::AddRead;
  context->ev.delRead = &RedisLink::DelRead;
  context->ev.addWrite = &RedisLink::AddWrite;
  context->ev.delWrite = &RedisLink::DelWrite;
  context->ev.cleanup = &RedisLink::Cleanup;
  // The first command's write finishes the connect; its answer says the server serves.
  if (redisAsyncCommand(context, &RedisLink::OnPing, nullptr, "PING") != REDIS_OK) {
    redisAsyncFree(context);
    return;
  }
  FRetry.expires_after(kConnectTimeout);
  FRetry.async_wait([self = shared_from_this(), context](const boost::system::error_code& error) {
    if (!error && !self->FUp && self->FContext == context) redisAsyncFree(context);
  });
}

void RedisLink::Lost(const std::string& why) {
  FUp = false;
  if (FClosed) return;
  if (!FReported) Log("Redis at " + FAddress.Text() + " is unavailable (" + why + "); pages are served from this instance's own cache until it is back");
  FReported = true;
  FRetry.expires_after(FPause);
  FRetry.async_wait([self = shared_from_this()](const boost::system::error_code& error) {
    if (!error) self->Connect();
  });
  FPause = std::min(FPause * 2, kLongestPause);
}

void RedisLink::OnPing(redisAsyncContext* context, void* reply, void*) {
  auto* link = static_cast<RedisLink*>(context->data);
  if (!Convert(static_cast<const redisReply*>(reply))) return;  // the cleanup that follows reports it
  link->FUp = true;
  link->FPause = kFirstPause;
  link->FRetry.cancel();
  Log("Redis at " + link->FAddress.Text() + (link->FReported ? " is back; the cache and the limits are shared again"
                                                                : " connected; the cache and the limits are shared"));
  link->FReported = false;
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
    if (!self->FReported) Log("Redis at " + self->FAddress.Text() + " did not answer within " + std::to_string(self->FTimeout.count()) +
                              " ms; pages go on without it");
    self->FReported = true;
    Finish(call, std::nullopt);
  });
}

void RedisLink::OnReply(redisAsyncContext* context, void* reply, void* data) {
  std::unique_ptr<std::shared_ptr<Call>> call(static_cast<std::shared_ptr<Call>*>(data));
  auto* link = static_cast<RedisLink*>(context->data);
  --link->FPending;
  auto converted = Convert(static_cast<const redisReply*>(reply));
  if (converted && !(*call)->Finished && link->FReported && link->FUp) {
    Log("Redis at " + link->FAddress.Text() + " answers in time again");
    link->FReported = false;
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
  const std::string why = link->FContext && link->FContext->errstr && *link->FContext->errstr ? link->FContext->errstr : "connection closed";
  link->FWatch.reset();
  link->FContext = nullptr;
  link->Lost(why);
}

}  // namespace site
