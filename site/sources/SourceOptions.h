#pragma once
// The options that name the service's sources, checked once at start: a
// source that cannot be reached as written would fail every page instead.

#include "base/Options.h"

namespace site {

// Throws OptionsError naming the first option that is wrong: the resolver,
// the root WHOIS server, the RDAP bootstrap URL or the CA file.
void CheckSourceOptions(const Options& options);

}  // namespace site
