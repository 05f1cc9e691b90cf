// The history's writer and its stores, in process: what is kept after each
// look and the bounds, the same against a SQLite file and a real PostgreSQL
// cluster of the test's own; and a store that is corrupt, gone, out of reach
// or down.
#include "PostgresServer.h"
#include "TempDir.h"
#include "history/History.h"
#include "history/SqliteStore.h"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>

#include <filesystem>
#include <thread>

namespace {

using namespace site;
using namespace std::chrono_literals;

SectionFacts Servers(std::vector<std::string> servers) {
  return {ReportKind::DomainRecord, {{"Регистратор", false, {"Reg"}}, {"Серверы имён", true, std::move(servers)}}};
}

SectionFacts Ports(std::vector<std::string> ports) {
  return {ReportKind::PortScan, {{"Адрес", false, {"192.0.2.7"}}, {"Открытые порты", true, std::move(ports)}}};
}

class HistoryFixture : public ::testing::Test {
protected:
  std::unique_ptr<History> Make(std::size_t perSection = 50) {
    return std::make_unique<History>([this] { return OpenHistoryStore(Where); }, perSection, std::chrono::hours(24 * 730));
  }

  // What a page would get, waiting at most `wait`; nothing: unavailable.
  static std::optional<std::vector<Snapshot>> ReadBack(History& history, const std::string& name, std::size_t list = 0,
                                                       std::chrono::milliseconds wait = 5s) {
    boost::asio::io_context io;
    std::optional<std::vector<Snapshot>> got;
    history.Read(name, list)->Then(io.get_executor(), std::chrono::steady_clock::now() + wait, [&](auto snapshots) { got = std::move(snapshots); });
    io.run();
    return got;
  }

  TempDir Dir;
  std::string Where = Dir.File("history.sqlite");
};

// Each test on a store of its own: a file, or a cluster made for it.
class HistoryStoreTest : public HistoryFixture, public ::testing::WithParamInterface<std::string> {
protected:
  void SetUp() override {
    if (GetParam() != "postgresql") return;
    ASSERT_TRUE(Postgres.Start()) << Postgres.Log();
    Where = Postgres.Url();
  }
  PostgresServer Postgres;
};

INSTANTIATE_TEST_SUITE_P(Stores, HistoryStoreTest, ::testing::Values("sqlite", "postgresql"));

TEST_P(HistoryStoreTest, KeepsASnapshotOnlyWhenSomethingChangedAndBoundsThem) {
  auto history = Make(3);
  constexpr std::int64_t kDay = 86400000;
  const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  history->Record("example.test", {Servers({"ns1.example.net"}), Ports({"22/tcp"})}, now - 10 * kDay);
  history->Record("example.test", {Servers({"ns1.example.net"})}, now - 9 * kDay);
  auto latest = ReadBack(*history, "example.test");
  ASSERT_TRUE(latest);
  ASSERT_EQ(latest->size(), 2u);
  EXPECT_EQ((*latest)[0].Kind, ReportKind::DomainRecord);
  EXPECT_EQ((*latest)[0].Taken, now - 10 * kDay);
  EXPECT_EQ((*latest)[0].Seen, now - 9 * kDay) << "an unchanged look moves the seen time only";
  EXPECT_EQ((*latest)[1].Seen, now - 10 * kDay);

  history->Record("example.test", {Servers({"ns2.example.net"}), Ports({"22/tcp", "3389/tcp"})}, now - 8 * kDay);
  auto list = ReadBack(*history, "example.test", 10);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 4u);
  EXPECT_EQ((*list)[0].Changes, std::vector<std::string>{"Серверы имён: + ns2.example.net, − ns1.example.net"});
  EXPECT_EQ((*list)[1].Changes, std::vector<std::string>{"Открытые порты: + 3389/tcp"});
  EXPECT_TRUE((*list)[3].Changes.empty());

  // At most three of each section: the oldest name-server snapshot goes, the ports' stay.
  for (int i = 3; i <= 5; ++i) history->Record("example.test", {Servers({"ns" + std::to_string(i) + ".example.net"})}, now - (8 - i) * kDay);
  list = ReadBack(*history, "example.test", 10);
  ASSERT_TRUE(list);
  std::size_t domain = 0;
  for (const Snapshot& s : *list) domain += s.Kind == ReportKind::DomainRecord;
  EXPECT_EQ(domain, 3u);
  EXPECT_EQ(list->size(), 5u);
  EXPECT_EQ(list->front().Changes, std::vector<std::string>{"Серверы имён: + ns5.example.net, − ns4.example.net"});

