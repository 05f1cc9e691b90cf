// The window's plain functions: the service URL, the Windows-1251 crossing, the
// error box's caption and full stop, the result file and the link targets.
#include "Dialogs.h"
#include "Links.h"
#include "ResultFile.h"
#include "ServiceUrl.h"
#include "Toolkit.h"
#include "Win1251.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

TEST(ResultFile, DeletesTheHeaderFileWhateverItsCase) {
  QTemporaryDir dir;
  for (const char* name : {"Head.txt", "other.txt"}) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  DeleteFileNoCase(dir.path().toStdString(), "head.txt");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"other.txt"});
  DeleteFileNoCase(dir.path().toStdString(), "head.txt");
}

TEST(Links, FormsOfTheTargets) {
  const std::string home = std::string("http://") + TARNWELL_HOME_SITE;
  EXPECT_EQ(links::HomeSiteAddress(), home);
  EXPECT_EQ(links::HomePage(), home + "/?ii=1");
  EXPECT_EQ(links::DetailsPage("abc"), home + "/hosting/desc/abc.shtml");
  EXPECT_EQ(links::Redirector("http://p.example/?a=1&b=2", true), home + "/go.php?url=http://p.example/?a=1&b=2&f=program");
  EXPECT_EQ(links::Redirector("http://p.example/", false), home + "/go.php?url=http://p.example/");
}

}  // namespace
