#pragma once
// A lookup page's part in the history: what the page says of the name's
// earlier lookups, and this lookup kept for the next.

#include "history/History.h"
#include "history/PageChanges.h"

#include <functional>

namespace site {

// Waits, on `executor` and until `until` at most, for `earlier` (the name's
// newest snapshots, read when the page began); then `write` gets what the page
// says of them (that history is unavailable, when they did not come) and this
// lookup's `facts` go to the history's writer.
void WithHistory(History& history, HistoryRead& earlier, std::string name, std::vector<SectionFacts> facts,
                 const boost::asio::any_io_executor& executor, std::chrono::steady_clock::time_point until,
                 std::function<void(const PageHistory&)> write);

}  // namespace site
