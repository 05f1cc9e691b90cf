// The window's plain functions: the service URL, the Windows-1251 crossing, the
// error box's caption and full stop, the result file, the link targets, where
// the home site comes from, the embedded service's ready line, the list of
// recent addresses and the texts of the wait.
#include "Dialogs.h"
#include "EmbeddedSite.h"
#include "HomeSite.h"
#include "Links.h"
#include "LookupWait.h"
#include "ProxyPort.h"
#include "RecentAddresses.h"
#include "ResultFile.h"
#include "SaveName.h"
#include "ServiceUrl.h"
#include "Toolkit.h"
#include "Win1251.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

namespace {

const std::string kBase = "http://host.example/whois/index.php?";

TEST(ServiceUrl, AllOptionsTicked) {
  EXPECT_EQ(ServiceUrl("host.example", "example.com", {true, true, true, true, true}),
            kBase + "addr=example.com&dom_whois=true&dom_dns=true&traceroute=true&net_whois=true&port_scan=true");
}

TEST(ServiceUrl, NoOptionTickedKeepsEveryKey) {
  EXPECT_EQ(ServiceUrl("host.example", "192.0.2.1", {}),
            kBase + "addr=192.0.2.1&dom_whois=&dom_dns=&traceroute=&net_whois=&port_scan=");
}

TEST(ServiceUrl, EachOptionInItsPlace) {
  EXPECT_EQ(ServiceUrl("h", "a", {false, true, false, true, false}),
            "http://h/whois/index.php?addr=a&dom_whois=&dom_dns=true&traceroute=&net_whois=true&port_scan=");
}

TEST(ServiceUrl, AddressGoesInAsGiven) {
  for (const std::string& address : {std::string(" a&b=c "), std::string(), std::string("\xEF\xF0\xE8?")})
    EXPECT_EQ(ServiceUrl("h", address, {}), "http://h/whois/index.php?addr=" + address +
                                                "&dom_whois=&dom_dns=&traceroute=&net_whois=&port_scan=")
        << address;
}

TEST(Win1251, Encodes) {
  struct Row {
    const char* name;
    QString text;
    std::string bytes;
  };
  const Row rows[] = {
      {"ascii", QStringLiteral("abc 1.2"), "abc 1.2"},
      {"russian letters", QStringLiteral("АЯаяЁё"), "\xC0\xDF\xE0\xFF\xA8\xB8"},
      {"punctuation of the high half", QStringLiteral("№€—«»"), "\xB9\x88\x97\xAB\xBB"},
      {"no such character", QStringLiteral("日本"), "??"},
      {"outside the basic plane", QString::fromUcs4(U"a\U0001F600b"), "a?b"},
  };
  for (const Row& row : rows) EXPECT_EQ(ToWin1251(row.text), row.bytes) << row.name;
}

TEST(Win1251, EveryByteSurvivesTheWayBack) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(ToWin1251(FromWin1251(all)), all);
  EXPECT_EQ(FromWin1251("\xCF\xF0\xE8\xE2\xE5\xF2"), QStringLiteral("Привет"));
}

TEST(ErrorBox, FullStopOnlyAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(WithFullStop("'x' is not a valid integer value"), "'x' is not a valid integer value.");
  EXPECT_EQ(WithFullStop("Done."), "Done.");
  EXPECT_EQ(WithFullStop("Why?"), "Why?.");
  EXPECT_EQ(WithFullStop("Stop!"), "Stop!");
  EXPECT_EQ(WithFullStop("a-"), "a-");
  EXPECT_EQ(WithFullStop("Ошибка"), "Ошибка.");
  EXPECT_EQ(WithFullStop(""), "");
}

TEST(ErrorBox, TitleFromExecutableName) {
  EXPECT_EQ(ApplicationTitle("/usr/bin/tarnwell"), "tarnwell");
  EXPECT_EQ(ApplicationTitle("/opt/TARNWELL.bin.old"), "Tarnwell");
  EXPECT_EQ(ApplicationTitle("/x.y/MyTool"), "Mytool");
}

TEST(ResultFile, PathFollowsTheCacheFolderRule) {
  EXPECT_EQ(ResultFilePath("/xdg/cache", "/home/u"), "/xdg/cache/tarnwell/res.dat");
  EXPECT_EQ(ResultFilePath(nullptr, "/home/u"), "/home/u/.cache/tarnwell/res.dat");
  EXPECT_EQ(ResultFilePath("", "/home/u"), "/home/u/.cache/tarnwell/res.dat");
  EXPECT_EQ(ResultFilePath("relative/cache", "/home/u"), "/home/u/.cache/tarnwell/res.dat");
  EXPECT_EQ(HeaderFilePath("/xdg/cache/tarnwell/res.dat"), "/xdg/cache/tarnwell/Head.txt");
}

