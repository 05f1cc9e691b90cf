#pragma once
// The status line and header fields of a reply, as they go on the wire.
//
// Written straight into one string: a served page's head went through the
// generic serializer at a cost above that of building the page itself.

#include "server/Reply.h"

#include <string>

namespace site {

// The head of `reply` for a request of HTTP `version` (11 for 1.1), ending with
// its blank line; Content-Length is the size of its body.
std::string ReplyHead(const Reply& reply, unsigned version, bool keepAlive);

}  // namespace site
