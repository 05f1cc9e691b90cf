#include "sources/redis/SharedCache.h"

#include "sources/DnsMessage.h"
#include "sources/redis/RedisLink.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace site {

namespace {

// The value and the milliseconds it has left, in one round trip; nil for a
// value longer than ARGV[1] bytes, which is never sent: such a value (which
// no instance stores) would cost every lookup its transfer.
constexpr const char* kGetScript = R"(
if redis.call('STRLEN', KEYS[1]) > tonumber(ARGV[1]) then return false end
return {redis.call('GET', KEYS[1]), redis.call('PTTL', KEYS[1])}
)";

template <class Value, class Decode>
void Find(SharedState& shared, TtlCache<Value>& local, CacheKind kind, std::string (*redisKey)(const std::string&),
          const boost::asio::any_io_executor& executor, const std::string& key, Decode decode,
          std::function<void(std::optional<Value>)> done) {
  auto found = local.Find(key);
  shared.Counters.Cache(kind, CacheLevel::Local, found.has_value());
  if (found || !shared.Redis) return done(std::move(found));
  shared.Redis->Command({"EVAL", kGetScript, "1", redisKey(key), std::to_string(shared.Opts.RedisMaxValueBytes)}, executor,
                        [&shared, &local, kind, key, decode, done = std::move(done)](std::optional<RedisReply> reply) {
                          std::optional<Value> value;
                          const bool found = reply && reply->Items.size() == 2 && !reply->Items[0].Nil && reply->Items[1].Integer > 0;
                          const std::chrono::seconds left(found ? reply->Items[1].Integer / 1000 : 0);
                          if (found) value = decode(reply->Items[0].Text, left);
                          // Only what Redis answered is its hit or miss: while it is away nothing was asked of it.
                          if (reply) shared.Counters.Cache(kind, CacheLevel::Shared, value.has_value());
                          // Kept here for what it has left, so no instance keeps it longer than the one that fetched it.
                          if (value) local.Store(key, *value, left);
                          done(std::move(value));
                        });
}

void Share(SharedState& shared, const std::string& redisKey, const std::string& value, std::chrono::seconds ttl) {
  if (!shared.Redis || ttl.count() <= 0 || value.size() > shared.Opts.RedisMaxValueBytes) return;
  shared.Redis->Command({"SET", redisKey, value, "EX", std::to_string(ttl.count())}, shared.Redis->Executor(), [](std::optional<RedisReply>) {});
}

std::string RecordKey(const std::string& key) { return "tarnwell:record:" + key; }
std::string DnsKey(const std::string& key) { return "tarnwell:dns:" + key; }

bool ReadNumber(std::string_view& text, char end, std::size_t& value) {
  const auto [next, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || next == text.data() + text.size() || *next != end) return false;
  text.remove_prefix(static_cast<std::size_t>(next - text.data()) + 1);
  return true;
}

}  // namespace

void FindRecord(SharedState& shared, const boost::asio::any_io_executor& executor, const std::string& key,
                std::function<void(std::optional<std::string>)> done) {
  Find(shared, shared.Records, CacheKind::Records, &RecordKey, executor, key,
       [](const std::string& text, std::chrono::seconds) { return std::optional<std::string>(text); }, std::move(done));
}

void StoreRecord(SharedState& shared, const std::string& key, const std::string& record, std::chrono::seconds ttl) {
  shared.Records.Store(key, record, ttl);
  Share(shared, RecordKey(key), record, ttl);
}

void FindDns(SharedState& shared, const boost::asio::any_io_executor& executor, const std::string& key,
             std::function<void(std::optional<DnsAnswer>)> done) {
  // The answer shows the time it has left in Redis, not the zone's whole TTL it was stored with.
  const auto aged = [](const std::string& text, std::chrono::seconds left) {
    auto answer = DecodeDnsAnswer(text);
    if (answer) answer->Ttl = static_cast<std::uint32_t>(std::min<std::int64_t>(answer->Ttl, left.count()));
    return answer;
  };
  Find(shared, shared.Dns, CacheKind::Dns, &DnsKey, executor, key, aged, std::move(done));
}

void StoreDns(SharedState& shared, const std::string& key, const DnsAnswer& answer, std::chrono::seconds ttl) {
  shared.Dns.Store(key, answer, ttl);
  Share(shared, DnsKey(key), EncodeDnsAnswer(answer), ttl);
}

// "<nxdomain><nodata> <ttl>\n" and each record as "<length>:<bytes>": records
// may hold any byte, so they are counted, never delimited.
std::string EncodeDnsAnswer(const DnsAnswer& answer) {
  std::string text;
  text += answer.NxDomain ? '1' : '0';
  text += answer.NoData ? '1' : '0';
  text += " " + std::to_string(answer.Ttl) + "\n";
  for (const std::string& record : answer.Records) text += std::to_string(record.size()) + ":" + record;
  return text;
}

std::optional<DnsAnswer> DecodeDnsAnswer(const std::string& text) {
  std::string_view rest = text;
  if (rest.size() < 4 || (rest[0] != '0' && rest[0] != '1') || (rest[1] != '0' && rest[1] != '1') || rest[2] != ' ') return std::nullopt;
  DnsAnswer answer;
  answer.Ok = true;
  answer.NxDomain = rest[0] == '1';
  answer.NoData = rest[1] == '1';
  rest.remove_prefix(3);
  std::size_t ttl = 0;
  if (!ReadNumber(rest, '\n', ttl) || ttl > UINT32_MAX) return std::nullopt;
  answer.Ttl = static_cast<std::uint32_t>(ttl);
  while (!rest.empty()) {
    std::size_t length = 0;
    if (answer.Records.size() >= kMaxDnsRecords || !ReadNumber(rest, ':', length) || length > rest.size()) return std::nullopt;
    answer.Records.emplace_back(rest.substr(0, length));
    rest.remove_prefix(length);
  }
  return answer;
}

}  // namespace site
