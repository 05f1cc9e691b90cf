// The WHOIS reader over real answers (tests/data/whois, see the README and the
// licences there), one row per layout class, the dates it reads, and the
// registered name by the Public Suffix List.

#include "base/RegisteredName.h"
#include "whois/WhoisDates.h"
#include "sources/WhoisText.h"
#include "whois/WhoisFields.h"
#include "whois/WhoisLabels.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iconv.h>
#include <iterator>

namespace {

std::string Answer(const std::string& file) {
  std::ifstream in(std::string(TARNWELL_WHOIS_DATA) + "/answers/" + file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string Layout(const std::string& file) {
  std::ifstream in(std::string(TARNWELL_WHOIS_DATA) + "/../whois-layouts/" + file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The text in another charset, by glibc's iconv.
std::string Encoded(const std::string& utf8, const char* charset) {
  const iconv_t converter = iconv_open(charset, "UTF-8");
  EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1)) << charset;
  std::string out(utf8.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(utf8.data());
  char* to = out.data();
  std::size_t left = utf8.size(), room = out.size();
  EXPECT_NE(iconv(converter, &in, &left, &to, &room), static_cast<std::size_t>(-1)) << charset;
  iconv(converter, nullptr, nullptr, &to, &room);
  iconv_close(converter);
  out.resize(to - out.data());
  return out;
}

std::string Joined(const std::vector<std::string>& values) {
  std::string joined;
  for (const auto& v : values) joined += (joined.empty() ? "" : " ") + v;
  return joined;
}

TEST(WhoisReaderTest, ReadsEachLayoutClassOfRealAnswers) {
  const struct {
    const char* Layout;
    const char* File;
    const char* Asked;
    const char* Registrar;
    const char* Created;
    const char* Expires;
    const char* Status;       // space-separated, as found
    const char* NameServers;  // space-separated
  } rows[] = {
      {"ICANN key: value", "whois.verisign-grs.com_com_status_registered.txt", "google.com", "MarkMonitor Inc.", "1997-09-15T04:00:00Z", "2020-09-14T04:00:00Z",
       "clientDeleteProhibited clientTransferProhibited clientUpdateProhibited serverDeleteProhibited serverTransferProhibited serverUpdateProhibited",
       "ns1.google.com ns2.google.com ns3.google.com ns4.google.com"},
      {"key:value without a space", "whois.afilias.net_info_status_registered.txt", "google.info", "MarkMonitor Inc.",
       "2001-07-31T23:57:50Z", "2014-07-31T23:57:50Z", "clientDeleteProhibited clientTransferProhibited clientUpdateProhibited",
       "ns1.google.com ns2.google.com ns3.google.com ns4.google.com"},
      {"indented blocks under headings", "meta.co.uk.txt", "meta.co.uk", "Hogan Lovells International LLP [Tag = LOVELLSLLP]", "01-Nov-2001",
       "01-Nov-2029", "Registered until expiry date.", "a.ns.facebook.com b.ns.facebook.com c.ns.facebook.com d.ns.facebook.com"},
      {"[bracketed] labels", "meta.jp.txt", "meta.jp", "", "2009/07/10", "2024/07/31", "Active", "ns.meta.jp"},
      {"Korean, then English", "meta.kr.txt", "meta.kr", "Gabia, Inc.(http://www.gabia.co.kr)", "2007. 03. 12.", "2025. 03. 12.", "",
       "ns1.lovellsnames.org ns2.lovellsnames.org ns3.lovellsnames.org ns4.lovellsnames.org"},
      {"contacts indented below their names", "whois.nic.it_it_status_registered.txt", "google.it", "MarkMonitor International Limited",
       "1999-12-10 00:00:00", "2014-04-21", "ok", "ns1.google.com ns4.google.com ns2.google.com ns3.google.com"},
      {"headings at the paragraph's start", "whois.tld.ee_ee_status_registered.txt", "internet.ee", "Elisa Eesti AS",
       "2010-08-10 16:43:38 +03:00", "2017-02-04", "ok (paid and in zone)", "c.tld.ee d.tld.ee b.tld.ee e.tld.ee"},
      {"values below a heading, Polish", "whois.dns.pl_pl_status_registered.txt", "google.pl", "Markmonitor, Inc.", "2002.09.19 13:00:00",
       "2013.09.18 14:00:00", "", "ns2.google.com ns1.google.com"},
      {"name servers in a linked nsset", "whois.nic.cz_cz_status_registered.txt", "google.cz", "REG-MARKMONITOR", "21.07.2000 15:21:00",
       "22.07.2014", "", "ns2.google.com ns4.google.com ns3.google.com ns1.google.com"},
      {"** sections, dot-padded keys", "google.com.tr.txt", "google.com.tr", "ODTÜ GELİŞTİRME VAKFI BİLGİ TEKNOLOJİLERİ SAN. VE TİC. A.Ş.",
       "2001-Aug-23.", "2024-Aug-22.", "", "ns4.google.com ns1.google.com ns3.google.com ns2.google.com"},
      {"contact objects with their own status", "sfr.fr.txt", "sfr.fr", "Société Française du Radiotéléphone - SFR", "1996-07-22T22:00:00Z",
       "2023-11-18T14:52:21Z", "ACTIVE", "ns1pub.sfr.fr ns2pub.sfr.fr"},
      {"RIPE-like .ru", "whois.tcinet.ru_ru_status_registered.txt", "google.ru", "RU-CENTER-REG-RIPN", "2004.03.04", "2015.03.05",
       "REGISTERED DELEGATED VERIFIED", "ns1.google.com ns2.google.com ns3.google.com ns4.google.com"},
      {"underscored keys", "whois.srs.net.nz_nz_status_registered.txt", "google.co.nz", "MarkMonitor", "1999-02-17T00:00:00+13:00",
       "2014-02-17T00:00:00+13:00", "", "ns1.google.com ns2.google.com ns3.google.com ns4.google.com"},
      {"a template's empty field is no heading", "whois.register.com_status_registered.txt", "register.com", "Register.com",
       "1994-11-01T00:00:00-0500", "2019-08-04T00:00:00-0400",
       "clientTransferProhibited clientUpdateProhibited clientRenewProhibited clientDeleteProhibited", "ns2.register.com ns3.register.com ns4.register.com ns5.register.com ns6.register.com ns1.register.com"},
      {"sentence lines", "google.xn--kpry57d.txt", "google.xn--kpry57d", "Markmonitor, Inc.", "2020-01-15 06:59:05 (UTC+8)",
       "2024-01-15 06:59:05 (UTC+8)", "clientUpdateProhibited clientTransferProhibited clientDeleteProhibited",
       "ns3.googledomains.com ns1.googledomains.com ns2.googledomains.com ns4.googledomains.com"},
      {"the record of the asked name's script variant", "google.xn--kprw13d.txt", "google.xn--kprw13d", "Markmonitor, Inc.",
       "2020-01-15 06:59:05 (UTC+8)", "2024-01-15 06:59:05 (UTC+8)", "clientUpdateProhibited clientTransferProhibited clientDeleteProhibited",
       "ns3.googledomains.com ns1.googledomains.com ns2.googledomains.com ns4.googledomains.com"},
  };
  for (const auto& row : rows) {
    const site::WhoisDomainFields got = site::ReadWhoisDomain(Answer(row.File), row.Asked);
    EXPECT_EQ(got.Registrar, row.Registrar) << row.Layout;
    EXPECT_EQ(got.Created, row.Created) << row.Layout;
    EXPECT_EQ(got.Expires, row.Expires) << row.Layout;
    EXPECT_EQ(Joined(got.Status), row.Status) << row.Layout;
    EXPECT_EQ(Joined(got.NameServers), row.NameServers) << row.Layout;
  }
}

// Answers written after registries' published layouts that the real set lacks
// or has few of (tests/data/whois-layouts), each with traps of other objects:
// contacts' states and dates, a registrar's block, a look-alike, the IANA block.
TEST(WhoisReaderTest, ReadsLayoutsTheRealAnswersLack) {
  const struct {
    const char* File;
    const char* Asked;
    const char* Registrar;
    const char* Created;  // as ISO dates
    const char* Expires;
    const char* Status;   // space-separated
    const char* NameServers;
  } rows[] = {
      {"icann-registrar.txt", "example.test", "Example Registrar, LLC", "2001-02-03", "2030-02-03", "clientTransferProhibited clientDeleteProhibited",
       "ns1.example.test ns2.example.test"},
      {"dotted.txt", "example.test", "Example Registrar Ltd", "2001-02-03", "2030-02-03", "ok clientTransferProhibited", "ns1.example.test ns2.example.test"},
      {"blocks.txt", "example.test", "Example Registrar Ltd [Tag = EXAMPLE]", "2001-02-03", "2030-02-03", "Registered until expiry date.",
       "ns1.example.test ns2.example.test"},
      {"jp.txt", "example.co.jp", "", "2001-02-03", "2030-02-28", "Connected (2030/02/28)", "ns1.example.co.jp ns2.example.co.jp"},
      {"kr.txt", "example.kr", "(주)예시등록(http://www.registrar.test)", "2001-02-03", "2030-02-03", "", "ns1.example.kr ns2.example.kr"},
      {"pl.txt", "example.pl", "Przykład Sp. z o.o.", "2001-02-03", "2030-02-02", "", "ns1.example.pl ns2.example.pl"},
      {"it.txt", "example.it", "Esempio Registrar S.r.l.", "2001-02-03", "2030-02-03", "ok", "ns1.example.it ns2.example.it"},
      {"nl.txt", "example.nl", "Voorbeeld B.V.", "2001-02-03", "", "in gebruik", "ns1.example.nl ns2.example.nl"},
      {"es.txt", "example.cl", "Registrador Ejemplo Ltda.", "2001-02-03", "2030-02-03", "activo", "ns1.example.cl ns2.example.cl"},
      {"pt.txt", "example.pt", "", "2001-02-03", "2030-02-03", "ACTIVE", "ns1.example.pt ns2.example.pt"},
      {"br.txt", "example.com.br", "", "2001-02-03", "2030-02-03", "publicado", "a.dns.example.com.br b.dns.example.com.br"},
      {"fr.txt", "example.fr", "REGISTRAIRE EXEMPLE", "2001-02-03", "2030-02-03", "ACTIVE serverTransferProhibited", "ns1.example.fr ns2.example.fr"},
      {"de.txt", "example.de", "Beispiel GmbH", "2001-02-03", "2030-02-03", "connect", "ns1.example.de ns2.example.de"},
      {"ru.txt", "xn--e1afmkfd.xn--p1ai", "Регистратор-РФ", "2001-02-03", "2030-02-03", "зарегистрирован делегирован", "ns1.example.test ns2.example.test"},
      {"ua.txt", "example.com.ua", "ua.example", "2001-02-03", "2030-02-03", "ok", "ns1.example.com.ua ns2.example.com.ua"},
      {"ch.txt", "example.ch", "Beispiel Registrar AG", "2001-02-03", "", "", "ns1.example.ch ns2.example.ch"},
      {"tw.txt", "example.tw", "Example Registrar Co.", "2001-02-03", "2030-02-03", "clientUpdateProhibited clientTransferProhibited",
       "ns1.example.tw ns2.example.tw"},
      {"legacy-thin.txt", "example.test", "EXAMPLE REGISTRAR, INC.", "2001-02-03", "2030-02-03", "clientTransferProhibited ok",
       "ns1.example.test ns2.example.test"},
      {"lv.txt", "example.lv", "Piemers Registrars SIA", "", "", "active", "ns1.example.lv ns2.example.lv"},
      {"no.txt", "example.no", "REG123-NORID", "2001-02-03", "", "", ""},
      {"dk.txt", "example.dk", "", "2001-02-03", "2030-03-31", "Active", "ns1.example.dk ns2.example.dk"},
      {"kz.txt", "example.kz", "EXAMPLEREG.KZ", "2001-02-03", "", "clientTransferProhibited clientDeleteProhibited", "ns1.example.kz ns2.example.kz"},
      {"be.txt", "example.be", "Voorbeeld Registrar NV", "2001-02-03", "", "clientTransferProhibited", "ns1.example.be ns2.example.be"},
      {"my.txt", "example.com.my", "", "2001-02-03", "2030-02-03", "", "ns1.example.com.my ns2.example.com.my"},
      {"kg.txt", "example.kg", "", "2001-02-03", "2030-02-03", "", "ns1.example.kg ns2.example.kg"},
      {"registrar-legacy.txt", "example.test", "Example Registrar, LLC", "2001-02-03", "2030-02-03", "", "ns1.example.test ns2.example.test"},
      {"traps.txt", "example.test", "Right Registrar", "2001-02-03", "2030-02-03", "ok", "ns1.example.test"},
      {"li.txt", "example.li", "Beispiel Registrar AG", "2001-02-03", "", "", "ns1.example.li ns2.example.li"},
      {"se.txt", "example.se", "Exempel Registrar AB", "2001-02-03", "2030-02-03", "active serverUpdateProhibited serverTransferProhibited",
       "ns1.example.se ns2.example.se"},
      {"hk.txt", "example.hk", "Example Registrar Limited", "2001-04-03", "2030-06-05", "Active", "ns1.example.hk ns2.example.hk"},
      {"tk.txt", "example.tk", "", "2001-03-04", "2030-05-06", "", "ns1.example.tk ns2.example.tk"},
      {"jp-en.txt", "example.co.jp", "", "2001-02-03", "2030-02-28", "Connected (2030/02/28)", "ns1.example.co.jp ns2.example.co.jp"},
      {"jp-domain.txt", "example.jp", "", "2001-02-03", "2030-02-28", "Active", "ns1.example.jp ns2.example.jp"},
      {"tw-variant.txt", "xn--fsqu00a.xn--kprw13d", "例子註冊服務有限公司", "2001-02-03", "2030-02-03", "ok", "ns1.example.tw ns2.example.tw"},
      {"cn-variants.txt", "xn--fsqu00a.xn--fiqs8s", "例子注册服务有限公司", "2001-02-03", "2030-02-03", "ok", "ns1.example.cn ns2.example.cn"},
      {"cn-variants.txt", "例子.中國", "另一注册商", "1999-05-06", "2029-05-06", "serverHold", ""},
  };
  for (const auto& row : rows) {
    const std::string text = Layout(row.File);
    ASSERT_FALSE(text.empty()) << row.File;
    const site::WhoisDomainFields got = site::ReadWhoisDomain(text, row.Asked);
    EXPECT_EQ(got.Registrar, row.Registrar) << row.File;
    EXPECT_EQ(site::IsoDate(got.Created, site::DateOrderOf(row.Asked)).value_or(""), row.Created) << row.File << ": " << got.Created;
    EXPECT_EQ(site::IsoDate(got.Expires, site::DateOrderOf(row.Asked)).value_or(""), row.Expires) << row.File << ": " << got.Expires;
    EXPECT_EQ(Joined(got.Status), row.Status) << row.File;
    EXPECT_EQ(Joined(got.NameServers), row.NameServers) << row.File;
  }
}

// A label is one key however a registry cases, accents or widens it, in any script.
TEST(WhoisReaderTest, FoldsLabelsOfEveryScript) {
  const std::pair<const char*, const char*> same[] = {
      {"KAYIT TARİHİ", "Kayıt Tarihi"},          {"OLUŞTURULMA TARİHİ", "oluşturulma tarihi"},
      {"ΗΜΕΡΟΜΗΝΙΑ ΛΗΞΗΣ", "Ημερομηνία λήξης"}, {"ДАТА СОЗДАНИЯ", "Дата создания"},
      {"ＤＯＭＡＩＮ　ＮＡＭＥ", "Domain Name"},    {"DATE DE CRÉATION", "Date de creation"},
      {"Straße", "STRASSE"},                      {"Name Server 2", "nameserver"},
  };
  for (const auto& [a, b] : same) EXPECT_EQ(site::KeyOf(a), site::KeyOf(b)) << a << " / " << b;
  EXPECT_NE(site::KeyOf("Created"), site::KeyOf("Creator"));
  // Read by the reader as the vocabulary writes them.
  const site::WhoisDomainFields tr = site::ReadWhoisDomain(
      "** DOMAIN NAME: example.com.tr\n** ADDITIONAL INFO:\nOLUŞTURULMA TARİHİ......: 2001-Feb-03.\nBİTİŞ TARİHİ......: 2030-Feb-02.\n", "example.com.tr");
  EXPECT_EQ(tr.Created, "2001-Feb-03.");
  EXPECT_EQ(tr.Expires, "2030-Feb-02.");
}

// The same layouts as their registries' charsets send them, made by glibc's iconv.
TEST(WhoisReaderTest, ReadsAnswersInTheirRegistriesCharsets) {
  const struct {
    const char* File;
    const char* Asked;
    const char* Charset;
    const char* Detected;
  } rows[] = {
      {"jp-domain.txt", "example.jp", "EUC-JP", "EUC-JP"},
      {"jp-domain.txt", "example.jp", "SHIFT_JIS", "CP932"},
      {"jp-domain.txt", "example.jp", "ISO-2022-JP", "ISO-2022-JP"},
      {"jp.txt", "example.co.jp", "SHIFT_JIS", "CP932"},
      {"tw-variant.txt", "xn--fsqu00a.xn--kpry57d", "BIG5", "BIG5"},
      {"cn-variants.txt", "xn--fsqu00a.xn--fiqs8s", "GB18030", "GB18030"},
      {"kr.txt", "example.kr", "EUC-KR", "UHC"},
      {"pl.txt", "example.pl", "ISO-8859-2", "ISO-8859-2"},
      {"ru.txt", "xn--e1afmkfd.xn--p1ai", "KOI8-R", "KOI8-R"},
      {"ru.txt", "xn--e1afmkfd.xn--p1ai", "WINDOWS-1251", "WINDOWS-1251"},
  };
  for (const auto& row : rows) {
    const std::string utf8 = Layout(row.File);
    const std::string bytes = Encoded(utf8, row.Charset);
    ASSERT_NE(bytes, utf8) << row.File;
    EXPECT_EQ(site::GuessCharset(bytes), row.Detected) << row.File << " in " << row.Charset;
    const std::string text = site::WhoisTextToUtf8(bytes);
    EXPECT_EQ(text, utf8) << row.File << " in " << row.Charset;
    const site::WhoisDomainFields want = site::ReadWhoisDomain(utf8, row.Asked), got = site::ReadWhoisDomain(text, row.Asked);
    EXPECT_FALSE(want.Created.empty() || want.NameServers.empty()) << row.File;
    EXPECT_EQ(got.Registrar, want.Registrar) << row.File << " in " << row.Charset;
    EXPECT_EQ(got.Created, want.Created) << row.File << " in " << row.Charset;
    EXPECT_EQ(Joined(got.Status), Joined(want.Status)) << row.File << " in " << row.Charset;
    EXPECT_EQ(Joined(got.NameServers), Joined(want.NameServers)) << row.File << " in " << row.Charset;
  }
}

TEST(WhoisReaderTest, TakesValuesOnlyFromTheAskedObject) {
  // A look-alike listed first, the zone's IANA block, then the domain with a contact's State.
  const std::string text =
      "% IANA WHOIS server\nrefer: whois.nic.test\n\ndomain: TEST\ncreated: 1985-01-01\nnserver: A.NIC.TEST\n\n"
      "   Server Name: EXAMPLE.TEST.LOOKALIKE.TEST\n   Registrar: WRONG REGISTRAR\n\n"
      "   Domain Name: EXAMPLE.TEST\n   Registrar: Right Registrar\n   Creation Date: 03-feb-2001\n   Status: ok\n"
      "   Name Server: NS1.EXAMPLE.TEST.\n\nRegistrant:\n   Name: Someone\n   State: CA\n";
  const site::WhoisDomainFields got = site::ReadWhoisDomain(text, "example.test");
  EXPECT_EQ(got.Registrar, "Right Registrar");
  EXPECT_EQ(got.Created, "03-feb-2001");
  EXPECT_EQ(Joined(got.Status), "ok");
  EXPECT_EQ(Joined(got.NameServers), "ns1.example.test");
  const site::Table summary = site::WhoisSummary({text}, site::WhoisKind::Domain, "example.test");
  EXPECT_EQ(summary.Rows.at(1).at(1), "03-feb-2001 (2001-02-03)");

  // A name in Unicode, with the ideographic full stop or its ASCII form in full-width brackets, is the asked one.
  for (const char* named : {"Domain Name: 例子。中国\nDomain Status: ok\n", "Domain Name: 例子.中国（xn--fsqu00a.xn--fiqs8s）\nDomain Status: ok\n"}) {
    EXPECT_EQ(Joined(site::ReadWhoisDomain(named, "xn--fsqu00a.xn--fiqs8s").Status), "ok") << named;
    EXPECT_EQ(Joined(site::ReadWhoisDomain(named, "例子.中国").Status), "ok") << named;
  }
  // An answer about another name, even one in the same script, gives nothing.
  for (const char* other : {"Domain Name: other.test\nRegistrar: Wrong\n", "Domain Name: 样本.台灣\nRegistrar: Wrong\n"}) {
    EXPECT_EQ(site::ReadWhoisDomain(other, "example.test").Registrar, "") << other;
    EXPECT_EQ(site::ReadWhoisDomain(other, "例子.台湾").Registrar, "") << other;
  }
  // Where the month comes first, the page shows the date as found with its ISO form.
  const site::Table tk = site::WhoisSummary({"Domain name:\n   EXAMPLE.TK\n\nDomain registered: 03/04/2001\n"}, site::WhoisKind::Domain, "example.tk");
  EXPECT_EQ(tk.Rows.at(0).at(1), "03/04/2001 (2001-03-04)");
}

TEST(WhoisReaderTest, ReadsDatesAsRegistriesWriteThem) {
  const struct {
    const char* Text;
    const char* Iso;
  } rows[] = {
      {"2001-02-03T04:05:06Z", "2001-02-03"}, {"2001.02.03 04:05:06", "2001-02-03"}, {"03.02.2001", "2001-02-03"},
      {"02/13/2001", "2001-02-13"},           {"16/09/03", "2003-09-16"},            {"03-Feb-2001", "2001-02-03"},
      {"Sat Feb 03 2001", "2001-02-03"},      {"February 3, 2001", "2001-02-03"},   {"Thu Jun 05 00:00:00 GMT 2003", "2003-06-05"},
      {"2001. 02. 03.", "2001-02-03"},        {"2001年02月03日", "2001-02-03"},      {"0-UANIC 20010203040506", "2001-02-03"},
      {"2001-Aug-23.", "2001-08-23"},         {"03-Feb-01", "2001-02-03"},         {"before 2001", "none"},             {"10:02:03", "none"},
      // A time with its offset: the date in UTC, across a day's, a month's and a leap year's end.
      {"2020-01-15 06:59:05 (UTC+8)", "2020-01-14"}, {"2001-02-03T23:30:00-05:00", "2001-02-04"}, {"2001-03-01T01:00:00.0+0200", "2001-02-28"},
      {"2000-03-01 01:00 GMT+3", "2000-02-29"},      {"2001-02-03 04:05:06 +03:00", "2001-02-03"}, {"2001-02-03 23:59:59", "2001-02-03"},
      {"2001-02-03 12:30 - 2030-02-03", "2001-02-03"},
  };
  for (const auto& row : rows) EXPECT_EQ(site::IsoDate(row.Text).value_or("none"), row.Iso) << row.Text;
}

TEST(RegisteredNameTest, FollowsThePublicSuffixListsIcannSection) {
  const struct {
    const char* Domain;
    const char* Registered;
    bool PublicSuffix = false;
    const char* Icann = "";  // asked next when the registry has no record of the first
  } rows[] = {
      {"www.example.co.uk", "example.co.uk"},
      {"iac.spb.ru", "iac.spb.ru", false, "spb.ru"},
      {"www.google.com.ua", "google.com.ua"},
      {"xn--e1afmkfd.xn--p1ai", "xn--e1afmkfd.xn--p1ai"},      // пример.рф
      {"www.xn--e1afmkfd.xn--p1ai", "xn--e1afmkfd.xn--p1ai"},
      {"a.b.example.test", "example.test"},                   // not in the list: the zone and one label
      {"www.mining.com.ru", "mining.com.ru", false, "com.ru"},  // a regional zone of the private section
      {"www.uk.com", "www.uk.com", false, "uk.com"},          // under a private-section suffix
      {"user.github.io", "user.github.io", false, "github.io"},
      {"github.io", "github.io", true},
      // Public suffixes themselves, which registries may hold records of, are asked as typed; top-level zones are not.
      {"co.uk", "co.uk", true},
      {"net.ae", "net.ae", true},
      {"uk.com", "uk.com", true},
      {"com", ""},
      {"localhost", ""},
  };
  for (const auto& row : rows) {
    const site::RegisteredName name = site::RegisteredNameOf(row.Domain);
    EXPECT_EQ(name.Name, row.Registered) << row.Domain;
    EXPECT_EQ(name.PublicSuffix, row.PublicSuffix) << row.Domain;
    EXPECT_EQ(name.IcannName, row.Icann) << row.Domain;
    EXPECT_EQ(name.Failure.empty(), *row.Registered != '\0' && !row.PublicSuffix) << row.Domain;
  }
}

}  // namespace
