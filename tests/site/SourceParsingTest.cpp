// The pure readers under the registration records and the trace: addresses,
// bootstrap matching, WHOIS lines and charsets, RDAP fields, AS records.

#include "sources/AsZone.h"
#include "sources/HttpsUrl.h"
#include "sources/RdapBootstrap.h"
#include "sources/RdapJson.h"
#include "sources/SourcePolicy.h"
#include "whois/WhoisFields.h"
#include "sources/WhoisQuery.h"
#include "sources/WhoisText.h"

#include <gtest/gtest.h>

using namespace site;
using nlohmann::json;

namespace {

std::string Show(const std::optional<HttpsUrl>& url) {
  return url ? url->Host + "|" + url->Port + "|" + url->Target : "none";
}

std::string Value(const Table& table, const std::string& label) {
  for (const auto& row : table.Rows)
    if (row[0] == label) return row[1];
  return "<none>";
}

}  // namespace

TEST(HttpsUrlTest, AcceptsOnlyPlainHttpsAddresses) {
  const struct {
    const char* Text;
    const char* Expected;
  } rows[] = {
      {"https://rdap.example.test/domain/x", "rdap.example.test|443|/domain/x"},
      {"HTTPS://RDAP.Example.TEST", "rdap.example.test|443|/"},
      {"https://127.0.0.1:8443/ip/1.2.3.4?x=1", "127.0.0.1|8443|/ip/1.2.3.4?x=1"},
      {"https://host.test?q", "host.test|443|/?q"},
      {"http://rdap.example.test/", "none"},
      {"https://", "none"},
      {"https://host:0/", "none"},
      {"https://host:65536/", "none"},
      {"https://host:12a/", "none"},
      {"https://user@host/", "none"},
      {"https://host/a b", "none"},
      {"https://host/a\r\nX: y", "none"},
  };
  for (const auto& row : rows) EXPECT_EQ(Show(ParseHttpsUrl(row.Text)), row.Expected) << row.Text;
}

TEST(HttpsUrlTest, RedirectionsStayOnHttps) {
  const HttpsUrl base{"rdap.example.test", "8443", "/domain/a"};
  EXPECT_EQ(Show(ResolveLocation(base, "/domain/b")), "rdap.example.test|8443|/domain/b");
  EXPECT_EQ(Show(ResolveLocation(base, "https://other.test/x")), "other.test|443|/x");
  EXPECT_EQ(Show(ResolveLocation(base, "http://other.test/x")), "none");
  EXPECT_EQ(Show(ResolveLocation(base, "//other.test/x")), "none");
  EXPECT_EQ(Show(ResolveLocation(base, "")), "none");
}

TEST(SourcePolicyTest, PrivateAddressesOnlyWhenTheConfiguredSourcesAreThemselvesPrivate) {
  const struct {
    const char* Name;
    const char* Bootstrap;
    const char* WhoisRoot;
    bool AllowPrivate;
    bool Expected;
  } rows[] = {
      {"public sources", "https://rdap.example.test/", "whois.example.test", false, false},
      {"public sources, private targets allowed", "https://rdap.example.test/", "whois.example.test", true, true},
      {"bootstrap on loopback", "https://127.0.0.1:8443/", "whois.example.test", false, true},
      {"root on loopback", "https://rdap.example.test/", "127.0.0.1:4343", false, true},
      {"root on localhost", "https://rdap.example.test/", "localhost", false, true},
      {"root on a private network", "https://rdap.example.test/", "10.0.0.5", false, true},
      {"public literal", "https://8.8.4.4/", "9.9.9.9:43", false, false},
      {"root on IPv6 loopback", "https://rdap.example.test/", "[::1]:4343", false, true},
      {"root on a unique-local IPv6 network", "https://rdap.example.test/", "[fd00::43]:43", false, true},
      {"root on a public IPv6 address", "https://rdap.example.test/", "[2a00:1450::43]:43", false, false},
  };
  for (const auto& row : rows) {
    site::Options options;
    options.RdapBootstrap = row.Bootstrap;
    options.WhoisRoot = row.WhoisRoot;
    options.AllowPrivate = row.AllowPrivate;
    EXPECT_EQ(PrivateSourcesAllowed(options), row.Expected) << row.Name;
  }
  using boost::asio::ip::make_address;
  EXPECT_TRUE(SourceAddressAllowed(make_address("8.8.4.4"), false));
  EXPECT_FALSE(SourceAddressAllowed(make_address("127.0.0.1"), false));
  EXPECT_FALSE(SourceAddressAllowed(make_address("192.168.1.1"), false));
  EXPECT_TRUE(SourceAddressAllowed(make_address("127.0.0.1"), true));
  // A name may resolve to IPv6 in any of its special forms: each is refused as its range is.
  EXPECT_TRUE(SourceAddressAllowed(make_address("2a00:1450::43"), false));
  for (const char* refused : {"::1", "::", "fe80::1", "fd00::43", "ff02::1", "2001:db8::43", "::ffff:127.0.0.1",
                              "::ffff:0:10.0.0.1", "64:ff9b::192.168.0.1", "2002:c0a8:101::1", "2001:0:4136:e378:8000:63bf:80ff:fffe"})
    EXPECT_FALSE(SourceAddressAllowed(make_address(refused), false)) << refused;

  // A referral or link may aim only at its protocol's port, unless the
  // deployment says otherwise or runs on private sources.
  site::Options open;
  EXPECT_TRUE(SourcePortAllowed("43", "43", open));
  EXPECT_FALSE(SourcePortAllowed("8080", "43", open));
  EXPECT_FALSE(SourcePortAllowed("22", "443", open));
  open.AnySourcePort = true;
  EXPECT_TRUE(SourcePortAllowed("8080", "443", open));
  site::Options rig;
  rig.WhoisRoot = "127.0.0.1:4343";
  EXPECT_TRUE(SourcePortAllowed("4343", "43", rig));
}

