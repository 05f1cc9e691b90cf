#include "sources/AresResolver.h"

#include "sources/DnsMessage.h"
#include "sources/ErrorTexts.h"
#include "base/OptionsParse.h"

#include <ares.h>
#include <boost/asio/post.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <algorithm>
#include <map>
#include <mutex>
#include <stdexcept>

namespace site {

namespace {

// A hostile or careless server must not pin an answer in the shared cache for days.
constexpr std::uint32_t kMaxTtl = 86400;
// Negative answers are kept briefly: a name registered a minute ago should show up.
constexpr std::uint32_t kMaxNegativeTtl = 60;
constexpr int kTries = 2;
constexpr int kEdnsPayload = 1232;

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (ares_library_init(ARES_LIB_INIT_ALL) != ARES_SUCCESS) throw std::runtime_error("c-ares failed to start");
  });
}

int ServerCount(ares_channel channel) {
  ares_addr_port_node* servers = nullptr;
  int count = 0;
  if (ares_get_servers_ports(channel, &servers) == ARES_SUCCESS)
    for (auto* node = servers; node; node = node->next) ++count;
  ares_free_data(servers);
  return std::max(count, 1);
}

// The system's servers, counted once: /etc/resolv.conf is not re-read per page for this.
int SystemServerCount() {
  static const int count = [] {
    ares_channel channel = nullptr;
    if (ares_init(&channel) != ARES_SUCCESS) return 1;
    const int n = ServerCount(channel);
    ares_destroy(channel);
    return n;
  }();
  return count;
}

// c-ares doubles a query's time-out on every round over its servers; with two
// tries the whole query then stays within `total`.
int TryTimeoutMs(std::chrono::milliseconds total, int servers) {
  return static_cast<int>(std::max<long long>(50, total.count() / (3 * servers)));
}

// Only A to Z change, as with the C library's tolower in the C locale, which
// cost a call per letter: more than the cache lookup the name is for.
std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

DnsAnswer Failure(std::string error) {
  DnsAnswer answer;
  answer.Error = std::move(error);
  return answer;
}

DnsAnswer Failure(int status) {
  DnsAnswer answer = Failure(ResolverErrorText(status));
  answer.TimedOut = status == ARES_ETIMEOUT;
  return answer;
}

// A channel with the service's settings; throws when c-ares refuses them.
ares_channel OpenChannel(const Options& opts, ares_sock_state_cb socketState, void* data) {
  InitLibrary();
  ares_options options{};
  options.sock_state_cb = socketState;
  options.sock_state_cb_data = data;
  // The server's own REFUSED or SERVFAIL is the answer to show: without
  // NOCHECKRESP c-ares retries it and then reports "Could not contact DNS servers".
  options.flags = ARES_FLAG_EDNS | ARES_FLAG_NOCHECKRESP;
  options.ednspsz = kEdnsPayload;
  options.tries = kTries;
  // Only ares_gethostbyname reads the lookup order, and we never call it:
  // set, it spares every channel a read of /etc/nsswitch.conf.
  options.lookups = const_cast<char*>("b");
  const std::string& servers = opts.Resolver;
  const int count = servers.empty() ? SystemServerCount() : 1 + static_cast<int>(std::count(servers.begin(), servers.end(), ','));
  options.timeout = TryTimeoutMs(opts.DnsTimeout, count);
  const int mask = ARES_OPT_SOCK_STATE_CB | ARES_OPT_FLAGS | ARES_OPT_EDNSPSZ | ARES_OPT_TRIES | ARES_OPT_TIMEOUTMS |
                   ARES_OPT_LOOKUPS;
  ares_channel channel = nullptr;
  if (const int status = ares_init_options(&channel, &options, mask); status != ARES_SUCCESS)
    throw std::runtime_error("модуль DNS не запущен: " + ResolverErrorText(status));
  if (!servers.empty() && ares_set_servers_ports_csv(channel, servers.c_str()) != ARES_SUCCESS) {
    ares_destroy(channel);
    throw std::invalid_argument("неверно задан DNS-сервер службы: " + servers);
  }
  return channel;
}

