#pragma once
// The history in one SQLite file (WAL, so that readers and the writer of
// several processes on one machine do not block each other for long). A file
// SQLite calls corrupt or not a database is moved aside, "PATH.corrupt-<ms>",
// and a new one started in its place; a file deleted or replaced under an
// open store is noticed at the next call, which starts on the new one.

#include "history/HistoryStore.h"

#include <string>

struct sqlite3;

namespace site {

class SqliteStore final : public HistoryStore {
public:
  explicit SqliteStore(std::string path);
  ~SqliteStore() override;
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  std::vector<Snapshot> Latest(const std::string& name) override;
  std::vector<Snapshot> List(const std::string& name, std::size_t limit) override;
  void Put(const std::string& name, const Snapshot& snapshot, bool fresh) override;
  void Trim(const std::string& name, std::size_t perSection, std::int64_t seenBefore) override;

private:
  class Statement;
  void Open();
  void Close();
  // Runs `work` on an open file that is still the one at the path; on a
  // corrupt file moves it aside before the error goes on.
  template <class Work>
  auto Guarded(Work work);
  [[noreturn]] void Fail(int code, const char* what);

  std::string FPath;
  sqlite3* FDb = nullptr;
  unsigned long long FDevice = 0, FInode = 0;
};

}  // namespace site