TEST(RdapBootstrapTest, PicksTheLongestMatchAndHttpsService) {
  const json dns = json::parse(R"({"services": [
      [["test"], ["http://plain.test/", "https://rdap.test/v1"]],
      [["co.test", "CO.ZZ"], ["https://rdap.co.test/"]],
      [["only-http"], ["http://x.test/"]],
      "garbage", [["bad"]]
  ]})");
  const struct {
    const char* Domain;
    const char* Expected;
  } rows[] = {
      {"example.test", "https://rdap.test/v1/"},
      {"a.b.example.co.test", "https://rdap.co.test/"},
      {"example.co.zz", "https://rdap.co.test/"},
      {"EXAMPLE.TEST", "https://rdap.test/v1/"},
      {"examplecotest", "none"},
      {"example.ru", "none"},
      {"x.only-http", "none"},
  };
  for (const auto& row : rows) {
    const auto service = ServiceForDomain(dns, row.Domain);
    EXPECT_EQ(service ? service->Url : "none", row.Expected) << row.Domain;
  }
  EXPECT_EQ(ServiceForDomain(dns, "x.example.co.test")->Zone, "co.test");
  EXPECT_FALSE(ServiceForDomain(json::parse(R"({"services": 5})"), "example.test"));
}

TEST(RdapBootstrapTest, PicksTheLongestPrefix) {
  const json ipv4 = json::parse(R"({"services": [
      [["10.0.0.0/8"], ["https://wide.test/"]],
      [["10.1.0.0/16", "192.0.2.0/24"], ["https://narrow.test/"]],
      [["0.0.0.0/0"], ["https://everything.test/"]],
      [["10.2.0.0/33", "10.3.0.0/x", "nonsense"], ["https://broken.test/"]]
  ]})");
  const struct {
    std::uint32_t Address;
    const char* Expected;
  } rows[] = {
      {0x0A010203, "https://narrow.test/"},
      {0x0A020304, "https://wide.test/"},
      {0xC0000201, "https://narrow.test/"},
      {0x08080808, "https://everything.test/"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(ServiceForAddress(ipv4, boost::asio::ip::address_v4(row.Address)).value_or("none"), row.Expected) << row.Address;

  const json ipv6 = json::parse(R"({"services": [
      [["2001:db8::/32", "10.0.0.0/8"], ["https://wide.test/"]],
      [["2001:db8:8000::/33"], ["https://narrow.test/"]],
      [["2001:db8::/129", "2001:db8::/x", "nonsense"], ["https://broken.test/"]]
  ]})");
  const struct {
    const char* Address;
    const char* Expected;
  } rows6[] = {
      {"2001:db8::1", "https://wide.test/"},
      {"2001:db8:7fff::1", "https://wide.test/"},
      {"2001:db8:8000::1", "https://narrow.test/"},
      {"2001:db9::1", "none"},
      {"::ffff:10.1.2.3", "none"},  // an IPv6 address is not matched by an IPv4 prefix
  };
  for (const auto& row : rows6)
    EXPECT_EQ(ServiceForAddress(ipv6, boost::asio::ip::make_address(row.Address)).value_or("none"), row.Expected) << row.Address;
}

