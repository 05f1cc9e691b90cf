#pragma once
// The one schema both stores keep, and the statements on it, written once:
// "$N" parameters, which PostgreSQL takes as they are and SQLite as "?N".

#include "history/HistoryStore.h"

#include <nlohmann/json.hpp>

namespace site {

inline constexpr const char* kCreateSnapshots =
    "CREATE TABLE IF NOT EXISTS snapshots (name TEXT NOT NULL, section INTEGER NOT NULL, taken BIGINT NOT NULL, "
    "seen BIGINT NOT NULL, state TEXT NOT NULL, changes TEXT NOT NULL, PRIMARY KEY (name, section, taken))";
inline constexpr const char* kCreateSeenIndex = "CREATE INDEX IF NOT EXISTS snapshots_seen ON snapshots (seen)";

inline constexpr const char* kSelectLatest =
    "SELECT section, taken, seen, state, changes FROM snapshots s WHERE name = $1 AND taken = "
    "(SELECT MAX(taken) FROM snapshots t WHERE t.name = s.name AND t.section = s.section) ORDER BY section";
inline constexpr const char* kSelectList =
    "SELECT section, taken, seen, state, changes FROM snapshots WHERE name = $1 ORDER BY taken DESC, section LIMIT $2";
// Two instances taking the same snapshot in the same millisecond keep one.
inline constexpr const char* kInsertSnapshot =
    "INSERT INTO snapshots (name, section, taken, seen, state, changes) VALUES ($1, $2, $3, $4, $5, $6) ON CONFLICT DO NOTHING";
inline constexpr const char* kUpdateSeen =
    "UPDATE snapshots SET seen = $4, state = $5 WHERE name = $1 AND section = $2 AND taken = $3";
inline constexpr const char* kDeleteExtra =
    "DELETE FROM snapshots WHERE name = $1 AND (section, taken) IN (SELECT section, taken FROM (SELECT section, taken, "
    "ROW_NUMBER() OVER (PARTITION BY section ORDER BY taken DESC) AS n FROM snapshots WHERE name = $1) ranked WHERE n > $2)";
inline constexpr const char* kDeleteOld = "DELETE FROM snapshots WHERE seen < $1";

// `query` has Bind(index, value), Step(), Number(column) and Text(column); its
// rows are the columns of kSelectLatest.
template <class Query>
std::vector<Snapshot> ReadSnapshots(Query& query) {
  std::vector<Snapshot> snapshots;
  while (query.Step()) {
    Snapshot snapshot;
    const std::int64_t section = query.Number(0);
    if (section < 0 || section >= static_cast<std::int64_t>(kReportCount)) throw StoreError("a snapshot of an unknown section");
    snapshot.Kind = static_cast<ReportKind>(section);
    snapshot.Taken = query.Number(1);
    snapshot.Seen = query.Number(2);
    try {
      snapshot.State = DecodeState(query.Text(3), snapshot.Kind);
      snapshot.Changes = nlohmann::json::parse(query.Text(4)).template get<std::vector<std::string>>();
    } catch (const std::exception& e) {
      throw StoreError(e.what());
    }
    snapshots.push_back(std::move(snapshot));
  }
  return snapshots;
}

// The parameters of kInsertSnapshot (`fresh`) or kUpdateSeen.
template <class Query>
void BindSnapshot(Query& query, const std::string& name, const Snapshot& snapshot, bool fresh) {
  query.Bind(1, name).Bind(2, static_cast<std::int64_t>(snapshot.Kind)).Bind(3, snapshot.Taken).Bind(4, snapshot.Seen)
      .Bind(5, EncodeState(snapshot.State));
  if (fresh) query.Bind(6, nlohmann::json(snapshot.Changes).dump());
}

}  // namespace site
