// What the site remembers of a page, and how two looks at a name are told
// apart: the facts read back from the reports' results, and the lines that
// say what changed, by tables.
#include "history/FactDiff.h"
#include "history/PageChanges.h"
#include "page/LookupPage.h"

#include <gtest/gtest.h>

namespace {

using namespace site;

ReportResult Result(std::vector<std::vector<std::string>> rows, std::string note = {}, std::vector<std::string> head = {}) {
  ReportResult result;
  result.Summary.Head = std::move(head);
  result.Summary.Rows = std::move(rows);
  result.Note = std::move(note);
  result.Raw = "raw registry text that is never kept";
  return result;
}

ReportResult Domain(const std::string& registrar, const std::string& expires, const std::string& servers,
                    const std::string& note = "Источник: RDAP реестра.") {
  return Result({{"Регистратор", registrar}, {"Создан", "2001-02-03T04:05:06Z"}, {"Оплачен до", expires},
                 {"Статус", "active, client transfer prohibited"}, {"Серверы имён", servers}},
                note);
}

ReportResult Dns(std::vector<std::vector<std::string>> rows) { return Result(std::move(rows), {}, {"Тип", "Значение", "TTL"}); }

ReportResult Scan(const std::string& address, std::vector<std::string> open) {
  ReportResult result = Result({}, "Адрес " + address + " (первая запись A домена)", {"Порт", "Служба"});
  for (const std::string& port : open) result.Summary.Rows.push_back({port, ""});
  return result;
}

SectionFacts FactsOrFail(ReportKind kind, const ReportResult& result) {
  auto facts = FactsOf(kind, result);
  EXPECT_TRUE(facts.has_value());
  return facts.value_or(SectionFacts{kind, {}});
}

TEST(HistoryFacts, AreTheSummaryAReaderSawInOneFormWhicheverSourceGaveIt) {
  const SectionFacts rdap = FactsOrFail(ReportKind::DomainRecord, Domain("Reg A", "2026-05-01T00:00:00Z", "NS2.example.net., ns1.example.net"));
  const std::vector<Fact> expected = {
      {"Регистратор", false, {"Reg A"}},
      {"Создан", false, {"2001-02-03"}},
      {"Оплачен до", false, {"2026-05-01"}},
      {"Статус", true, {"active", "client transfer prohibited"}},
      {"Серверы имён", true, {"ns1.example.net", "ns2.example.net"}},
      {"Источник", false, {"RDAP"}},
  };
  EXPECT_EQ(rdap.Facts, expected);
  // WHOIS writes its dates its own way, with the ISO form after them.
  ReportResult whois = Domain("Reg A", "01-May-2026 (2026-05-01)", "ns1.example.net, ns2.example.net", "Данные получены по WHOIS.");
  whois.Summary.Rows[1][1] = "03-Feb-2001 (2001-02-03)";
  const SectionFacts byWhois = FactsOrFail(ReportKind::DomainRecord, whois);
  ASSERT_EQ(byWhois.Facts.size(), expected.size());
  for (std::size_t i = 0; i + 1 < expected.size(); ++i) EXPECT_EQ(byWhois.Facts[i], expected[i]);
  EXPECT_EQ(byWhois.Facts.back(), (Fact{"Источник", false, {"WHOIS"}}));

  const SectionFacts dns = FactsOrFail(ReportKind::DnsRecords,
                                       Dns({{"A", "192.0.2.2", "60"}, {"A", "192.0.2.1", "60"}, {"AAAA", "нет записей", ""},
                                            {"MX", "ошибка: сервер не ответил", ""}, {"TXT", "\"v=spf1 -all\"", "60"},
                                            {"SOA", "ns1.example.test. hostmaster.example.test. 2026120801 7200 3600 1209600 300", "60"}}));
  const std::vector<Fact> records = {
      {"A", true, {"192.0.2.1", "192.0.2.2"}},
      {"AAAA", true, {}},  // answered with nothing: an empty set; MX failed: not known
      {"TXT", true, {"\"v=spf1 -all\""}},
      {"Серийный номер SOA", false, {"2026120801"}},
  };
  EXPECT_EQ(dns.Facts, records);

  const SectionFacts scan = FactsOrFail(ReportKind::PortScan, Scan("192.0.2.7", {"80/tcp", "22/tcp"}));
  EXPECT_EQ(scan.Facts, (std::vector<Fact>{{"Адрес", false, {"192.0.2.7"}}, {"Открытые порты", true, {"22/tcp", "80/tcp"}}}));

  const SectionFacts network = FactsOrFail(ReportKind::NetworkRecord,
                                           Result({{"Диапазон", "192.0.2.0 – 192.0.2.255"}, {"Имя сети", "TEST-NET"},
                                                   {"Страна", "ZZ"}, {"Организация", "Example"}, {"Создана", "2000-01-01"}}));
  EXPECT_EQ(network.Facts.size(), 4u);

  // A report that did not finish says nothing about the name, and a trace is not kept at all.
  ReportResult failed = Domain("Reg A", "2026-05-01", "ns1.example.net");
  failed.State = Outcome::Failed;
  EXPECT_FALSE(FactsOf(ReportKind::DomainRecord, failed));
  failed.State = Outcome::TimedOut;
  EXPECT_FALSE(FactsOf(ReportKind::PortScan, failed));
  EXPECT_FALSE(FactsOf(ReportKind::RouteTrace, Result({{"1", "192.0.2.1", "1 мс"}})));
  EXPECT_FALSE(FactsOf(ReportKind::DomainRecord, Result({}, "Регистрационные данные ведутся только для доменов.")));
}

TEST(HistoryChanges, SayOneLinePerChangedFact) {
  const auto domain = [](const std::string& registrar, const std::string& expires, const std::string& servers) {
    return FactsOrFail(ReportKind::DomainRecord, Domain(registrar, expires, servers));
  };
  const auto dns = [](std::vector<std::vector<std::string>> rows) { return FactsOrFail(ReportKind::DnsRecords, Dns(std::move(rows))); };
  struct Row {
    const char* Name;
    SectionFacts Before, After;
    std::vector<std::string> Lines;
  };
  const Row rows[] = {
      {"nothing changed", domain("A", "2026-05-01", "ns1.example.net"), domain("A", "2026-05-01T00:00:00Z", "NS1.EXAMPLE.NET."), {}},
      {"registrar", domain("A", "2026-05-01", "ns1.example.net"), domain("B", "2026-05-01", "ns1.example.net"), {"Регистратор: A → B"}},
      {"expiry", domain("A", "2026-05-01", "ns1.example.net"), domain("A", "2027-05-01", "ns1.example.net"),
       {"Оплачен до: 2026-05-01 → 2027-05-01"}},
      {"name servers as a set", domain("A", "2026-05-01", "ns1.example.net, ns2.example.net"),
       domain("A", "2026-05-01", "ns2.example.net, ns3.example.net"), {"Серверы имён: + ns3.example.net, − ns1.example.net"}},
      {"several facts, in the page's order", domain("A", "2026-05-01", "ns1.example.net"), domain("B", "2027-05-01", "ns1.example.net"),
       {"Регистратор: A → B", "Оплачен до: 2026-05-01 → 2027-05-01"}},
      {"records in another order", dns({{"A", "192.0.2.1", "60"}, {"A", "192.0.2.2", "60"}}),
       dns({{"A", "192.0.2.2", "30"}, {"A", "192.0.2.1", "30"}}), {}},
      {"a mail host appeared", dns({{"MX", "нет записей", ""}}), dns({{"MX", "10 mx.example.net", "60"}}), {"MX: + 10 mx.example.net"}},
      {"a failed query has not lost its records", dns({{"A", "192.0.2.1", "60"}, {"TXT", "\"x\"", "60"}}),
       dns({{"A", "ошибка: отказ", ""}, {"TXT", "\"x\"", "60"}}), {}},
      {"SOA serial", dns({{"SOA", "a. b. 1 2 3 4 5", "60"}}), dns({{"SOA", "a. b. 2 2 3 4 5", "60"}}), {"Серийный номер SOA: 1 → 2"}},
      {"a port opened", FactsOrFail(ReportKind::PortScan, Scan("192.0.2.7", {"22/tcp"})),
       FactsOrFail(ReportKind::PortScan, Scan("192.0.2.7", {"22/tcp", "3389/tcp"})), {"Открытые порты: + 3389/tcp"}},
      {"another address scanned", FactsOrFail(ReportKind::PortScan, Scan("192.0.2.7", {})),
       FactsOrFail(ReportKind::PortScan, Scan("192.0.2.8", {})), {"Адрес: 192.0.2.7 → 192.0.2.8"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const Comparison comparison = Compare(SectionState{row.Before, 0, {}, {}}, row.After);
    EXPECT_EQ(comparison.Lines, row.Lines);
    EXPECT_EQ(comparison.Store, !row.Lines.empty());
  }
  // The first look is kept with nothing to say.
  const Comparison first = Compare(std::nullopt, rows[0].After);
  EXPECT_TRUE(first.Store);
  EXPECT_TRUE(first.Lines.empty());
  // What a look did not learn stays as it was.
  const Comparison failedQuery = Compare(SectionState{rows[7].Before, 0, {}, {}}, rows[7].After);
  EXPECT_EQ(failedQuery.Next.Facts.Facts, (std::vector<Fact>{rows[7].Before.Facts[1], rows[7].Before.Facts[0]}));
}

TEST(HistoryChanges, ASetThatChangesOnMostLookupsIsComparedNoMore) {
  std::optional<SectionState> state;
  std::vector<std::vector<std::string>> lines;
  std::size_t stored = 0;
  for (int look = 0; look < 8; ++look) {
    // A round-robin: another A record every time, a TXT that stays.
    const SectionFacts now = FactsOrFail(ReportKind::DnsRecords, Dns({{"A", "192.0.2." + std::to_string(look), "60"}, {"TXT", "\"x\"", "60"}}));
    Comparison comparison = Compare(state, now);
    stored += comparison.Store;
    lines.push_back(comparison.Lines);
    state = comparison.Next;
  }
  ASSERT_EQ(state->Varying, std::vector<std::string>{"A"});
  // Compared from the second look on; the fifth marks it; from then on nothing is said or kept.
  EXPECT_EQ(lines[1], std::vector<std::string>{"A: + 192.0.2.1, − 192.0.2.0"});
  EXPECT_EQ(lines[4], (std::vector<std::string>{"A: + 192.0.2.4, − 192.0.2.3", "A: меняется почти при каждом запросе и больше не сравнивается"}));
  for (int look = 5; look < 8; ++look) EXPECT_TRUE(lines[look].empty()) << look;
  EXPECT_EQ(stored, 5u);
  // A fact kept as it is stored.
  EXPECT_EQ(DecodeState(EncodeState(*state), ReportKind::DnsRecords), *state);
  EXPECT_THROW(DecodeState("{\"facts\":1}", ReportKind::DnsRecords), std::runtime_error);
}

TEST(HistoryChanges, WarnOfATakeoverAndOfAnExpiryNear) {
  using namespace std::chrono;
  const system_clock::time_point now = sys_days(2026y / 11 / 2) + 14h + 5min;
  const auto ms = [](system_clock::time_point t) { return duration_cast<milliseconds>(t.time_since_epoch()).count(); };
  const SectionFacts before = FactsOrFail(ReportKind::DomainRecord, Domain("A", "2027-05-01", "ns1.example.net"));
  const SectionFacts moved = FactsOrFail(ReportKind::DomainRecord, Domain("B", "2026-11-20", "ns1.example.net"));
  Snapshot stored{ReportKind::DomainRecord, ms(now - days(40)), ms(now - days(1)), SectionState{before, 3, {}, {}}, {}};
  PageHistory page = ChangesOf("example.test", {moved}, {stored}, now);
  ASSERT_TRUE(page.Sections[0]);
  EXPECT_EQ(ChangesHeading(*page.Sections[0]), "Изменения с 01.11.2026 14:05 UTC");
  ASSERT_EQ(page.Sections[0]->Lines.size(), 3u);
  EXPECT_TRUE(page.Sections[0]->Lines[0].Warning);   // the registrar
  EXPECT_FALSE(page.Sections[0]->Lines[1].Warning);  // the expiry date itself
  EXPECT_EQ(page.Sections[0]->Lines[2].Text, "Оплачен до 2026-11-20: срок регистрации истекает меньше чем через 30 дней");
  EXPECT_TRUE(page.Sections[0]->Lines[2].Warning);

  // Nothing changed now, but the name servers moved three days ago: still a warning; a change of 8 days ago is not.
  stored = {ReportKind::DomainRecord, ms(now - days(3)), ms(now - days(1)), SectionState{before, 3, {}, {}},
            {"Серверы имён: + ns9.example.net, − ns0.example.net"}};
  page = ChangesOf("example.test", {before}, {stored}, now);
  EXPECT_EQ(ChangesHeading(*page.Sections[0]), "Без изменений с 30.10.2026 14:05 UTC");
  ASSERT_EQ(page.Sections[0]->Lines.size(), 1u);
  EXPECT_EQ(page.Sections[0]->Lines[0].Text, "Изменено 30.10.2026 14:05 UTC: Серверы имён: + ns9.example.net, − ns0.example.net");
  stored.Taken = ms(now - days(8));
  EXPECT_TRUE(ChangesOf("example.test", {before}, {stored}, now).Sections[0]->Lines.empty());
  // No earlier snapshot: nothing at all.
  EXPECT_FALSE(ChangesOf("example.test", {before}, {}, now).Sections[0]);
}

TEST(HistoryChanges, AnUnchangedLookIsWorthAWriteOnceAMinute) {
  using namespace std::chrono;
  const system_clock::time_point now = sys_days(2026y / 11 / 2);
  const auto ms = [](system_clock::time_point t) { return duration_cast<milliseconds>(t.time_since_epoch()).count(); };
  const SectionFacts facts = FactsOrFail(ReportKind::DomainRecord, Domain("A", "2027-05-01", "ns1.example.net"));
  const SectionFacts moved = FactsOrFail(ReportKind::DomainRecord, Domain("B", "2027-05-01", "ns1.example.net"));
  const Snapshot recent{ReportKind::DomainRecord, ms(now - days(3)), ms(now - seconds(10)), SectionState{facts, 1, {}, {}}, {}};
  const Snapshot stale{ReportKind::DomainRecord, ms(now - days(3)), ms(now - minutes(2)), SectionState{facts, 1, {}, {}}, {}};
  EXPECT_FALSE(RecordDue({facts}, {recent}, now));
  EXPECT_TRUE(RecordDue({facts}, {stale}, now)) << "the seen time moves";
  EXPECT_TRUE(RecordDue({moved}, {recent}, now)) << "a change";
  EXPECT_TRUE(RecordDue({facts, FactsOrFail(ReportKind::PortScan, Scan("192.0.2.7", {}))}, {recent}, now)) << "a section never kept";
}

TEST(HistoryChanges, EndTheirSectionOnThePageEscapedAndLinkTheNamesHistory) {
  PageHistory history;
  history.Name = "xn--e1afmkfd.example";
  history.Sections[1] = SectionChanges{false, std::chrono::system_clock::time_point{}, {{"TXT: + \"<b>\"", false}, {"Регистратор: A → B", true}}};
  const std::vector<PageSection> sections = {{ReportKind::DomainRecord, Result({{"Регистратор", "B"}})},
                                             {ReportKind::DnsRecords, Dns({{"TXT", "\"<b>\"", "60"}})}};
  Target target{"xn--e1afmkfd.example", "xn--e1afmkfd.example", std::nullopt};
  const std::string page = LookupPage(target, sections, {}, 1 << 20, history);
  const std::size_t dns = page.find("<h2>DNS записи</h2>");
  ASSERT_NE(dns, std::string::npos);
  // Only the section with an earlier snapshot says anything, at its end.
  EXPECT_EQ(page.find("class=\"changes\""), page.find("class=\"changes\"", dns));
  const std::string block = page.substr(page.find("<div class=\"changes\">"));
  EXPECT_EQ(block.substr(0, block.find("</section>")),
            "<div class=\"changes\">\n<p class=\"changes-head\">Изменения с 01.01.1970 00:00 UTC · "
            "<a href=\"/whois/history.php?addr=xn--e1afmkfd.example\">вся история</a></p>\n<ul>\n"
            "<li>TXT: + &quot;&lt;b&gt;&quot;</li>\n<li class=\"warning\">Регистратор: A → B</li>\n</ul>\n</div>\n");
  EXPECT_EQ(page.find("История изменений сейчас недоступна."), std::string::npos);
  history.Unavailable = true;
  EXPECT_NE(LookupPage(target, sections, {}, 1 << 20, history).find("<p class=\"history-off\">История изменений сейчас недоступна.</p>"),
            std::string::npos);
}

}  // namespace