TEST(RdapJsonTest, RefusesWhatIsNotASaneObject) {
  EXPECT_TRUE(ParseRdapJson(R"({"objectClassName": "domain"})"));
  EXPECT_FALSE(ParseRdapJson("[1, 2]"));
  EXPECT_FALSE(ParseRdapJson("{\"a\": "));
  EXPECT_FALSE(ParseRdapJson("<html>not json</html>"));
  EXPECT_FALSE(ParseRdapJson("{\"a\": \"\xff\"}"));
  // Deep nesting would exhaust the stack of whatever walks it later.
  EXPECT_FALSE(ParseRdapJson("{\"a\": " + std::string(100000, '[') + std::string(100000, ']') + "}"));
  // A million small values fit the reply's size but would grow into a tree
  // and a printout of hundreds of megabytes; a few thousand are a real answer.
  std::string many = "{\"a\": [0";
  while (many.size() < (2 << 20) - 8) many += ",0";
  EXPECT_FALSE(ParseRdapJson(many + "]}"));
  std::string some = "{\"a\": [0";
  for (int i = 0; i < 5000; ++i) some += ",{\"b\": 1}";
  EXPECT_TRUE(ParseRdapJson(some + "]}"));
}

TEST(RdapJsonTest, SummarisesADomainAndFindsItsRegistrar) {
  const json domain = json::parse(R"({
    "objectClassName": "domain", "ldhName": "example.test",
    "status": ["active", "client transfer prohibited"],
    "events": [{"eventAction": "registration", "eventDate": "2001-02-03T00:00:00Z"},
               {"eventAction": "expiration", "eventDate": "2031-02-03T00:00:00Z"}],
    "nameservers": [{"ldhName": "ns1.example.test"}, {"ldhName": "ns2.example.test"}, {"bogus": 1}],
    "entities": [{"roles": ["technical"], "handle": "T1"},
                 {"roles": ["registrar"], "handle": "R1",
                  "vcardArray": ["vcard", [["version", {}, "text", "4.0"], ["fn", {}, "text", "Registrar Ltd"]]]}],
    "links": [{"rel": "self", "href": "https://registry.test/domain/example.test", "type": "application/rdap+json"},
              {"rel": "related", "href": "https://registry.test/domain/example.test", "type": "application/rdap+json"},
              {"rel": "related", "href": "http://registrar.test/x", "type": "application/rdap+json"},
              {"rel": "related", "href": "https://registrar.test/domain/example.test", "type": "text/html"},
              {"rel": "related", "href": "https://registrar.test/domain/example.test", "type": "application/rdap+json"}]
  })");
  const Table table = DomainSummary(domain);
  EXPECT_EQ(Value(table, "Регистратор"), "Registrar Ltd");
  EXPECT_EQ(Value(table, "Создан"), "2001-02-03T00:00:00Z");
  EXPECT_EQ(Value(table, "Оплачен до"), "2031-02-03T00:00:00Z");
  EXPECT_EQ(Value(table, "Статус"), "active, client transfer prohibited");
  EXPECT_EQ(Value(table, "Серверы имён"), "ns1.example.test, ns2.example.test");
  EXPECT_EQ(RegistrarLink(domain).value_or("none"), "https://registrar.test/domain/example.test");
  // Fields of the wrong type are skipped, never thrown on.
  EXPECT_TRUE(DomainSummary(json::parse(R"({"status": "x", "events": {}, "entities": [1, [2]], "links": 3})")).Rows.empty());
}

TEST(RdapJsonTest, SummarisesANetwork) {
  const json network = json::parse(R"({
    "objectClassName": "ip network", "startAddress": "192.0.2.0", "endAddress": "192.0.2.255",
    "name": "TEST-NET-1", "country": "ZZ",
    "events": [{"eventAction": "registration", "eventDate": "1990-01-01"}],
    "entities": [{"roles": ["registrant"], "vcardArray": ["vcard", [["org", {}, "text", "Example Org"]]]}]
  })");
  const Table table = NetworkSummary(network);
  EXPECT_EQ(Value(table, "Диапазон"), "192.0.2.0 – 192.0.2.255");
  EXPECT_EQ(Value(table, "Имя сети"), "TEST-NET-1");
  EXPECT_EQ(Value(table, "Страна"), "ZZ");
  EXPECT_EQ(Value(table, "Организация"), "Example Org");
  EXPECT_EQ(Value(table, "Создана"), "1990-01-01");
}

