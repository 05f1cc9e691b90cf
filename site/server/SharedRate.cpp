#include "server/SharedRate.h"

#include "sources/redis/RedisLink.h"

#include <cstdio>

namespace site {

namespace {

// The bucket refills at ARGV[1] tokens a second up to ARGV[2]; Redis's own
// clock times it, so the instances' clocks never have to agree. A bucket
// left alone until full is the same as none: it expires then, and no sooner,
// so the emptiest buckets live longest; Redis short of memory under
// volatile-ttl forgets the fullest first, and a flood of new keys never an
// emptied bucket before the keys that cost least to forget.
constexpr const char* kTakeScript = R"(
local rate, burst = tonumber(ARGV[1]), tonumber(ARGV[2])
local time = redis.call('TIME')
local now = time[1] * 1000 + math.floor(time[2] / 1000)
local bucket = redis.call('HMGET', KEYS[1], 'tokens', 'at')
local tokens = burst
if bucket[1] and bucket[2] then
  tokens = math.min(burst, tonumber(bucket[1]) + math.max(0, now - tonumber(bucket[2])) * rate / 1000)
end
local allowed = 0
if tokens >= 1 then
  tokens = tokens - 1
  allowed = 1
end
redis.call('HSET', KEYS[1], 'tokens', tostring(tokens), 'at', tostring(now))
redis.call('PEXPIRE', KEYS[1], math.max(1, math.ceil((burst - tokens) / rate * 1000)))
return allowed
)";

std::string Decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

}  // namespace

void AllowLookup(ServerState& server, const std::string& client, std::function<void(bool)> done) {
  RedisLink* redis = server.Shared.Redis;
  if (!redis || server.Opts.RatePerSecond <= 0) return done(server.Rate.Allow(client));
  redis->Command({"EVAL", kTakeScript, "1", "tarnwell:rate:" + client, Decimal(server.Opts.RatePerSecond), Decimal(server.Opts.RateBurst)},
                 server.Io.get_executor(), [&server, client, done = std::move(done)](std::optional<RedisReply> reply) {
                   if (!reply) return done(server.Rate.Allow(client));
                   done(reply->Integer == 1);
                 });
}

}  // namespace site
