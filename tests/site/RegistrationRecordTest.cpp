// Domain and network registration records against a real nginx serving the
// bootstrap files and RDAP records over HTTPS with a CA the test makes, and
// WHOIS servers of our own, all on 127.0.0.1.

#include "NginxServer.h"
#include "ReportRig.h"
#include "TestCa.h"
#include "WhoisScript.h"

#include <gtest/gtest.h>

using site::Outcome;
using site::ReportResult;

namespace {

const char kWindows1251[] =
    "org: \xCE\xCE\xCE \x22\xD0\xEE\xEC\xE0\xF8\xEA\xE0\x22\x0A"
    "person: \xC8\xE2\xE0\xED\xEE\xE2 \xCF\xB8\xF2\xF0 \xD1\xE5\xF0\xE3\xE5\xE5\xE2\xE8\xF7\x0A";
const char kKoi8r[] =
    "org: \xEF\xEF\xEF \x22\xF2\xCF\xCD\xC1\xDB\xCB\xC1\x22\x0A"
    "person: \xE9\xD7\xC1\xCE\xCF\xD7 \xF0\xA3\xD4\xD2 \xF3\xC5\xD2\xC7\xC5\xC5\xD7\xC9\xDE\x0A";
const char kCyrillicText[] = "org: ООО \"Ромашка\"\nperson: Иванов Пётр Сергеевич\n";

std::string Value(const ReportResult& result, const std::string& label) {
  for (const auto& row : result.Summary.Rows)
    if (row[0] == label) return row[1];
  return "<none>";
}

std::string Rdap(const std::string& body) { return "{\"objectClassName\": \"domain\", " + body + "}"; }

class RegistrationRecordTest : public ::testing::Test {
protected:
  void SetUp() override {
    nginx.ServeHttps(ca.CertificateFile(), ca.KeyFile());
    std::string error;
    ASSERT_TRUE(nginx.Start(
        "location = /registry/domain/moved.test { return 301 /registry/domain/example.test; }\n"
        "location ~ /(domain|ip|autnum)/ { types { } default_type application/rdap+json; try_files $uri.json =404; }\n",
        &error))
        << error;
    Serve("dns.json", R"({"version": "1.0", "services": [[["test", "ae", "io"], [")" + nginx.Url("/registry") + R"("]]]})");
    Serve("ipv4.json", R"({"version": "1.0", "services": [[["192.0.2.0/24"], [")" + nginx.Url("/rir/") + R"("]]]})");
    Serve("asn.json", R"({"version": "1.0", "services": [[["64496-64511"], [")" + nginx.Url("/rir/") + R"("]]]})");
    Serve("ipv6.json", R"({"version": "1.0", "services": [[["2001:db8::/32"], [")" + nginx.Url("/rir/") + R"("]]]})");
    Serve("registry/domain/example.test.json",
          Rdap(R"("ldhName": "example.test", "status": ["active"],
                  "events": [{"eventAction": "registration", "eventDate": "2001-02-03T04:05:06Z"}],
                  "nameservers": [{"ldhName": "ns1.example.test"}],
                  "entities": [{"roles": ["registrar"], "handle": "REG-1"}],
                  "links": [{"rel": "related", "type": "application/rdap+json", "href": ")" +
               nginx.Url("/registrar/domain/example.test") + R"("}])"));
    Serve("registrar/domain/example.test.json",
          Rdap(R"("ldhName": "example.test",
                  "events": [{"eventAction": "expiration", "eventDate": "2031-02-03T04:05:06Z"}],
                  "entities": [{"roles": ["registrar"], "vcardArray": ["vcard", [["fn", {}, "text", "Registrar Ltd"]]]}])"));
    Serve("registry/domain/lonely.test.json",
          Rdap(R"("ldhName": "lonely.test", "status": ["active"],
                  "links": [{"rel": "related", "type": "application/rdap+json", "href": ")" +
               nginx.Url("/registrar/domain/lonely.test") + R"("}])"));
    Serve("registry/domain/net.ae.json", Rdap(R"("ldhName": "net.ae", "status": ["active"])"));
    Serve("registry/domain/github.io.json", Rdap(R"("ldhName": "github.io", "status": ["client transfer prohibited"])"));
    Serve("registry/domain/malformed.test.json", R"({"objectClassName": "domain", "ldhName": )");
    Serve("registry/domain/huge.test.json", Rdap(R"("remarks": [")" + std::string(100 * 1024, 'x') + R"("])"));
    Serve("rir/ip/192.0.2.10.json",
          R"({"objectClassName": "ip network", "startAddress": "192.0.2.0", "endAddress": "192.0.2.255",
              "name": "TEST-NET-1", "country": "ZZ"})");
    Serve("rir/autnum/64500.json",
          R"({"objectClassName": "autnum", "startAutnum": 64500, "endAutnum": 64500, "name": "DOC-AS", "country": "ZZ",
              "port43": "whois.ripe.net",
              "events": [{"eventAction": "registration", "eventDate": "2001-02-03T04:05:06Z"}],
              "entities": [{"roles": ["registrant"], "vcardArray": ["vcard", [["fn", {}, "text", "Example Networks"]]]}]})");
    Serve("rir/ip/2001:db8::10.json",
          R"({"objectClassName": "ip network", "startAddress": "2001:db8::", "endAddress": "2001:db8:ffff:ffff:ffff:ffff:ffff:ffff",
              "name": "DOC-NET-6", "country": "ZZ"})");

    rig.Opts.CaFile = ca.CaFile();
    rig.Opts.RdapBootstrap = nginx.Url("/");
    rig.Opts.WhoisRoot = root.Address();
    rig.Opts.RdapMaxBytes = 64 * 1024;
    rig.Opts.WhoisMaxBytes = 64 * 1024;
    rig.Opts.WhoisTimeout = std::chrono::milliseconds(500);
    rig.Dns[{"example.test", site::DnsType::A}] = {"192.0.2.10"};
    // A server named in a referral is looked up by the page's resolver, never by the system's.
    rig.Dns[{"whois.registrar.example", site::DnsType::A}] = {"127.0.0.1"};
  }