TEST(WhoisFieldsTest, ReadsReferralsAndServerNames) {
  const std::string root = "% IANA WHOIS server\n\nrefer:        whois.nic.test\n\ndomain:       TEST\n";
  EXPECT_EQ(WhoisValue(root, "refer").value_or("none"), "whois.nic.test");
  EXPECT_EQ(WhoisValue("Registrar WHOIS Server: whois.registrar.test\r\n", "registrar whois server").value_or("none"),
            "whois.registrar.test");
  EXPECT_FALSE(WhoisValue("% refer: commented.test\n", "refer"));

  const struct {
    const char* Text;
    const char* Expected;
  } rows[] = {
      {"whois.nic.test", "whois.nic.test:43"},
      {"  WHOIS.Nic.Test  ", "whois.nic.test:43"},
      {"whois://whois.nic.test/", "whois.nic.test:43"},
      {"127.0.0.1:4343", "127.0.0.1:4343"},
      {"host:0", "none"},
      {"host:99999", "none"},
      {"http://whois.nic.test/", "none"},
      {"who is.test", "none"},
      {"", "none"},
  };
  for (const auto& row : rows) {
    const auto server = ParseWhoisServer(row.Text);
    EXPECT_EQ(server ? server->Host + ":" + server->Port : "none", row.Expected) << row.Text;
  }
}

TEST(WhoisFieldsTest, SummaryPrefersTheMoreSpecificAnswer) {
  const std::string registry =
      "Domain Name: EXAMPLE.TEST\nRegistrar: Thin Registrar\nCreation Date: 2001-01-01\n"
      "Registry Expiry Date: 2030-01-01\nDomain Status: clientTransferProhibited https://icann.test/epp\n"
      "Domain Status: serverHold https://icann.test/epp\nName Server: NS1.EXAMPLE.TEST\nName Server: ns1.example.test\n";
  const std::string registrar = "Registrar: Full Registrar Inc.\nName Server: ns2.example.test\n";
  const Table table = WhoisSummary({registry, registrar}, WhoisKind::Domain, "example.test");
  EXPECT_EQ(Value(table, "Регистратор"), "Full Registrar Inc.");
  EXPECT_EQ(Value(table, "Создан"), "2001-01-01");
  EXPECT_EQ(Value(table, "Оплачен до"), "2030-01-01");
  EXPECT_EQ(Value(table, "Статус"), "clientTransferProhibited, serverHold");
  EXPECT_EQ(Value(table, "Серверы имён"), "ns2.example.test");

  const Table ru = WhoisSummary({"domain: EXAMPLE.RU\nnserver: a.ns.test.\nnserver: b.ns.test.\nstate: REGISTERED, DELEGATED\n"
                                 "registrar: TEST-RU\ncreated: 2004-01-01T00:00:00Z\npaid-till: 2030-01-01T00:00:00Z\n"},
                                WhoisKind::Domain, "example.ru");
  EXPECT_EQ(Value(ru, "Серверы имён"), "a.ns.test, b.ns.test");
  EXPECT_EQ(Value(ru, "Оплачен до"), "2030-01-01T00:00:00Z");
  EXPECT_EQ(Value(ru, "Статус"), "REGISTERED, DELEGATED");

  const Table net = WhoisSummary({"inetnum: 192.0.2.0 - 192.0.2.255\nnetname: TEST-NET\ncountry: ZZ\ndescr: Example\n"},
                                 WhoisKind::Network);
  EXPECT_EQ(Value(net, "Диапазон"), "192.0.2.0 - 192.0.2.255");
  EXPECT_EQ(Value(net, "Организация"), "Example");
  EXPECT_TRUE(WhoisSaysNoMatch("No match for \"NOPE.TEST\".\n"));
  EXPECT_FALSE(WhoisSaysNoMatch(registry));
}

