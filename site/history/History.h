#pragma once
// The site's memory of the names it was asked about, kept off the pages' path:
// one writer thread owns the store and takes its work from a bounded queue, so
// a page never waits for a write, and a read it asked for is waited on only
// as long as the page allows. A store that fails (gone, locked, read-only,
// full, corrupt, its server down) makes reads answer "unavailable" at once
// and drops writes; the log says why once per spell, and says when it is back.

#include "base/TtlCache.h"
#include "history/HistoryStore.h"

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace site {

// The answer to a read, waited for on the reader's own executor.
class HistoryRead : public std::enable_shared_from_this<HistoryRead> {
public:
  using Done = std::function<void(std::optional<std::vector<Snapshot>>)>;
  // `done` is called once, on `executor`: with the snapshots when they come by
  // `until`, with nothing (history unavailable) when they do not or the read failed.
  void Then(const boost::asio::any_io_executor& executor, std::chrono::steady_clock::time_point until, Done done);
  // The writer's answer; nothing: the read failed.
  void Answer(std::optional<std::vector<Snapshot>> snapshots);

private:
  std::mutex FMutex;
  bool FAnswered = false;
  std::optional<std::vector<Snapshot>> FSnapshots;
  std::shared_ptr<Done> FDone;  // set by Then; taken by whichever of the answer and the time-out comes first
  std::shared_ptr<boost::asio::steady_timer> FTimer;  // the time-out, while it waits
  boost::asio::any_io_executor FExecutor;
};

class History {
public:
  // `open` makes the store; it is called on the writer thread, again after a
  // failure, at most once a second.
  History(std::function<std::unique_ptr<HistoryStore>()> open, std::size_t perSection, std::chrono::hours keep);
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  // The newest snapshot of each section of `name`; `list` instead: at most that many, newest first.
  std::shared_ptr<HistoryRead> Read(std::string name, std::size_t list = 0);
  // Compares `facts` with the newest snapshots and keeps what changed: one new
  // snapshot per changed section, the seen time moved otherwise. Dropped when
  // the queue is full.
  void Record(std::string name, std::vector<SectionFacts> facts, std::int64_t nowMs);

private:
  using Job = std::function<void(HistoryStore&)>;
  // `failed` is told when the job cannot run or throws. Reads go before writes.
  void Push(Job job, std::function<void()> failed, bool read);
  void Open();
  void Run();
  void Fault(const std::string& why);

  std::function<std::unique_ptr<HistoryStore>()> FOpen;
  const std::size_t FPerSection;
  const std::chrono::hours FKeep;
  std::unique_ptr<HistoryStore> FStore;  // the writer's alone
  // The newest snapshots of the names asked for in the last moment: a name
  // asked for again and again is read from the store once a second, not once
  // a page. Another instance's snapshot shows that much later.
  TtlCache<std::vector<Snapshot>> FLatest;
  std::chrono::steady_clock::time_point FNextOpen{};
  bool FFaulty = false;
  std::mutex FMutex;
  std::condition_variable FWake;
  struct Queued {
    Job Work;
    std::function<void()> Failed;
    std::uint64_t Order;  // when it came, among reads and writes
  };
  std::deque<Queued> FReads, FWrites;
  std::uint64_t FPushed = 0;
  bool FStopping = false;
  std::thread FThread;
};

// The history the options ask for: nothing for "off"; throws StoreError for a
// store that cannot be used at all (a PostgreSQL URL without PostgreSQL, ...).
std::unique_ptr<History> MakeHistory(const std::string& where, std::size_t perSection, std::chrono::hours keep);

}  // namespace site
