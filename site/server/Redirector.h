#pragma once
// "/go.php?url=…": where the window's redirector links may lead. Only to the
// exact targets the window itself links to, never wherever a link says.

#include <optional>
#include <string>
#include <string_view>

namespace site {

// `query` is the raw text after '?' as sent (the window does not encode the
// target); `host` is the request's Host header. The Location to redirect to,
// or nothing when the target is not one of ours.
std::optional<std::string> RedirectLocation(std::string_view query, std::string_view host);

// The target named by the query, for the page that names it instead.
std::string RedirectTarget(std::string_view query);

// The page answering a target that is not ours: names it, does not follow it.
std::string NotRedirectedPage(std::string_view target);

}  // namespace site