TEST(WhoisTextTest, DecodesEachCharsetToValidUtf8) {
  // "Администратор домена: Иванов" in each charset.
  const std::string utf8 = "Администратор домена: Иванов";
  const std::string windows1251 = "\xC0\xE4\xEC\xE8\xED\xE8\xF1\xF2\xF0\xE0\xF2\xEE\xF0 \xE4\xEE\xEC\xE5\xED\xE0: \xC8\xE2\xE0\xED\xEE\xE2";
  const std::string koi8r = "\xE1\xC4\xCD\xC9\xCE\xC9\xD3\xD4\xD2\xC1\xD4\xCF\xD2 \xC4\xCF\xCD\xC5\xCE\xC1: \xE9\xD7\xC1\xCE\xCF\xD7";
  // All capitals: no case pattern to go by, only letter frequencies.
  const std::string koi8rCapitals = "\xEF\xEF\xEF \xF2\xEF\xED\xE1\xFB\xEB\xE1";  // "ООО РОМАШКА"
  const struct {
    const char* Name;
    std::string Bytes;
    const char* Expected;
    std::string Text;
  } rows[] = {
      {"ascii", "Registrar: X\r\n", "UTF-8", "Registrar: X\n"},
      {"utf-8", utf8, "UTF-8", utf8},
      {"utf-8 with a broken byte", utf8 + "\xFF", "UTF-8", utf8 + "\uFFFD"},
      {"windows-1251", windows1251, "WINDOWS-1251", utf8},
      {"koi8-r", koi8r, "KOI8-R", utf8},
      {"koi8-r capitals", koi8rCapitals, "KOI8-R", "ООО РОМАШКА"},
      {"latin-1", "Stra\xDF" "e M\xFCller, K\xF8" "benhavn", "WINDOWS-1252", "Straße Müller, København"},
      {"windows-1252 quotes and euro", "\x93" "Caf\xE9\x94 \x80" "5 \x96 \x8A" "koda \x81", "WINDOWS-1252",
       "“Café” €5 – Škoda \uFFFD"},
      {"controls", std::string("a\0b\x1b[31mc\rd", 11), "UTF-8", "ab[31mc\nd"},
      // Short Latin-1 answers that uchardet alone takes for a Latin-3 or a Mac code page.
      {"latin-1, one letter", "Holder: Example AG, Z\xFCrich", "WINDOWS-1252", "Holder: Example AG, Zürich"},
      {"latin-1, one word", "Address: Vej 1, K\xF8" "benhavn", "WINDOWS-1252", "Address: Vej 1, København"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(GuessCharset(row.Bytes), row.Expected) << row.Name;
    EXPECT_EQ(WhoisTextToUtf8(row.Bytes), row.Text) << row.Name;
  }
  // Broken UTF-8 inside otherwise Latin text: no invalid sequence reaches the page.
  const std::string out = DecodeText("a\xC3(b\xED\xA0\x80" "c\xF4\x90\x80\x80", "UTF-8");
  EXPECT_EQ(out, "a\xEF\xBF\xBD(b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "c\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(AsZoneTest, ReadsOriginAndNameRecords) {
  EXPECT_EQ(AsOriginQuery(boost::asio::ip::make_address("10.0.0.1"), "origin.asn.example.test"), "1.0.0.10.origin.asn.example.test");
  EXPECT_EQ(AsOriginQuery(boost::asio::ip::make_address("2001:db8::1"), "origin.asn.example.test"),
            "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.origin6.asn.example.test");
  EXPECT_EQ(AsOriginQuery(boost::asio::ip::make_address("2001:db8::1"), "as.example.test"),
            "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.as.example.test");
  EXPECT_EQ(TxtText(R"("64500 | 10.0.0.0/8 | ZZ" " | test")"), "64500 | 10.0.0.0/8 | ZZ | test");
  EXPECT_EQ(TxtText(R"("say \"hi\" \\ back")"), "say \"hi\" \\ back");
  // \DDD is a byte; a backslash before fewer than three digits escapes one character.
  EXPECT_EQ(TxtText(R"("\208\162EST \1x \0601")"), "\xD0\xA2" "EST 1x <1");
  // A name is cut at its limit between characters, never inside one.
  const std::string longName(127, 'a');
  EXPECT_EQ(AsNameOf({"\"1 | ZZ | test | 2020-01-01 | " + longName + "\xD0\xA2\""}), longName);
  EXPECT_EQ(AsNumberOf({"\"64500 64501 | 10.0.0.0/8 | ZZ | test | 2020-01-01\""}), "64500");
  EXPECT_EQ(AsNumberOf({"64500 | 10.0.0.0/8 | ZZ | test | 2020-01-01"}), "64500");
  EXPECT_EQ(AsNumberOf({"\"not a number | x\""}), "");
  EXPECT_EQ(AsNumberOf({}), "");
  EXPECT_EQ(AsNameOf({"\"64500 | ZZ | test | 2020-01-01 | TEST-AS Example, ZZ\""}), "TEST-AS Example, ZZ");
  EXPECT_EQ(AsNameOf({"\"64500 | ZZ\""}), "");
  EXPECT_EQ(HostNameOf({"host1.example.test."}), "host1.example.test");
}
