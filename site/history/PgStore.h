#pragma once
// The history in PostgreSQL, which every instance of the site shares. Every
// call has a short statement time-out, so a server that is slow or down fails
// the call rather than holding the writer; a lost connection is made again by
// the next call.

#include "history/HistoryStore.h"

#include <string>

struct pg_conn;

namespace site {

class PgStore final : public HistoryStore {
public:
  // `url`: "postgresql://…", as libpq takes it.
  explicit PgStore(std::string url);
  ~PgStore() override;
  PgStore(const PgStore&) = delete;
  PgStore& operator=(const PgStore&) = delete;

  std::vector<Snapshot> Latest(const std::string& name) override;
  std::vector<Snapshot> List(const std::string& name, std::size_t limit) override;
  void Put(const std::string& name, const Snapshot& snapshot, bool fresh) override;
  void Trim(const std::string& name, std::size_t perSection, std::int64_t seenBefore) override;

private:
  class Query;
  void Connect();

  std::string FUrl;
  pg_conn* FConnection = nullptr;
};

}  // namespace site