// Everything a query's completion needs; it never touches the resolver, which
// may be gone by the time c-ares finishes the query (ares_destroy ends them all).
struct PendingQuery {
  boost::asio::any_io_executor Strand;
  SharedState& Shared;
  std::string CacheKey;
  DnsType Type;
  DnsDone Done;
};

DnsAnswer AnswerOf(int status, const unsigned char* bytes, int length, DnsType type) {
  DnsAnswer answer;
  if (status != ARES_SUCCESS && status != ARES_ENODATA && status != ARES_ENOTFOUND) return Failure(status);
  DnsMessage message;
  if (bytes && length > 0) {
    try {
      message = ReadDnsMessage({bytes, static_cast<std::size_t>(length)}, type);
    } catch (const std::exception&) {
      return Failure(ARES_EBADRESP);
    }
  }
  answer.Ok = true;
  answer.NxDomain = status == ARES_ENOTFOUND;
  answer.NoData = message.Records.empty();
  if (answer.NoData) {
    answer.Ttl = std::min(message.NegativeTtl.value_or(0), kMaxNegativeTtl);
  } else {
    answer.Records = std::move(message.Records);
    answer.Ttl = std::min(message.Ttl, kMaxTtl);
  }
  return answer;
}

void QueryFinished(void* arg, int status, int, unsigned char* bytes, int length) {
  std::unique_ptr<PendingQuery> query(static_cast<PendingQuery*>(arg));
  DnsAnswer answer = AnswerOf(status, bytes, length, query->Type);
  if (answer.Ok) query->Shared.Dns.Store(query->CacheKey, answer, std::chrono::seconds(answer.Ttl));
  // Posted, never called from inside c-ares: a `done` may start or cancel queries.
  boost::asio::post(query->Strand, [done = std::move(query->Done), answer = std::move(answer)]() mutable {
    done(std::move(answer));
  });
}

class AresResolver : public Resolver, public std::enable_shared_from_this<AresResolver> {
public:
  AresResolver(boost::asio::any_io_executor strand, SharedState& shared)
      : FStrand(std::move(strand)), FShared(shared), FTimer(FStrand) {}

  ~AresResolver() override {
    FClosing = true;
    // Ends every query (each posts its `done` with an error), then closes the
    // sockets, which drops our watches through the state callback.
    if (FChannel) ares_destroy(FChannel);
    FWatches.clear();
  }

  void Query(const std::string& name, DnsType type, DnsDone done) override {
    const std::string question = type == DnsType::PTR ? ReverseName(name) : Lower(name);
    if (FClosing || question.empty()) {
      const char* why = FClosing ? "служба останавливается" : type == DnsType::PTR ? "не адрес IPv4" : "имя не указано";
      boost::asio::post(FStrand, [done = std::move(done), why] { done(Failure(why)); });
      return;
    }
    std::string key = std::string(DnsTypeName(type)) + " " + question;
    if (auto cached = FShared.Dns.Find(key)) {
      boost::asio::post(FStrand, [done = std::move(done), answer = std::move(*cached)]() mutable {
        done(std::move(answer));
      });
      return;
    }
    // Opened at the first question the cache cannot answer: a channel costs
    // tens of microseconds, which pages served from the cache never pay.
    if (!FChannel) {
      try {
        FChannel = OpenChannel(FShared.Opts, &AresResolver::SocketState, this);
      } catch (const std::exception& error) {
        boost::asio::post(FStrand, [done = std::move(done), why = std::string(error.what())] { done(Failure(why)); });
        return;
      }
    }
    auto* query = new PendingQuery{FStrand, FShared, std::move(key), type, std::move(done)};
    ares_query(FChannel, question.c_str(), kDnsClassIn, DnsTypeCode(type), &QueryFinished, query);
    Rearm();
  }

