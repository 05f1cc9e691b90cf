#include "history/PgStore.h"

#include "history/HistorySchema.h"

#include <libpq-fe.h>

#include <algorithm>

namespace site {

namespace {

// Past these a call fails: the page that waits on the writer has a budget.
constexpr const char* kConnectTimeoutSeconds = "2";
constexpr const char* kStatementTimeout = "SET statement_timeout = 1000";

// libpq's messages run over several lines; the log is read line by line.
std::string Message(pg_conn* connection) {
  std::string message = std::string("PostgreSQL: ") + PQerrorMessage(connection);
  while (!message.empty() && message.back() == '\n') message.pop_back();
  std::replace(message.begin(), message.end(), '\n', ' ');
  return message;
}

}  // namespace

// One statement with text parameters, run when its first row is asked for.
class PgStore::Query {
public:
  Query(PgStore& store, const char* sql) : FStore(store), FSql(sql) {}
  ~Query() { PQclear(FResult); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Bind(int index, const std::string& text) {
    if (FValues.size() < static_cast<std::size_t>(index)) FValues.resize(static_cast<std::size_t>(index));
    FValues[static_cast<std::size_t>(index) - 1] = text;
    return *this;
  }
  Query& Bind(int index, std::int64_t number) { return Bind(index, std::to_string(number)); }

  bool Step() {
    if (!FResult) Run();
    return FRow < PQntuples(FResult) && ++FRow > 0;
  }
  std::int64_t Number(int column) { return std::stoll(PQgetvalue(FResult, FRow - 1, column)); }
  std::string Text(int column) { return PQgetvalue(FResult, FRow - 1, column); }

private:
  void Run() {
    std::vector<const char*> values;
    for (const std::string& value : FValues) values.push_back(value.c_str());
    FResult = PQexecParams(FStore.FConnection, FSql, static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(FResult);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      std::string message = Message(FStore.FConnection);
      // A connection that broke is made again by the next call.
      if (PQstatus(FStore.FConnection) != CONNECTION_OK) {
        PQfinish(FStore.FConnection);
        FStore.FConnection = nullptr;
      }
      throw StoreError(message);
    }
  }

  PgStore& FStore;
  const char* FSql;
  std::vector<std::string> FValues;
  PGresult* FResult = nullptr;
  int FRow = 0;
};

PgStore::PgStore(std::string url) : FUrl(std::move(url)) { Connect(); }

PgStore::~PgStore() { PQfinish(FConnection); }

void PgStore::Connect() {
  if (FConnection) return;
  const char* keys[] = {"dbname", "connect_timeout", nullptr};
  const char* values[] = {FUrl.c_str(), kConnectTimeoutSeconds, nullptr};
  FConnection = PQconnectdbParams(keys, values, 1);
  if (PQstatus(FConnection) != CONNECTION_OK) {
    const std::string message = Message(FConnection);
    PQfinish(FConnection);
    FConnection = nullptr;
    throw StoreError(message);
  }
  for (const char* sql : {kStatementTimeout, "SET client_min_messages = warning", kCreateSnapshots, kCreateSeenIndex}) {
    Query statement(*this, sql);
    statement.Step();
  }
}

std::vector<Snapshot> PgStore::Latest(const std::string& name) {
  Connect();
  Query query(*this, kSelectLatest);
  query.Bind(1, name);
  return ReadSnapshots(query);
}

std::vector<Snapshot> PgStore::List(const std::string& name, std::size_t limit) {
  Connect();
  Query query(*this, kSelectList);
  query.Bind(1, name).Bind(2, static_cast<std::int64_t>(limit));
  return ReadSnapshots(query);
}

void PgStore::Put(const std::string& name, const Snapshot& snapshot, bool fresh) {
  Connect();
  Query write(*this, fresh ? kInsertSnapshot : kUpdateSeen);
  BindSnapshot(write, name, snapshot, fresh);
  write.Step();
}

void PgStore::Trim(const std::string& name, std::size_t perSection, std::int64_t seenBefore) {
  Connect();
  Query extra(*this, kDeleteExtra);
  extra.Bind(1, name).Bind(2, static_cast<std::int64_t>(perSection));
  extra.Step();
  Query old(*this, kDeleteOld);
  old.Bind(1, seenBefore);
  old.Step();
}

}  // namespace site
