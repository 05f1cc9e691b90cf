#pragma once
// The resolver every page uses: c-ares on the page's strand, with answers
// shared between pages through SharedState::Dns for their TTL.

#include "ReportContext.h"

#include <boost/asio/any_io_executor.hpp>
#include <memory>

namespace site {

std::shared_ptr<Resolver> MakeResolver(boost::asio::any_io_executor strand, SharedState& shared);

}  // namespace site