  void CancelAll() override {
    if (FClosing || !FChannel) return;
    ares_cancel(FChannel);
    Rearm();
  }

private:
  struct Watch {
    explicit Watch(boost::asio::any_io_executor strand, int fd) : Descriptor(strand, fd) {}
    // The socket is c-ares': released, never closed here.
    ~Watch() { Descriptor.release(); }
    boost::asio::posix::stream_descriptor Descriptor;
    bool WantRead = false, WantWrite = false;
    bool Reading = false, Writing = false;
  };

  static void SocketState(void* data, ares_socket_t fd, int readable, int writable) {
    auto* self = static_cast<AresResolver*>(data);
    if (!readable && !writable) {
      // c-ares closes the socket after this returns, and may open another
      // with the same number at once. The reactor forgets a descriptor by its
      // number, so it must forget this one now: a wait still holding the
      // watch would otherwise, when it ends, take the new socket's place.
      if (auto it = self->FWatches.find(fd); it != self->FWatches.end()) {
        it->second->Descriptor.release();
        self->FWatches.erase(it);
      }
      return;
    }
    if (self->FClosing) return;
    auto& watch = self->FWatches[fd];
    if (!watch) watch = std::make_shared<Watch>(self->FStrand, fd);
    watch->WantRead = readable;
    watch->WantWrite = writable;
  }

  // After every call into c-ares: wait for what its sockets want, and for its next time-out.
  void Rearm() {
    for (auto& [fd, watch] : FWatches) {
      if (watch->WantRead && !watch->Reading) Wait(fd, watch, true);
      if (watch->WantWrite && !watch->Writing) Wait(fd, watch, false);
    }
    timeval next{};
    if (!ares_timeout(FChannel, nullptr, &next)) {
      FTimer.cancel();
      return;
    }
    FTimer.expires_after(std::chrono::seconds(next.tv_sec) + std::chrono::microseconds(next.tv_usec));
    FTimer.async_wait([weak = weak_from_this()](boost::system::error_code error) {
      auto self = weak.lock();
      if (error || !self) return;
      ares_process_fd(self->FChannel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
      self->Rearm();
    });
  }

  void Wait(int fd, const std::shared_ptr<Watch>& watch, bool read) {
    (read ? watch->Reading : watch->Writing) = true;
    const auto kind = read ? boost::asio::posix::descriptor_base::wait_read : boost::asio::posix::descriptor_base::wait_write;
    watch->Descriptor.async_wait(kind, [weak = weak_from_this(), fd, watch, read](boost::system::error_code error) {
      (read ? watch->Reading : watch->Writing) = false;
      auto self = weak.lock();
      if (error || !self) return;
      auto it = self->FWatches.find(fd);
      // c-ares may have closed this socket and opened another with the same number meanwhile.
      if (it == self->FWatches.end() || it->second != watch) return;
      ares_process_fd(self->FChannel, read ? fd : ARES_SOCKET_BAD, read ? ARES_SOCKET_BAD : fd);
      self->Rearm();
    });
  }

  boost::asio::any_io_executor FStrand;
  SharedState& FShared;
  boost::asio::steady_timer FTimer;
  ares_channel FChannel = nullptr;
  std::map<int, std::shared_ptr<Watch>> FWatches;
  bool FClosing = false;
};

}  // namespace

std::shared_ptr<Resolver> MakeResolver(boost::asio::any_io_executor strand, SharedState& shared) {
  return std::make_shared<AresResolver>(std::move(strand), shared);
}

void CheckResolverOptions(const Options& options) {
  try {
    ares_destroy(OpenChannel(options, nullptr, nullptr));
  } catch (const std::invalid_argument&) {
    throw OptionsError("--resolver: '" + options.Resolver + "' is not a DNS server address (like 192.0.2.53:53 or [2001:db8::53]:53)");
  } catch (const std::runtime_error&) {
    throw OptionsError("the DNS resolver (c-ares) cannot start with these settings");
  }
}

}  // namespace site
