// The real tarnwell-site keeping the history of the names it is asked about,
// in a SQLite file and in a real PostgreSQL cluster of the test's own: the registry and DNS change their answers between lookups
// (a fresh service each time, so that nothing comes from its caches), and the
// page says exactly what changed. The registry is a WHOIS fake the root
// refers to; RDAP is a closed port; DNS a private unbound.
#include "PostgresServer.h"
#include "RunProgram.h"
#include "SiteClient.h"
#include "SiteProcess.h"
#include "TempDir.h"
#include "UnboundServer.h"
#include "WhoisScript.h"
#include "history/HistoryStore.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <thread>

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const std::string kPage = "/whois/index.php?addr=watched.example&dom_whois=true&dom_dns=true&traceroute=&net_whois=&port_scan=true";

// The part of a page from a section's heading to its end.
std::string Section(const std::string& page, const std::string& title) {
  const std::size_t start = page.find("<h2>" + title + "</h2>");
  if (start == std::string::npos) return {};
  return page.substr(start, page.find("</section>", start) - start);
}

class SiteHistory : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override {
    if (GetParam() == "postgresql") {
      ASSERT_TRUE(Postgres.Start()) << Postgres.Log();
      Where = Postgres.Url();
    }
    FOpen = ListenOnLoopback(FOpenPort);
    FLater = ListenOnLoopback(FLaterPort);
    ASSERT_GE(FOpen, 0);
    ASSERT_GE(FLater, 0);
  }
  void TearDown() override {
    close(FOpen);
    if (FLater >= 0) close(FLater);
  }

  struct Answers {
    std::string Registrar = "Registrar A";
    std::string Servers = "Name Server: ns1.watched.example\r\nName Server: ns2.watched.example\r\n";
    std::string Expires = "2030-01-01T00:00:00Z";
    std::string Txt = "first";
    bool Mail = false;
  };

  // A DNS server answering `answers`, and the service's options with it.
  std::vector<std::string> Serve(const Answers& answers, UnboundServer& dns) {
    {
      std::lock_guard lock(FMutex);
      FAnswers = answers;
    }
    dns.AddLine("local-zone: \"watched.example.\" static");
    dns.AddLine("local-data: \"watched.example. 60 IN A 127.0.0.1\"");
    dns.AddLine("local-data: \"watched.example. 60 IN TXT " + answers.Txt + "\"");
    if (answers.Mail) dns.AddLine("local-data: \"watched.example. 60 IN MX 10 mail.watched.example.\"");
    EXPECT_TRUE(dns.Start());
    return {"--resolver", dns.Address(), "--whois-root", Root.Address(), "--rdap-bootstrap", "https://127.0.0.1:1/",
            "--threads", "2", "--allow-private", "--scan-ports",
            std::to_string(FOpenPort) + "," + std::to_string(FLaterPort), "--history", Where, "--page-budget", "5000"};
  }

  // One lookup by a fresh service against a fresh DNS server answering `answers`.
  std::string Look(const Answers& answers, const std::string& format = {}) {
    UnboundServer dns;
    SiteProcess site(Serve(answers, dns));
    EXPECT_NE(site.Port(), 0) << site.Log();
    const SiteReply reply = GetSite(site.Port(), kPage + format);
    EXPECT_EQ(reply.Status, 200) << site.Log();
    if (!format.empty()) {
      EXPECT_TRUE(Has(reply.Head, "Content-Type: application/json; charset=utf-8")) << reply.Head;
      const SiteReply refused = GetSite(site.Port(), "/whois/index.php?addr=bad..name&dom_dns=true&format=json");
      EXPECT_EQ(refused.Status, 400);
      EXPECT_TRUE(Has(refused.Body, "{\"error\":{\"code\":\"bad_address\",\"message\":\"")) << refused.Body;
      ExpectSchema(refused.Body);
      ExpectSchema(reply.Body);
    }
    History = GetSite(site.Port(), "/whois/history.php?addr=watched.example").Body;
    // The writer is given its snapshot after the page goes out: a clean stop lets it finish.
    EXPECT_EQ(site.Terminate(10), 0);
    Log = site.Log();
    return reply.Body;
  }

  // Every JSON page a test makes is checked against the schema in the repository.
  void ExpectSchema(const std::string& body) {
    Dir.WriteFile("page.json", body);
    EXPECT_EQ(RunProgram({"python3", "-c",
                          "import json, sys, jsonschema; jsonschema.validate(json.load(open(sys.argv[1])), json.load(open(sys.argv[2])))",
                          Dir.File("page.json"), TARNWELL_LOOKUP_SCHEMA},
                         Dir.File("schema.log")),
              0)
        << Dir.ReadFile("schema.log") << body;
  }

  std::size_t Snapshots() { return site::OpenHistoryStore(Where)->List("watched.example", 1000).size(); }

  void CloseLaterPort() {
    close(FLater);
    FLater = -1;
  }

  TempDir Dir;
  PostgresServer Postgres;
  std::string Where = Dir.File("history.sqlite");
  std::string History, Log;
  std::mutex FMutex;
  Answers FAnswers;
  WhoisScript Registry{[this](const std::string& query, int fd, const std::atomic<bool>& stopping) {
    Answers answers;
    {
      std::lock_guard lock(FMutex);
      answers = FAnswers;
    }
    WhoisScript::Answer("Domain Name: " + query + "\r\nRegistrar: " + answers.Registrar + "\r\nRegistry Expiry Date: " + answers.Expires +
                        "\r\n" + answers.Servers)(query, fd, stopping);
  }};
  WhoisScript Root{[this](const std::string& query, int fd, const std::atomic<bool>& stopping) {
    WhoisScript::Answer("% root\n\nrefer:        " + Registry.Address() + "\n\ndomain: EXAMPLE\n")(query, fd, stopping);
  }};
  int FOpen = -1, FLater = -1;
  std::uint16_t FOpenPort = 0, FLaterPort = 0;
};

