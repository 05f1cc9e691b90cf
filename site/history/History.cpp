#include "history/History.h"

#include "history/PgStore.h"
#include "history/SqliteStore.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <algorithm>
#include <iostream>

namespace site {

namespace {

// Past this many jobs waiting, the store is too slow for the pages: a read
// answers "unavailable" and a write is dropped rather than held in memory.
constexpr std::size_t kMaxJobs = 1024;
constexpr std::chrono::seconds kReopenAfter{1};

}  // namespace

void HistoryRead::Then(const boost::asio::any_io_executor& executor, std::chrono::steady_clock::time_point until, Done done) {
  auto shared = std::make_shared<Done>(std::move(done));
  auto timer = std::make_shared<boost::asio::steady_timer>(executor, until);
  bool answered = false;
  {
    std::lock_guard lock(FMutex);
    FExecutor = executor;
    answered = FAnswered;
    if (!answered) {
      FDone = shared;
      FTimer = timer;
    }
  }
  // Answered before it was waited for: the answer no longer changes.
  if (answered) return boost::asio::post(executor, [shared, self = shared_from_this()] { (*shared)(self->FSnapshots); });
  timer->async_wait([self = shared_from_this(), shared](const boost::system::error_code&) {
    {
      std::lock_guard lock(self->FMutex);
      if (self->FDone != shared) return;
      self->FDone.reset();
    }
    (*shared)(std::nullopt);
  });
}

void HistoryRead::Answer(std::optional<std::vector<Snapshot>> snapshots) {
  std::shared_ptr<Done> done;
  std::shared_ptr<boost::asio::steady_timer> timer;
  boost::asio::any_io_executor executor;
  {
    std::lock_guard lock(FMutex);
    FAnswered = true;
    FSnapshots = std::move(snapshots);
    done = std::move(FDone);
    timer = std::move(FTimer);
    executor = FExecutor;
  }
  // The timer is the waiter's, touched on its executor only.
  if (done)
    boost::asio::post(executor, [done, timer, self = shared_from_this()] {
      timer->cancel();
      (*done)(self->FSnapshots);
    });
}

History::History(std::function<std::unique_ptr<HistoryStore>()> open, std::size_t perSection, std::chrono::hours keep)
    : FOpen(std::move(open)), FPerSection(perSection), FKeep(keep), FThread([this] { Run(); }) {}

History::~History() {
  {
    std::lock_guard lock(FMutex);
    FStopping = true;
  }
  FWake.notify_one();
  FThread.join();
}

std::shared_ptr<HistoryRead> History::Read(std::string name, std::size_t list) {
  auto read = std::make_shared<HistoryRead>();
  Push([read, name = std::move(name), list](HistoryStore& store) { read->Answer(list ? store.List(name, list) : store.Latest(name)); },
       [read] { read->Answer(std::nullopt); });
  return read;
}

void History::Record(std::string name, std::vector<SectionFacts> facts, std::int64_t nowMs) {
  Push([this, name = std::move(name), facts = std::move(facts), nowMs](HistoryStore& store) {
        const std::vector<Snapshot> latest = store.Latest(name);
        for (const SectionFacts& section : facts) {
          const auto before = std::find_if(latest.begin(), latest.end(), [&](const Snapshot& s) { return s.Kind == section.Kind; });
          const bool known = before != latest.end();
          Comparison comparison = Compare(known ? std::optional(before->State) : std::nullopt, section);
          Snapshot snapshot;
          snapshot.Kind = section.Kind;
          snapshot.State = std::move(comparison.Next);
          // Another instance's clock may be a little ahead: a new snapshot still comes after the last.
          snapshot.Taken = comparison.Store ? std::max(nowMs, known ? before->Taken + 1 : nowMs) : before->Taken;
          snapshot.Seen = std::max(nowMs, snapshot.Taken);
          snapshot.Changes = std::move(comparison.Lines);
          store.Put(name, snapshot, comparison.Store);
        }
        store.Trim(name, FPerSection, nowMs - std::chrono::duration_cast<std::chrono::milliseconds>(FKeep).count());
      },
      [] {});
}

void History::Push(Job job, std::function<void()> failed) {
  {
    std::lock_guard lock(FMutex);
    if (FJobs.size() < kMaxJobs) {
      FJobs.emplace_back(std::move(job), std::move(failed));
      FWake.notify_one();
      return;
    }
  }
  failed();
}

void History::Fault(const std::string& why) {
  if (!FFaulty) std::cerr << "tarnwell-site: history unavailable: " << why << "\n";
  FFaulty = true;
}

void History::Open() {
  try {
    FStore = FOpen();
  } catch (const std::exception& e) {
    Fault(e.what());
    FNextOpen = std::chrono::steady_clock::now() + kReopenAfter;
  }
}

void History::Run() {
  // Opened at once, not by the first page: making a new file or connecting
  // can take longer than a page waits.
  Open();
  for (;;) {
    std::pair<Job, std::function<void()>> job;
    {
      std::unique_lock lock(FMutex);
      FWake.wait(lock, [this] { return FStopping || !FJobs.empty(); });
      if (FStopping) break;
      job = std::move(FJobs.front());
      FJobs.pop_front();
    }
    const auto now = std::chrono::steady_clock::now();
    if (!FStore && now >= FNextOpen) Open();
    if (!FStore) {
      job.second();
      continue;
    }
    try {
      job.first(*FStore);
      if (FFaulty) std::cerr << "tarnwell-site: history available again\n";
      FFaulty = false;
    } catch (const std::exception& e) {
      Fault(e.what());
      // The next job opens the store afresh, after a pause so that a store
      // that is down is not hammered by every page.
      FStore.reset();
      FNextOpen = now + kReopenAfter;
      job.second();
    }
  }
  std::lock_guard lock(FMutex);
  for (auto& job : FJobs) job.second();
  FJobs.clear();
}

std::unique_ptr<History> MakeHistory(const std::string& where, std::size_t perSection, std::chrono::hours keep) {
  if (where == "off") return nullptr;
  return std::make_unique<History>([where] { return OpenHistoryStore(where); }, perSection, keep);
}

std::unique_ptr<HistoryStore> OpenHistoryStore(const std::string& where) {
  if (where.starts_with("postgresql://") || where.starts_with("postgres://")) return std::make_unique<PgStore>(where);
  return std::make_unique<SqliteStore>(where);
}

}  // namespace site