  void Serve(const std::string& path, const std::string& body) { nginx.Dir().WriteFile("www/" + path, body); }

  // Registrar replies by the query's name; they share one server.
  void Registrar(const std::string& query, int fd, const std::atomic<bool>& stopping) {
    if (query == "windows.example") return WhoisScript::Answer(kWindows1251)(query, fd, stopping);
    if (query == "koi.example") return WhoisScript::Answer(kKoi8r)(query, fd, stopping);
    WhoisScript::Answer("Domain Name: " + query + "\r\nRegistrar: Full Registrar Inc.\r\n"
                        "Registrar Registration Expiration Date: 2030-01-01T00:00:00Z\r\n")(query, fd, stopping);
  }

  void Registry(const std::string& query, int fd, const std::atomic<bool>& stopping) {
    if (query == "stalling.example") return WhoisScript::Stall()(query, fd, stopping);
    if (query == "endless.example") return WhoisScript::Endless()(query, fd, stopping);
    if (query == "silent.example") return WhoisScript::Answer(" \r\n")(query, fd, stopping);
    if (query == "unknown.example" || query == "co.uk" || query == "x.blogspot.com") return WhoisScript::Answer("No match for \"" + query + "\".\r\n")(query, fd, stopping);
    WhoisScript::Answer("Domain Name: " + query + "\r\nRegistrar WHOIS Server: whois.registrar.example:" + std::to_string(registrar.Port()) +
                        "\r\nCreation Date: 2001-01-01T00:00:00Z\r\nName Server: ns1.example.test\r\n")(query, fd, stopping);
  }