INSTANTIATE_TEST_SUITE_P(Stores, SiteHistory, ::testing::Values("sqlite", "postgresql"));

TEST_P(SiteHistory, ThePageSaysExactlyWhatChangedSinceTheNameWasLastAskedAbout) {
  Answers answers;
  CloseLaterPort();
  const std::string first = Look(answers);
  ASSERT_TRUE(Has(first, "<h2>Информация о домене</h2>\n<p class=\"outcome done\">")) << first;
  EXPECT_FALSE(Has(first, "class=\"changes\"")) << "nothing to compare with yet";
  EXPECT_EQ(Snapshots(), 3u);  // domain, DNS, ports

  const std::string same = Look(answers);
  for (const char* title : {"Информация о домене", "DNS записи", "Сканирование портов"}) {
    EXPECT_TRUE(Has(Section(same, title), "<p class=\"changes-head\">Без изменений с ")) << title << "\n" << same;
    EXPECT_TRUE(Has(Section(same, title), "<a href=\"/whois/history.php?addr=watched.example\">вся история</a>")) << title;
  }
  EXPECT_EQ(Snapshots(), 3u) << "an unchanged answer adds no snapshot";

  // A transfer: another registrar, name servers moved, renewed, a mail host and a port that opened.
  answers.Registrar = "Registrar B";
  answers.Servers = "Name Server: ns2.watched.example\r\nName Server: ns3.watched.example\r\n";
  answers.Expires = "2031-01-01T00:00:00Z";
  answers.Mail = true;
  FLater = ListenOnLoopback(FLaterPort);
  ASSERT_GE(FLater, 0);
  const std::string changed = Look(answers);
  const std::string domain = Section(changed, "Информация о домене");
  EXPECT_TRUE(Has(domain, "<p class=\"changes-head\">Изменения с ")) << domain;
  EXPECT_TRUE(Has(domain, "<li class=\"warning\">Регистратор: Registrar A → Registrar B</li>")) << domain;
  EXPECT_TRUE(Has(domain, "<li>Оплачен до: 2030-01-01 → 2031-01-01</li>")) << domain;
  EXPECT_TRUE(Has(domain, "<li class=\"warning\">Серверы имён: + ns3.watched.example, − ns1.watched.example</li>")) << domain;
  EXPECT_TRUE(Has(Section(changed, "DNS записи"), "<li>MX: + 10 mail.watched.example</li>")) << changed;
  EXPECT_TRUE(Has(Section(changed, "Сканирование портов"), "<li>Открытые порты: + " + std::to_string(FLaterPort) + "/tcp</li>")) << changed;
  EXPECT_EQ(Snapshots(), 6u) << "one new snapshot for each section that changed";
  EXPECT_TRUE(Has(History, "Регистратор: Registrar A → Registrar B")) << History;
  EXPECT_LT(History.find("Регистратор: Registrar A → Registrar B"), History.find("Регистратор: Registrar A<")) << "newest first";
}

TEST_P(SiteHistory, AVaryingRecordSetStopsBeingComparedAndFillsNothing) {
  Answers answers;
  std::string page;
  for (int look = 0; look < 5; ++look) {
    answers.Txt = "token" + std::to_string(look);
    page = Look(answers);
  }
  EXPECT_TRUE(Has(Section(page, "DNS записи"), "TXT: меняется почти при каждом запросе и больше не сравнивается")) << page;
  const std::size_t kept = Snapshots();
  for (int look = 5; look < 7; ++look) {
    answers.Txt = "token" + std::to_string(look);
    page = Look(answers);
    EXPECT_TRUE(Has(Section(page, "DNS записи"), "Без изменений с")) << page;
  }
  EXPECT_EQ(Snapshots(), kept);
}