TEST(ResultFile, WritesEveryByteAndMakesItsFolder) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("a/b/res.dat").toStdString();
  WriteResultFile(path, std::string("long old content\r\n", 18));
  const std::string bytes("<p>\0\r\n\xFF</p>", 11);
  WriteResultFile(path, bytes);
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(), bytes);
}

TEST(ResultFile, UnwritableFolderNamesThePath) {
  QTemporaryDir dir;
  QFile blocker(dir.filePath("blocker"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  const std::string path = dir.filePath("blocker/res.dat").toStdString();
  try {
    WriteResultFile(path, "x");
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "Cannot create file " + path);
  }
}

TEST(SaveName, AddressAndDay) {
  const QDate day(2026, 12, 8);
  const std::vector<std::pair<QString, QString>> rows = {
      {"example.test", "example.test-2026-12-08.html"},
      {"  EXAMPLE.Test. ", "example.test-2026-12-08.html"},
      {"192.0.2.1", "192.0.2.1-2026-12-08.html"},
      {"Пример.РФ", "пример.рф-2026-12-08.html"},
      {"http://a.test/b?c*d", "http___a.test_b_c_d-2026-12-08.html"},
      {"a b\tc", "a_b_c-2026-12-08.html"},
      {"  ", "tarnwell-2026-12-08.html"},
  };
  for (const auto& [address, name] : rows) EXPECT_EQ(SaveName(address, day), name) << address.toStdString();
}

TEST(Links, FormsOfTheTargets) {
  links::SetHomeSite("127.0.0.1:4321");
  const std::string home = "http://127.0.0.1:4321";
  EXPECT_EQ(links::HomeSiteAddress(), home);
  EXPECT_EQ(links::HomePage(), home + "/?ii=1");
  EXPECT_EQ(links::DetailsPage("abc"), home + "/hosting/desc/abc.shtml");
  EXPECT_EQ(links::Redirector("http://p.example/?a=1&b=2", true), home + "/go.php?url=http://p.example/?a=1&b=2&f=program");
  EXPECT_EQ(links::Redirector("http://p.example/", false), home + "/go.php?url=http://p.example/");
}

TEST(HomeSite, FirstGivenSourceWins) {
  struct Case {
    QString argument, environment, configured, built;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"arg.example:81", "env.example", "conf.example", "built.example", "arg.example:81"},
      {"", "env.example", "conf.example", "built.example", "env.example"},
      {"", " ", "conf.example", "built.example", "conf.example"},
      {"", "", "", "built.example", "built.example"},
      {"", "", " conf.example ", "", "conf.example"},
      {"", "", "", "", ""},
      {"http://arg.example:81/", "env.example", "", "", "arg.example:81"},
      {"", " HTTP://env.example// ", "", "", "env.example"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ChooseHomeSite(c.argument, c.environment, c.configured, c.built), c.expected) << c.expected;
}

TEST(HomeSite, CommandLineOption) {
  EXPECT_EQ(HomeSiteArgument({"tarnwell", "--home-site", "a.example:8080"}), "a.example:8080");
  EXPECT_EQ(HomeSiteArgument({"tarnwell", "-style", "fusion", "--home-site=b.example"}), "b.example");
  EXPECT_EQ(HomeSiteArgument({"tarnwell", "--home-site"}), "");
  EXPECT_EQ(HomeSiteArgument({"--home-site=program-name-is-not-an-option"}), "");
  EXPECT_EQ(HomeSiteArgument({"tarnwell"}), "");
}

// The environment and the user's config file as the program reads them.
TEST(HomeSite, EnvironmentThenConfigFile) {
  QTemporaryDir config;
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME"), oldSite = qgetenv("TARNWELL_HOME_SITE");
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  qunsetenv("TARNWELL_HOME_SITE");
  EXPECT_EQ(HomeSiteSetting({"tarnwell"}), TARNWELL_HOME_SITE);
  {
    QSettings file(config.filePath("tarnwell/tarnwell.conf"), QSettings::IniFormat);
    file.setValue("HomeSite", "conf.example:8081");
  }
  EXPECT_EQ(HomeSiteSetting({"tarnwell"}), "conf.example:8081");
  qputenv("TARNWELL_HOME_SITE", "env.example");
  EXPECT_EQ(HomeSiteSetting({"tarnwell"}), "env.example");
  EXPECT_EQ(HomeSiteSetting({"tarnwell", "--home-site", "arg.example"}), "arg.example");
  qputenv("XDG_CONFIG_HOME", oldConfig);
  if (oldSite.isNull()) qunsetenv("TARNWELL_HOME_SITE");
  else qputenv("TARNWELL_HOME_SITE", oldSite);
}

TEST(HomeSite, LoopbackHosts) {
  for (const char* site : {"127.0.0.1:4321", "127.0.0.1", "127.3.4.5:80", "localhost", "LocalHost:8080"})
    EXPECT_TRUE(IsLoopbackHomeSite(site)) << site;
  for (const char* site : {"", "192.0.2.1:80", "tarnwell.example", "127.example", "localhost.example", "127.0.0"})
    EXPECT_FALSE(IsLoopbackHomeSite(site)) << site;
}

TEST(EmbeddedSite, ReadyLine) {
  const std::vector<std::pair<QByteArray, uint16_t>> rows = {
      {"listening on 127.0.0.1:8080", 8080}, {"listening on 127.0.0.1:1", 1},
      {"listening on 127.0.0.1:65535", 65535}, {"listening on 127.0.0.1:65536", 0},
      {"listening on 127.0.0.1:0", 0},     {"listening on 127.0.0.1:", 0},
      {"listening on 127.0.0.1:80x", 0},   {"listening on 127.0.0.1:-80", 0},
      {"listening on 127.0.0.1:000080", 0}, {"listening on 0.0.0.0:80", 0},
      {"listening on 127.0.0.1:80 ", 0},   {"error: address in use", 0},
  };
  for (const auto& [line, port] : rows) EXPECT_EQ(ListeningPort(line), port) << line.toStdString();
}

TEST(RecentAddresses, OneFormPerAddress) {
  const std::vector<std::pair<QString, QString>> rows = {
      {"example.test", "example.test"},
      {"  EXAMPLE.TEST.  ", "example.test"},
      {"Example.Test..", "example.test."},
      {"\tпример.РФ\n", "пример.рф"},
      {"XN--E1AFMKFD.XN--P1AI", "xn--e1afmkfd.xn--p1ai"},
      {" 192.0.2.1. ", "192.0.2.1"},
      {"192.0.2.1", "192.0.2.1"},
      {" . ", ""},
      {"", ""},
  };
  for (const auto& [typed, form] : rows) EXPECT_EQ(RecentAddressForm(typed), form) << typed.toStdString();
}

TEST(RecentAddresses, OnlyAReportPageIsKept) {
  const std::vector<std::pair<int, bool>> rows = {{200, true}, {400, false}, {404, false}, {429, false},
                                                  {500, false}, {503, false}, {0, false}};
  for (const auto& [reply, kept] : rows) EXPECT_EQ(IsReportPage(reply), kept) << reply;
}

TEST(RecentAddresses, MostRecentFirstOneEntryPerAddressUpToTwenty) {
  TRecentAddresses list;
  for (int i = 0; i < 25; ++i) list.Add({QStringLiteral("host%1.example").arg(i), {i % 2 == 0, false, true, false, false}});
  list.Add({" HOST20.example. ", {false, true, false, false, false}});
  list.Add({"  ", {}});
  list.Add({".", {}});
  ASSERT_EQ(list.Entries().size(), TRecentAddresses::kMaxEntries);
  EXPECT_EQ(list.Addresses().first(), "host20.example");
  EXPECT_EQ(list.Addresses().count("host20.example"), 1);
  EXPECT_EQ(list.Addresses()[1], "host24.example");
  EXPECT_EQ(list.Addresses().last(), "host5.example");
  ASSERT_NE(list.Find("Host20.Example."), nullptr);
  EXPECT_TRUE(list.Find("host20.example")->Options.dom_dns);
  EXPECT_FALSE(list.Find("host20.example")->Options.traceroute);
  EXPECT_EQ(list.Find("host4.example"), nullptr);

  // A lookup with no report ticked comes first and keeps the entry's ticks;
  // a new address gets none.
  list.Add({"host22.example", {}});
  EXPECT_EQ(list.Addresses().first(), "host22.example");
  EXPECT_TRUE(list.Find("host22.example")->Options.dom_whois);
  EXPECT_TRUE(list.Find("host22.example")->Options.traceroute);
  list.Add({"new.example", {}});
  EXPECT_FALSE(list.Find("new.example")->Options.traceroute);

  list.Remove("HOST22.example.");
  EXPECT_EQ(list.Find("host22.example"), nullptr);
  EXPECT_EQ(list.Entries().size(), TRecentAddresses::kMaxEntries - 1);
}

TEST(RecentAddresses, KeptInTheConfigFileBesideOtherKeys) {
  QTemporaryDir folder;
  const QString path = folder.filePath("tarnwell.conf");
  {
    QSettings file(path, QSettings::IniFormat);
    file.setValue("HomeSite", "conf.example");
    TRecentAddresses list;
    list.Add({"пример.рф", {true, false, true, false, true}});
    list.Add({"192.0.2.1", {}});
    list.Save(file);
  }
  QSettings file(path, QSettings::IniFormat);
  TRecentAddresses read;
  read.Load(file);
  EXPECT_EQ(read.Addresses(), QStringList({"192.0.2.1", "пример.рф"}));
  const TLookupOptions& options = read.Find("пример.рф")->Options;
  EXPECT_TRUE(options.dom_whois && !options.dom_dns && options.traceroute && !options.net_whois && options.port_scan);
  const TLookupOptions& none = read.Find("192.0.2.1")->Options;
  EXPECT_FALSE(none.dom_whois || none.dom_dns || none.traceroute || none.net_whois || none.port_scan);
  EXPECT_EQ(file.value("HomeSite").toString(), "conf.example");

  // A file edited by hand: blank and repeated rows, unknown report names, too many rows.
  file.remove("RecentAddresses");
  file.beginWriteArray("RecentAddresses");
  const QStringList rows = {"", "a.example", "A.example.", " b.example "};
  for (int row = 0; row < 30; ++row) {
    file.setArrayIndex(row);
    file.setValue("Address", row < rows.size() ? rows[row] : QStringLiteral("c%1.example").arg(row));
    file.setValue("Reports", QStringList({"dom_dns", "everything"}));
  }
  file.endArray();
  read.Load(file);
  ASSERT_EQ(read.Entries().size(), TRecentAddresses::kMaxEntries);
  EXPECT_EQ(read.Addresses().mid(0, 3), QStringList({"a.example", "b.example", "c4.example"}));
  EXPECT_TRUE(read.Entries()[0].Options.dom_dns);
  EXPECT_FALSE(read.Entries()[0].Options.dom_whois);
  read.Clear();
  read.Save(file);
  TRecentAddresses cleared;
  cleared.Load(file);
  EXPECT_TRUE(cleared.Entries().empty());
}

TEST(ProxyPort, DigitsFromOneTo65535) {
  const std::vector<std::pair<QString, QValidator::State>> rows = {
      {"1", QValidator::Acceptable},       {"8080", QValidator::Acceptable},   {"65535", QValidator::Acceptable},
      {"", QValidator::Intermediate},      {"0", QValidator::Intermediate},    {"080", QValidator::Intermediate},
      {"65536", QValidator::Invalid},      {"99999", QValidator::Invalid},     {"123456", QValidator::Invalid},
      {"abc", QValidator::Invalid},        {"80a", QValidator::Invalid},       {" 80", QValidator::Invalid},
      {"-1", QValidator::Invalid},         {"+80", QValidator::Invalid},       {"$50", QValidator::Invalid},
      {"0x50", QValidator::Invalid},       {"٨٠", QValidator::Invalid},
  };
  for (const auto& [text, state] : rows) EXPECT_EQ(ProxyPortState(text), state) << text.toStdString();
  EXPECT_EQ(ProxyPortNumber("3128"), 3128);
  for (const QString text : {"", "0", "080", "abc", "70000"}) {
    try {
      ProxyPortNumber(text);
      ADD_FAILURE() << text.toStdString();
    } catch (const Exception& e) {
      EXPECT_EQ(FromWin1251(e.Message), "Укажите порт прокси сервера: число от 1 до 65535.");
    }
  }
}

TEST(LookupWait, Texts) {
  const std::vector<std::tuple<qint64, QString, QString>> rows = {
      {0, "Ожидание ответа: 0 с", "Готово за 0,0 с"},      {999, "Ожидание ответа: 0 с", "Готово за 1,0 с"},
      {1400, "Ожидание ответа: 1 с", "Готово за 1,4 с"},   {1449, "Ожидание ответа: 1 с", "Готово за 1,4 с"},
      {7000, "Ожидание ответа: 7 с", "Готово за 7,0 с"},   {16060, "Ожидание ответа: 16 с", "Готово за 16,1 с"},
      {1234567, "Ожидание ответа: 1234 с", "Готово за 1234,6 с"},
  };
  for (const auto& [ms, wait, done] : rows) {
    EXPECT_EQ(WaitText(ms), wait) << ms;
    EXPECT_EQ(DoneText(ms), done) << ms;
  }
}

}  // namespace
