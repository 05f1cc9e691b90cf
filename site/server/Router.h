#pragma once
// Which page answers a request: the lookup, the home-site pages, or an error.

#include "server/Reply.h"
#include "server/ServerState.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace site {

struct RouteRequest {
  std::string_view Method;
  std::string_view Target;  // path and query, as sent
  std::string_view Host;    // the Host header
  std::string Client;       // the client's IP address
  std::string ClientKey;    // the key of the client's shares and rate (ClientKey())
};

using ReplyDone = std::function<void(Reply)>;

// Calls `done` once: at once for every page but a lookup, from the page's
// strand for a lookup. Returns the lookup's page while it runs, so that a
// client who leaves can cancel it; null for every other answer.
std::shared_ptr<LivePages::Page> Route(ServerState& server, const RouteRequest& request, ReplyDone done);

}  // namespace site
