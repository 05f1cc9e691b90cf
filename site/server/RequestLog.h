#pragma once
// One line per request on stderr, for the journal.

#include <chrono>
#include <string_view>

namespace site {

void LogRequest(std::string_view client, std::string_view note, unsigned status, std::chrono::steady_clock::duration time);

}  // namespace site
