#include "history/PageHistory.h"

namespace site {

void WithHistory(History& history, HistoryRead& earlier, std::string name, std::vector<SectionFacts> facts,
                 const boost::asio::any_io_executor& executor, std::chrono::steady_clock::time_point until,
                 std::function<void(const PageHistory&)> write) {
  earlier.Then(executor, until,
               [&history, name = std::move(name), facts = std::move(facts), write = std::move(write)](std::optional<std::vector<Snapshot>> stored) {
                 const auto now = std::chrono::system_clock::now();
                 PageHistory page;
                 if (stored) page = ChangesOf(name, facts, *stored, now);
                 else page.Unavailable = true;
                 // Kept even when the read was late: the writer may still reach the store.
                 if (!facts.empty() && (!stored || RecordDue(facts, *stored, now)))
                   history.Record(name, facts, std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
                 write(page);
               });
}

}  // namespace site
