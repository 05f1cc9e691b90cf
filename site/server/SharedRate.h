#pragma once
// The per-client rate of lookups across every instance of the site: a token
// bucket per client (an IPv4 address or an IPv6 /64) in Redis, taken in one
// script, so that a client spreading its requests over the instances has the
// rate of one. Without
// Redis, or when it does not answer in time, this instance's own limiter decides.

#include "server/ServerState.h"

#include <functional>
#include <string>

namespace site {

// `done` gets whether `client` may have one more lookup: at once without Redis, else on any thread.
void AllowLookup(ServerState& server, const std::string& client, std::function<void(bool)> done);

}  // namespace site
