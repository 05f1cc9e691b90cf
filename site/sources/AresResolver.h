#pragma once
// The resolver every page uses: c-ares on the page's strand, with answers
// shared between pages through SharedState::Dns for their TTL.

#include "sources/ReportContext.h"

#include <boost/asio/any_io_executor.hpp>
#include <memory>

namespace site {

std::shared_ptr<Resolver> MakeResolver(boost::asio::any_io_executor strand, SharedState& shared);

// Throws OptionsError when Options.Resolver is not a list of "address[:port]"
// c-ares takes; the program checks this once at start, as a page's resolver
// would only say so in its answers.
void CheckResolverOptions(const Options& options);

}  // namespace site