  TestCa ca;
  NginxServer nginx;
  WhoisScript registrar{[this](const std::string& q, int fd, const std::atomic<bool>& s) { Registrar(q, fd, s); }};
  WhoisScript registry{[this](const std::string& q, int fd, const std::atomic<bool>& s) { Registry(q, fd, s); }};
  WhoisScript rir{WhoisScript::Answer("inetnum: 198.51.100.0 - 198.51.100.255\nnetname: TEST-NET-2\ncountry: ZZ\n")};
  // The root refers domains of the "example" zone to the registry, addresses to the regional registry.
  WhoisScript root{[this](const std::string& q, int fd, const std::atomic<bool>& s) {
    const WhoisScript& next = q.ends_with(".example") || q.ends_with(".com") || q.ends_with(".ru") || q == "co.uk" ? registry : rir;
    WhoisScript::Answer("% root\n\nrefer:        " + next.Address() + "\n\ndomain: ZONE\ncreated: 1985-01-01\n")(q, fd, s);
  }};
  ReportRig rig;
};

TEST_F(RegistrationRecordTest, RegistryRecordIsCompletedByTheLinkedRegistrarRecordAndKept) {
  ReportResult result = rig.Run(site::DomainRecord, "www.example.test");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(Value(result, "Регистратор"), "REG-1");
  EXPECT_EQ(Value(result, "Создан"), "2001-02-03T04:05:06Z");
  EXPECT_EQ(Value(result, "Оплачен до"), "2031-02-03T04:05:06Z");  // only the registrar's record has it
  EXPECT_EQ(Value(result, "Серверы имён"), "ns1.example.test");
  EXPECT_NE(result.Note.find("example.test"), std::string::npos) << "the page says which registered name it shows";
  EXPECT_NE(result.Raw.find("\"Registrar Ltd\""), std::string::npos);

  // An hour's cache: the same record without the registry.
  nginx.Stop();
  result = rig.Run(site::DomainRecord, "example.test");
  EXPECT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(Value(result, "Оплачен до"), "2031-02-03T04:05:06Z");
}

TEST_F(RegistrationRecordTest, MissingRegistrarRecordLeavesTheRegistryRecord) {
  const ReportResult result = rig.Run(site::DomainRecord, "lonely.test");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(Value(result, "Статус"), "active");
  EXPECT_NE(result.Reason.find("Запись регистратора не получена"), std::string::npos) << result.Reason;
}

TEST_F(RegistrationRecordTest, RedirectionIsFollowedOverHttps) {
  const ReportResult result = rig.Run(site::DomainRecord, "moved.test");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(Value(result, "Создан"), "2001-02-03T04:05:06Z");
}

TEST_F(RegistrationRecordTest, RdapFailuresAreReportedInRussian) {
  const struct {
    const char* Domain;
    const char* Reason;
  } rows[] = {
      {"missing.test", "не нашёл такой записи (404)"},
      {"malformed.test", "неверный JSON"},
      {"huge.test", "больше 65536 байт"},
  };
  for (const auto& row : rows) {
    const ReportResult result = rig.Run(site::DomainRecord, row.Domain);
    EXPECT_EQ(result.State, Outcome::Failed) << row.Domain;
    EXPECT_NE(result.Reason.find(row.Reason), std::string::npos) << row.Domain << ": " << result.Reason;
  }
}

TEST_F(RegistrationRecordTest, ServerOfAnotherAuthorityIsNotTrusted) {
  TestCa stranger;
  rig.Opts.CaFile = stranger.CaFile();
  rig.Opts.WhoisRoot = "127.0.0.1:1";
  const ReportResult result = rig.Run(site::DomainRecord, "example.test");
  EXPECT_EQ(result.State, Outcome::Failed);
  // Told in Russian alone: the stranger knows neither our CA nor, when it is sent, its certificate.
  EXPECT_TRUE(result.Note.find("не прошёл проверку: издатель сертификата неизвестен") != std::string::npos ||
              result.Note.find("не прошёл проверку: в цепочке сертификат, подписанный сам собой") != std::string::npos)
      << result.Note;
  EXPECT_NE(result.Note.find("По WHOIS запись тоже не получена"), std::string::npos) << result.Note;
  EXPECT_EQ(result.Note.find("Данные получены"), std::string::npos) << "a failed WHOIS query is not a source: " << result.Note;
  EXPECT_EQ(result.Summary.Rows.size(), 0u);
}

TEST_F(RegistrationRecordTest, ZoneWithoutRdapIsLookedUpByWhoisThroughTheReferrals) {
  const ReportResult result = rig.Run(site::DomainRecord, "www.registered.example");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(Value(result, "Регистратор"), "Full Registrar Inc.");
  EXPECT_EQ(Value(result, "Создан"), "2001-01-01T00:00:00Z") << "the zone's own date in the root's answer is not the domain's";
  EXPECT_EQ(Value(result, "Оплачен до"), "2030-01-01T00:00:00Z");
  EXPECT_NE(result.Note.find("Данные получены по WHOIS"), std::string::npos) << result.Note;
  EXPECT_EQ(root.Queries(), std::vector<std::string>{"registered.example"});
  EXPECT_EQ(registry.Queries(), std::vector<std::string>{"registered.example"});
  EXPECT_EQ(registrar.Queries(), std::vector<std::string>{"registered.example"});
}

TEST_F(RegistrationRecordTest, RegistriesAreAskedTheNameRegisteredUnderThePublicSuffix) {
  // co.uk is a public suffix: the name asked is the one under it, and the page says so.
  ReportResult result = rig.Run(site::DomainRecord, "www.shop.co.uk");
  EXPECT_EQ(root.Queries(), std::vector<std::string>{"shop.co.uk"});
  EXPECT_NE(result.Note.find("запрошено зарегистрированное имя shop.co.uk"), std::string::npos) << result.Note;

  // A name that is itself a public suffix is asked as typed: its registry may hold a record of it, and the page says what it is.
  result = rig.Run(site::DomainRecord, "uk.com");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(Value(result, "Регистратор"), "Full Registrar Inc.");
  EXPECT_NE(result.Note.find("«uk.com» — также публичная зона"), std::string::npos) << result.Note;
  EXPECT_EQ(registry.Queries().back(), "uk.com");
  result = rig.Run(site::DomainRecord, "net.ae");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(Value(result, "Статус"), "active");
  EXPECT_NE(result.Note.find("«net.ae» — также публичная зона"), std::string::npos) << result.Note;
  // Refused where the registry has no record of it (by WHOIS or RDAP); a top-level zone nobody is asked about.
  result = rig.Run(site::DomainRecord, "co.uk");
  EXPECT_EQ(result.State, Outcome::Failed);
  EXPECT_NE(result.Reason.find("«co.uk» — публичная зона"), std::string::npos) << result.Reason;
  EXPECT_EQ(registry.Queries().back(), "co.uk");
  result = rig.Run(site::DomainRecord, "gov.ae");
  EXPECT_EQ(result.State, Outcome::Failed);
  EXPECT_NE(result.Reason.find("«gov.ae» — публичная зона"), std::string::npos) << result.Reason;
  const std::size_t asked = root.Queries().size();
  result = rig.Run(site::DomainRecord, "com");
  EXPECT_EQ(result.State, Outcome::Failed);
  EXPECT_NE(result.Reason.find("«com» — публичная зона"), std::string::npos) << result.Reason;
  EXPECT_EQ(root.Queries().size(), asked);

  // An international name is the registered one in its ASCII form, and is named in both forms.
  result = rig.Run(site::DomainRecord, "xn--e1afmkfd.example");
  EXPECT_EQ(result.Note.find("запрошено"), std::string::npos) << result.Note;
  result = rig.Run(site::DomainRecord, "www.xn--e1afmkfd.example");
  EXPECT_NE(result.Note.find("запрошено зарегистрированное имя пример.example (xn--e1afmkfd.example)"), std::string::npos)
      << result.Note;
}

// Under the list's private section the name is asked first as that section
// cuts it, for zones that registries run; where the registry has no record of
// it (a company's customer name), the name under the ICANN section is asked,
// and the page says which name the record is for.
TEST_F(RegistrationRecordTest, NamesUnderPrivateSuffixesFallBackToTheIcannSectionsName) {
  ReportResult result = rig.Run(site::DomainRecord, "www.shop.spb.ru");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(registry.Queries(), std::vector<std::string>{"shop.spb.ru"});
  EXPECT_NE(result.Note.find("запрошено зарегистрированное имя shop.spb.ru"), std::string::npos) << result.Note;

  result = rig.Run(site::DomainRecord, "www.x.blogspot.com");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(registry.Queries(), (std::vector<std::string>{"shop.spb.ru", "x.blogspot.com", "blogspot.com"}));
  EXPECT_EQ(Value(result, "Регистратор"), "Full Registrar Inc.");
  EXPECT_NE(result.Note.find("У реестра нет записи об имени x.blogspot.com — такие имена выдаёт владелец зоны blogspot.com; "
                             "показана запись о blogspot.com."),
            std::string::npos)
      << result.Note;

  result = rig.Run(site::DomainRecord, "user.github.io");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(Value(result, "Статус"), "client transfer prohibited");
  EXPECT_NE(result.Note.find("показана запись о github.io. Источник: RDAP реестра."), std::string::npos) << result.Note;
  // The private suffix itself is a name its registry holds.
  result = rig.Run(site::DomainRecord, "github.io");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(result.Note.find("показана запись"), std::string::npos) << result.Note;
}

TEST_F(RegistrationRecordTest, WhoisRepliesInCyrillicCharsetsAreShownAsText) {
  for (const char* domain : {"windows.example", "koi.example"}) {
    const ReportResult result = rig.Run(site::DomainRecord, domain);
    ASSERT_EQ(result.State, Outcome::Done) << domain << ": " << result.Reason;
    EXPECT_NE(result.Raw.find(kCyrillicText), std::string::npos) << domain << ":\n" << result.Raw;
  }
}

TEST_F(RegistrationRecordTest, WhoisFailuresEndTheReportWithTheirReason) {
  const struct {
    const char* Domain;
    Outcome State;
    const char* Reason;
  } rows[] = {
      {"unknown.example", Outcome::Failed, "не найден"},
      {"stalling.example", Outcome::TimedOut, "превышено время ожидания"},
      {"endless.example", Outcome::Failed, "больше 65536 байт"},
      // Closing with nothing but a blank line is no record, not an empty one.
      {"silent.example", Outcome::Failed, "закрыл соединение, не прислав ответа"},
  };
  for (const auto& row : rows) {
    const ReportResult result = rig.Run(site::DomainRecord, row.Domain);
    EXPECT_EQ(result.State, row.State) << row.Domain;
    EXPECT_NE(result.Reason.find(row.Reason), std::string::npos) << row.Domain << ": " << result.Reason;
  }
}

TEST_F(RegistrationRecordTest, PageDeadlineEndsTheReportBeforeTheWhoisDeadline) {
  rig.Opts.WhoisTimeout = std::chrono::seconds(5);
  const ReportResult result = rig.Run(site::DomainRecord, "stalling.example", std::chrono::milliseconds(200));
  EXPECT_EQ(result.State, Outcome::TimedOut);
  EXPECT_LT(result.Elapsed, rig.Opts.WhoisTimeout);
}

TEST_F(RegistrationRecordTest, AddressHasNoDomainRecord) {
  const ReportResult result = rig.Run(site::DomainRecord, "192.0.2.10");
  EXPECT_EQ(result.State, Outcome::Done);
  EXPECT_NE(result.Note.find("только для доменов"), std::string::npos);
  EXPECT_TRUE(root.Queries().empty());
}

TEST_F(RegistrationRecordTest, NetworkOfADomainIsThatOfItsFirstAddress) {
  rig.Dns[{"xn--e1afmkfd.example.test", site::DnsType::A}] = {"192.0.2.10"};
  ReportResult result = rig.Run(site::NetworkRecord, "xn--e1afmkfd.example.test");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_NE(result.Note.find("Сведения о сети адреса 192.0.2.10 (первая запись A домена пример.example.test (xn--e1afmkfd.example.test))"),
            std::string::npos) << result.Note;
  result = rig.Run(site::NetworkRecord, "example.test");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_NE(result.Note.find("(первая запись A домена example.test)"), std::string::npos) << result.Note;
  EXPECT_EQ(Value(result, "Диапазон"), "192.0.2.0 – 192.0.2.255");
  EXPECT_EQ(Value(result, "Имя сети"), "TEST-NET-1");
}

TEST_F(RegistrationRecordTest, NetworkWithoutRdapIsLookedUpByWhois) {
  const ReportResult result = rig.Run(site::NetworkRecord, "198.51.100.7");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(Value(result, "Имя сети"), "TEST-NET-2");
  EXPECT_EQ(rir.Queries(), std::vector<std::string>{"198.51.100.7"});
}

// The IPv6 bootstrap file names the registry; an address it does not cover
// goes to WHOIS, referred by the root as an IPv4 address is.
TEST_F(RegistrationRecordTest, NetworkOfAnIpv6AddressByItsBootstrapFileOrWhois) {
  ReportResult result = rig.Run(site::NetworkRecord, "2001:db8::10");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(Value(result, "Диапазон"), "2001:db8::/32");
  EXPECT_EQ(Value(result, "Имя сети"), "DOC-NET-6");
  EXPECT_NE(result.Raw.find("/rir/ip/2001:db8::10 ==="), std::string::npos) << result.Raw;

  result = rig.Run(site::NetworkRecord, "2a00:1450::7");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(Value(result, "Имя сети"), "TEST-NET-2");
  EXPECT_EQ(rir.Queries(), std::vector<std::string>{"2a00:1450::7"});
}

// An autonomous system's record by asn.json, or by WHOIS when it names no
// server for the number; the other reports say in a line that they have
// nothing for one.
TEST_F(RegistrationRecordTest, AutonomousSystemByItsBootstrapFileOrWhois) {
  ReportResult result = rig.Run(site::NetworkRecord, "AS64500");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(result.Summary.Rows, (std::vector<std::vector<std::string>>{{"Номер", "AS64500"},
                                                                       {"Имя", "DOC-AS"},
                                                                       {"Владелец", "Example Networks"},
                                                                       {"Страна", "ZZ"},
                                                                       {"Зарегистрирована", "2001-02-03T04:05:06Z"},
                                                                       {"Регистратор", "RIPE NCC"}}));
  EXPECT_NE(result.Raw.find("/rir/autnum/64500 ==="), std::string::npos) << result.Raw;

  result = rig.Run(site::NetworkRecord, "AS65551");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_NE(result.Note.find("Для этого номера нет сервера RDAP."), std::string::npos) << result.Note;
  EXPECT_EQ(rir.Queries(), std::vector<std::string>{"AS65551"});

  for (const auto report : {site::DomainRecord, site::DnsRecords, site::RouteTrace, site::PortScan}) {
    result = rig.Run(report, "AS64500");
    EXPECT_EQ(result.State, Outcome::Done) << result.Reason;
    EXPECT_NE(result.Note.find("автономной систем"), std::string::npos) << result.Note;
    EXPECT_TRUE(result.Summary.Rows.empty());
  }
}

// A referral to a WHOIS server whose name has an IPv6 address only is
// followed over IPv6.
TEST_F(RegistrationRecordTest, ReferralToAServerWithOnlyAnIpv6AddressIsFollowedThere) {
  WhoisScript rir6{WhoisScript::Answer("inet6num: 2a00::/12\nnetname: V6-NET\ncountry: ZZ\n"), true};
  WhoisScript root6{WhoisScript::Answer("refer: whois.v6.example:" + std::to_string(rir6.Port()) + "\n")};
  rig.Opts.WhoisRoot = root6.Address();
  rig.Dns[{"whois.v6.example", site::DnsType::A}] = {};  // the name is there, without an IPv4 address
  rig.Dns[{"whois.v6.example", site::DnsType::AAAA}] = {"::1"};
  const ReportResult result = rig.Run(site::NetworkRecord, "2a00:1450::7");
  ASSERT_EQ(result.State, Outcome::Done) << result.Reason;
  EXPECT_EQ(result.Reason, "");
  EXPECT_EQ(Value(result, "Имя сети"), "V6-NET");
  EXPECT_EQ(rir6.Queries(), std::vector<std::string>{"2a00:1450::7"});
}

TEST_F(RegistrationRecordTest, NetworkOfANameWithoutAddressFails) {
  const ReportResult result = rig.Run(site::NetworkRecord, "nowhere.test");
  EXPECT_EQ(result.State, Outcome::Failed);
  EXPECT_NE(result.Reason.find("адрес"), std::string::npos) << result.Reason;
}

}  // namespace