  // Not seen for longer than kept: gone, whatever name is written next.
  auto shortLived = std::make_unique<History>([this] { return OpenHistoryStore(Where); }, 50, std::chrono::hours(24));
  shortLived->Record("other.test", {Servers({"ns1.example.net"})}, now);
  list = ReadBack(*shortLived, "example.test", 10);
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->empty());
  EXPECT_EQ(ReadBack(*shortLived, "other.test", 10)->size(), 1u);
}

TEST_P(HistoryStoreTest, AServerDownAnswersUnavailableAtOnceAndWritingResumesWhenItIsBack) {
  if (GetParam() != "postgresql") GTEST_SKIP() << "a file has no server";
  auto history = Make();
  history->Record("example.test", {Servers({"ns1.example.net"})}, 1000);
  ASSERT_TRUE(ReadBack(*history, "example.test"));
  Postgres.Stop();
  std::this_thread::sleep_for(1100ms);  // what was read a moment ago is still given from memory
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadBack(*history, "example.test", 0, 10s));
  history->Record("example.test", {Servers({"ns2.example.net"})}, 2000);  // dropped: nowhere to go
  EXPECT_FALSE(ReadBack(*history, "example.test", 0, 10s));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  ASSERT_TRUE(Postgres.Start()) << Postgres.Log();
  std::this_thread::sleep_for(1100ms);
  history->Record("example.test", {Servers({"ns3.example.net"})}, 3000);
  const auto latest = ReadBack(*history, "example.test");
  ASSERT_TRUE(latest);
  ASSERT_EQ(latest->size(), 1u);
  EXPECT_EQ(latest->front().Changes, std::vector<std::string>{"Серверы имён: + ns3.example.net, − ns1.example.net"});
}

TEST_F(HistoryFixture, ASqliteFileThatFailsAnswersUnavailableAtOnceAndWritingResumesWhenItIsBack) {
  // Garbage in the file: moved aside, and a new store started.
  Dir.WriteFile("history.sqlite", std::string(8192, 'x'));
  auto history = Make();
  EXPECT_FALSE(ReadBack(*history, "example.test"));
  bool aside = false;
  for (const auto& entry : std::filesystem::directory_iterator(Dir.Path()))
    aside |= entry.path().filename().string().starts_with("history.sqlite.corrupt-");
  EXPECT_TRUE(aside);
  std::this_thread::sleep_for(1100ms);  // the writer waits a second before it opens again
  history->Record("example.test", {Servers({"ns1.example.net"})}, 1000);
  auto latest = ReadBack(*history, "example.test");
  ASSERT_TRUE(latest);
  EXPECT_EQ(latest->size(), 1u);

  // Deleted under the open store: the next call starts a new file, not the unlinked one.
  std::filesystem::remove(Where);
  history->Record("example.test", {Servers({"ns1.example.net"})}, 2000);
  latest = ReadBack(*history, "example.test");
  ASSERT_TRUE(latest);
  ASSERT_EQ(latest->size(), 1u);
  EXPECT_EQ(latest->front().Taken, 2000) << "the snapshot of before the deletion is gone with its file";
  EXPECT_TRUE(std::filesystem::exists(Where));

  // Cut short under the open store: every read answers at once, right or
  // "unavailable", and within a few seconds the store is whole again.
  for (int i = 0; i < 20; ++i) history->Record("name" + std::to_string(i) + ".test", {Servers({"ns1.example.net"})}, 2500);
  ASSERT_TRUE(ReadBack(*history, "name19.test"));
  std::filesystem::resize_file(Where, 1024);
  for (int i = 0; i < 3; ++i) {
    const auto asked = std::chrono::steady_clock::now();
    history->Record("example.test", {Servers({"ns" + std::to_string(i) + ".example.net"})}, 2600 + i);
    ReadBack(*history, "name" + std::to_string(i) + ".test", 0, 10s);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
  }
  std::optional<std::vector<Snapshot>> whole;
  for (int i = 0; i < 5 && !whole; ++i) {
    std::this_thread::sleep_for(1100ms);
    history->Record("example.test", {Servers({"ns9.example.net"})}, 4000 + i);
    whole = ReadBack(*history, "example.test");
  }
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->size(), 1u);

  // Out of reach (its folder gone): a read answers "unavailable" at once, however long it may wait.
  Where = Dir.File("missing/history.sqlite");
  auto unreachable = Make();
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadBack(*unreachable, "example.test", 0, 10s));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  std::filesystem::create_directory(Dir.File("missing"));
  std::this_thread::sleep_for(1100ms);
  unreachable->Record("example.test", {Servers({"ns1.example.net"})}, 3000);
  latest = ReadBack(*unreachable, "example.test");
  ASSERT_TRUE(latest);
  EXPECT_EQ(latest->size(), 1u);
}

}  // namespace
