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
constexpr std::size_t kWriteBacklog = 16;
constexpr std::chrono::seconds kLatestFor{1};
// Room for the newest snapshots of some ten thousand names.
constexpr std::size_t kLatestBytes = 16 << 20;

std::size_t SnapshotBytes(const std::vector<Snapshot>& snapshots) {
  std::size_t bytes = sizeof snapshots;
  for (const Snapshot& snapshot : snapshots) {
    bytes += sizeof snapshot;
    for (const Fact& fact : snapshot.State.Facts.Facts)
      for (const std::string& value : fact.Values) bytes += fact.Label.size() + value.size() + 2 * sizeof(std::string);
    for (const std::string& line : snapshot.Changes) bytes += line.size() + sizeof line;
  }
  return bytes;
}

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
    // Taken here, the timer ends on its own executor: left for the writer's
    // answer, it would be destroyed on the writer's thread, perhaps after its
    // io_context.
    std::shared_ptr<boost::asio::steady_timer> timer;
    {
      std::lock_guard lock(self->FMutex);
      if (self->FDone != shared) return;
      self->FDone.reset();
      timer = std::move(self->FTimer);
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
  // The timer is the waiter's, touched on its executor only: moved into the
  // handler, so that no copy of it ends on this thread after the waiter's
  // io_context may be gone.
  if (done)
    boost::asio::post(executor, [done, timer = std::move(timer), self = shared_from_this()] {
      timer->cancel();
      (*done)(self->FSnapshots);
    });
}

History::History(std::function<std::unique_ptr<HistoryStore>()> open, std::size_t perSection, std::chrono::hours keep)
    : FOpen(std::move(open)), FPerSection(perSection), FKeep(keep), FLatest(kLatestBytes, SnapshotBytes), FThread([this] { Run(); }) {}

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
  if (!list) {
    if (auto latest = FLatest.Find(name)) {
      read->Answer(std::move(latest));
      return read;
    }
  }
  Push([this, read, name = std::move(name), list](HistoryStore& store) {
         if (list) return read->Answer(store.List(name, list));
         std::vector<Snapshot> latest = store.Latest(name);
         FLatest.Store(name, latest, kLatestFor);
         read->Answer(std::move(latest));
       },
       [read] { read->Answer(std::nullopt); }, true);
  return read;
}

void History::Record(std::string name, std::vector<SectionFacts> facts, std::int64_t nowMs) {
  // Until it is written, a read goes to the writer, which takes it after this.
  FLatest.Forget(name);
  Push([this, name = std::move(name), facts = std::move(facts), nowMs](HistoryStore& store) {
        std::vector<Snapshot> latest = store.Latest(name);
        bool grown = false;
        for (const SectionFacts& section : facts) {
          auto before = std::find_if(latest.begin(), latest.end(), [&](const Snapshot& s) { return s.Kind == section.Kind; });
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
          grown |= comparison.Store;
          if (known) *before = std::move(snapshot);
          else latest.push_back(std::move(snapshot));
        }
        FLatest.Store(name, latest, kLatestFor);
        // Only a new snapshot can take the store past its bounds.
        if (grown) store.Trim(name, FPerSection, nowMs - std::chrono::duration_cast<std::chrono::milliseconds>(FKeep).count());
      },
      [] {}, false);
}

void History::Push(Job job, std::function<void()> failed, bool read) {
  {
    std::lock_guard lock(FMutex);
    if (FReads.size() + FWrites.size() < kMaxJobs) {
      (read ? FReads : FWrites).push_back({std::move(job), std::move(failed), FPushed++});
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
    Queued job;
    {
      std::unique_lock lock(FMutex);
      FWake.wait(lock, [this] { return FStopping || !FReads.empty() || !FWrites.empty(); });
      if (FStopping) break;
      // In turn while the writes keep up, so that a read sees what was
      // written before it; past a backlog the reads go first: a page waits
      // for its read, nobody waits for a write.
      auto& jobs = FReads.empty() || (!FWrites.empty() && FWrites.size() <= kWriteBacklog && FWrites.front().Order < FReads.front().Order) ? FWrites : FReads;
      job = std::move(jobs.front());
      jobs.pop_front();
    }
    const auto now = std::chrono::steady_clock::now();
    if (!FStore && now >= FNextOpen) Open();
    if (!FStore) {
      job.Failed();
      continue;
    }
    try {
      job.Work(*FStore);
      if (FFaulty) std::cerr << "tarnwell-site: history available again\n";
      FFaulty = false;
    } catch (const std::exception& e) {
      Fault(e.what());
      // The next job opens the store afresh, after a pause so that a store
      // that is down is not hammered by every page.
      FStore.reset();
      FNextOpen = now + kReopenAfter;
      job.Failed();
    }
  }
  std::lock_guard lock(FMutex);
  for (auto& job : FReads) job.Failed();
  FReads.clear();
  FWrites.clear();
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
