#pragma once
// Which page answers a request: the lookup, the home-site pages, or an error.

#include "server/Reply.h"
#include "server/ServerState.h"

#include <functional>
#include <string>
#include <string_view>

namespace site {

struct RouteRequest {
  std::string_view Method;
  std::string_view Target;  // path and query, as sent
  std::string_view Host;    // the Host header
  std::string Client;       // the client's IP address
};

using ReplyDone = std::function<void(Reply)>;

// Calls `done` once: at once for every page but a lookup, from the page's
// strand for a lookup.
void Route(ServerState& server, const RouteRequest& request, ReplyDone done);

}  // namespace site
