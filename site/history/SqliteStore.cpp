#include "history/SqliteStore.h"

#include "history/HistorySchema.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

namespace site {

namespace {

// A file locked by another process's long write fails this call rather than
// holding the writer, and with it every page's read.
constexpr int kBusyMs = 100;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

// One prepared statement, finalized on every way out.
class SqliteStore::Statement {
public:
  Statement(SqliteStore& store, std::string sql) : FStore(store) {
    std::replace(sql.begin(), sql.end(), '$', '?');
    if (const int code = sqlite3_prepare_v2(store.FDb, sql.c_str(), -1, &FStatement, nullptr)) store.Fail(code, "prepare");
  }
  ~Statement() { sqlite3_finalize(FStatement); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, const std::string& text) {
    Check(sqlite3_bind_text(FStatement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
    return *this;
  }
  Statement& Bind(int index, std::int64_t number) {
    Check(sqlite3_bind_int64(FStatement, index, number));
    return *this;
  }
  // True while a row is there to read.
  bool Step() {
    const int code = sqlite3_step(FStatement);
    if (code == SQLITE_ROW) return true;
    if (code != SQLITE_DONE) FStore.Fail(code, "step");
    return false;
  }
  std::int64_t Number(int column) { return sqlite3_column_int64(FStatement, column); }
  std::string Text(int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(FStatement, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(FStatement, column))) : std::string{};
  }

private:
  void Check(int code) {
    if (code != SQLITE_OK) FStore.Fail(code, "bind");
  }
  SqliteStore& FStore;
  sqlite3_stmt* FStatement = nullptr;
};

SqliteStore::~SqliteStore() { Close(); }

void SqliteStore::Close() {
  sqlite3_close_v2(FDb);
  FDb = nullptr;
}

void SqliteStore::Open() {
  if (const int code = sqlite3_open_v2(FPath.c_str(), &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr))
    Fail(code, "open");
  sqlite3_busy_timeout(FDb, kBusyMs);
  for (const char* sql : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL", kCreateSnapshots, kCreateSeenIndex}) {
    Statement statement(*this, sql);
    while (statement.Step()) {
    }
  }
  struct stat file{};
  if (stat(FPath.c_str(), &file) != 0) throw StoreError(FPath + ": no file after opening it");
  FDevice = file.st_dev;
  FInode = file.st_ino;
}

template <class Work>
auto SqliteStore::Guarded(Work work) {
  struct stat file{};
  if (FDb && (stat(FPath.c_str(), &file) != 0 || file.st_dev != FDevice || file.st_ino != FInode)) {
    std::cerr << "tarnwell-site: history: " << FPath << " is gone or replaced; a new one is started\n";
    Close();
  }
  if (!FDb) Open();
  return work();
}

SqliteStore::SqliteStore(std::string path) : FPath(std::move(path)) { Guarded([] { return 0; }); }

void SqliteStore::Fail(int code, const char* what) {
  std::string message = FPath + ": " + what + ": " + (FDb ? sqlite3_errmsg(FDb) : sqlite3_errstr(code));
  const int primary = code & 0xFF;
  Close();
  if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB) {
    const std::string aside = FPath + ".corrupt-" + std::to_string(NowMs());
    // Its journal belongs to it: left in place it would be replayed into the new file.
    std::rename((FPath + "-wal").c_str(), (aside + "-wal").c_str());
    std::remove((FPath + "-shm").c_str());
    if (std::rename(FPath.c_str(), aside.c_str()) == 0) {
      std::cerr << "tarnwell-site: history: " << FPath << " is corrupt (" << message << "); moved to " << aside
                << ", a new one is started\n";
      message += "; moved aside";
    }
  }
  throw StoreError(message);
}

std::vector<Snapshot> SqliteStore::Latest(const std::string& name) {
  return Guarded([&] {
    Statement query(*this, kSelectLatest);
    query.Bind(1, name);
    return ReadSnapshots(query);
  });
}

std::vector<Snapshot> SqliteStore::List(const std::string& name, std::size_t limit) {
  return Guarded([&] {
    Statement query(*this, kSelectList);
    query.Bind(1, name).Bind(2, static_cast<std::int64_t>(limit));
    return ReadSnapshots(query);
  });
}

void SqliteStore::Put(const std::string& name, const Snapshot& snapshot, bool fresh) {
  Guarded([&] {
    Statement write(*this, fresh ? kInsertSnapshot : kUpdateSeen);
    BindSnapshot(write, name, snapshot, fresh);
    while (write.Step()) {
    }
    return 0;
  });
}

void SqliteStore::Trim(const std::string& name, std::size_t perSection, std::int64_t seenBefore) {
  Guarded([&] {
    Statement extra(*this, kDeleteExtra);
    extra.Bind(1, name).Bind(2, static_cast<std::int64_t>(perSection));
    while (extra.Step()) {
    }
    Statement old(*this, kDeleteOld);
    old.Bind(1, seenBefore);
    while (old.Step()) {
    }
    return 0;
  });
}

}  // namespace site