TEST_P(SiteHistory, ABrokenFileCostsThePageNothingButALineAndHistoryResumes) {
  if (GetParam() != "sqlite") GTEST_SKIP() << "a file of its own";
  Answers answers;
  Look(answers);
  // Garbage where the file was: the page still comes, says history is unavailable, and the log says why.
  std::filesystem::remove(Where + "-wal");
  std::filesystem::remove(Where + "-shm");
  Dir.WriteFile("history.sqlite", std::string(16384, '\x5a'));
  const std::string broken = Look(answers);
  EXPECT_TRUE(Has(broken, "<p class=\"history-off\">История изменений сейчас недоступна.</p>")) << broken;
  EXPECT_TRUE(Has(Log, "is corrupt")) << Log;
  EXPECT_TRUE(Has(Log, "moved to " + Where + ".corrupt-")) << Log;
  // Moved aside, a new file was started: the next look is a first one again, the one after compares.
  Look(answers);
  EXPECT_TRUE(Has(Look(answers), "Без изменений с")) << Log;

  // Deleted: started anew at once.
  std::filesystem::remove(Where);
  const std::string deleted = Look(answers);
  EXPECT_FALSE(Has(deleted, "<p class=\"history-off\">")) << Log;
  EXPECT_EQ(Snapshots(), 3u);

  // A store out of reach: pages within their budget, one line each.
  Where = Dir.File("no/such/folder/history.sqlite");
  const auto started = std::chrono::steady_clock::now();
  const std::string unreachable = Look(answers);
  EXPECT_TRUE(Has(unreachable, "История изменений сейчас недоступна.")) << unreachable;
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
  EXPECT_TRUE(Has(Log, "history unavailable: ")) << Log;
}

TEST_P(SiteHistory, TheSamePageAsJsonHasTheChangesAndMatchesItsSchema) {
  Answers answers;
  const std::string first = Look(answers, "&format=json");
  EXPECT_TRUE(Has(first, "\"changes\":null")) << first;
  answers.Registrar = "Registrar <B>";
  const std::string changed = Look(answers, "&format=json");
  EXPECT_TRUE(Has(changed, "{\"text\":\"Регистратор: Registrar A → Registrar <B>\",\"warning\":true}")) << changed;
  EXPECT_TRUE(Has(changed, "Registrar: Registrar <B>")) << "the registry's text as one string";
  // The README's example reads it.
  Dir.WriteFile("page.json", changed);
  ASSERT_EQ(RunProgram({"sh", "-c", "jq -r '.sections[] | .title + \": \" + .outcome' " + Dir.File("page.json")}, Dir.File("jq.txt")), 0);
  EXPECT_EQ(Dir.ReadFile("jq.txt"), "Информация о домене: done\nDNS записи: done\nСканирование портов: done\n");
}

TEST_P(SiteHistory, TwoInstancesSharingTheServerSeeEachOthersSnapshotsAndOutliveItsStops) {
  if (GetParam() != "postgresql") GTEST_SKIP() << "shared through the server";
  Answers answers;
  UnboundServer dns;
  const std::vector<std::string> args = Serve(answers, dns);
  SiteProcess a(args), b(args);
  ASSERT_NE(a.Port(), 0) << a.Log();
  ASSERT_NE(b.Port(), 0) << b.Log();
  ASSERT_EQ(GetSite(a.Port(), kPage).Status, 200);
  // A writes after its page has gone out.
  for (int i = 0; i < 50 && !Has(GetSite(b.Port(), "/whois/history.php?addr=watched.example").Body, "<section class=\"snapshot\">"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::string seen = GetSite(b.Port(), kPage).Body;
  EXPECT_TRUE(Has(Section(seen, "Информация о домене"), "Без изменений с ")) << seen;

  // The server stopped under both: pages come on time, one line says so; back, history resumes.
  Postgres.Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // what was read a moment ago is still given from memory
  const auto started = std::chrono::steady_clock::now();
  const SiteReply down = GetSite(a.Port(), kPage);
  EXPECT_EQ(down.Status, 200);
  EXPECT_TRUE(Has(down.Body, "<p class=\"history-off\">История изменений сейчас недоступна.</p>")) << down.Body;
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(6));
  ASSERT_TRUE(Postgres.Start()) << Postgres.Log();
  std::string back;
  for (int i = 0; i < 20 && !Has(back, "Без изменений с "); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    back = GetSite(a.Port(), kPage).Body;
  }
  EXPECT_TRUE(Has(Section(back, "Информация о домене"), "Без изменений с ")) << back << a.Log();
  EXPECT_EQ(a.Terminate(10), 0);
  EXPECT_TRUE(Has(a.Log(), "history unavailable: PostgreSQL: ")) << a.Log();
  EXPECT_TRUE(Has(a.Log(), "history available again")) << a.Log();
  EXPECT_EQ(b.Terminate(10), 0);
}

}  // namespace
