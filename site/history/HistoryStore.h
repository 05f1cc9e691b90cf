#pragma once
// Where the snapshots live: one table, the same in SQLite and PostgreSQL.
// A store is used from one thread at a time (the history's writer); its
// failures are exceptions, and the writer decides what a page sees of them.

#include "history/FactDiff.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace site {

struct Snapshot {
  ReportKind Kind{};
  std::int64_t Taken = 0;            // ms since the epoch when these facts were first seen so
  std::int64_t Seen = 0;             // ms since the epoch when they were last seen so
  SectionState State;
  std::vector<std::string> Changes;  // what had changed when it was taken; empty for a name's first
};

class StoreError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class HistoryStore {
public:
  virtual ~HistoryStore() = default;
  // The newest snapshot of each section of `name` that has one.
  virtual std::vector<Snapshot> Latest(const std::string& name) = 0;
  // At most `limit` snapshots of `name`, newest first.
  virtual std::vector<Snapshot> List(const std::string& name, std::size_t limit) = 0;
  // A new snapshot, or (`fresh` false) the newest one's seen time and state moved to `snapshot`'s.
  virtual void Put(const std::string& name, const Snapshot& snapshot, bool fresh) = 0;
  // Keeps the newest `perSection` snapshots of each section of `name`, and
  // deletes every snapshot of any name last seen before `seenBefore`.
  virtual void Trim(const std::string& name, std::size_t perSection, std::int64_t seenBefore) = 0;
};

// `where`: "postgresql://…" or a file path. Throws StoreError when it cannot be opened.
std::unique_ptr<HistoryStore> OpenHistoryStore(const std::string& where);

}  // namespace site
