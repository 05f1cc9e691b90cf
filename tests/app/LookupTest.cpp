// Whole lookups from the button to the HTML view, against a loopback server of
// the test that stands in for the proxy, so that the request's full URL can be
// read back. The home site's own name is never looked up.
#include "LoopbackPeer.h"
#include "ShortPortServer.h"
#include "WindowFixture.h"
#include "Win1251.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>

namespace {

const std::string kService = std::string("http://") + kTestHomeSite + "/whois/index.php?";
const std::string kAllTicked = "&dom_whois=true&dom_dns=true&traceroute=true&net_whois=true&port_scan=true";
const std::string kNoneTicked = "&dom_whois=&dom_dns=&traceroute=&net_whois=&port_scan=";

// A page in Windows-1251 that names no character set, long enough to arrive in
// several chunks, with a NUL byte before its end.
std::string Page(const QString& marker) {
  return "<html><head><title>lookup</title></head><body><p>" + ToWin1251(marker) + "</p><pre>" +
         std::string(150000, 'x') + std::string(1, '\0') + "</pre><p>end</p></body></html>";
}

std::string Reply(const std::string& status, const std::string& body) {
  return "HTTP/1.0 " + status + "\r\nContent-Type: text/html\r\n\r\n" + body;
}

std::string RequestLine(const std::string& request) { return request.substr(0, request.find("\r\n")); }

std::string ReadFile(const std::string& path) {
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string("<missing>");
}

// The texts of one pass: connected, rising byte counts up to the whole body,
// perhaps one early disconnect, the result text, and the disconnect.
void ExpectPassStatuses(QStringList statuses, size_t bodySize, const QString& result) {
  ASSERT_GE(statuses.size(), 4) << statuses.join(" | ").toStdString();
  EXPECT_EQ(statuses.takeFirst(), "Соединение установлено");
  EXPECT_EQ(statuses.takeLast(), "Соединение разорвано");
  EXPECT_EQ(statuses.takeLast(), result);
  if (statuses.last() == "Соединение разорвано") statuses.removeLast();
  long last = -1;
  for (const QString& text : statuses) {
    ASSERT_TRUE(text.endsWith(" байт получено")) << text.toStdString();
    const long count = text.section(' ', 0, 0).toLong();
    EXPECT_GT(count, last);
    last = count;
  }
  EXPECT_EQ(last, static_cast<long>(bodySize));
}

TEST_F(WindowTest, LookupThroughProxyShowsThePage) {
  const std::string page = Page(QStringLiteral("Первый ответ"));
  ShortPortServer server({Reply("200 OK", page)});
  UseProxy("127.0.0.1", QString::number(server.Port()));
  Form->ipaddress->setText("example.com");
  Click(Form->Button1);
  server.Join();

  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(RequestLine(server.Requests()[0]), "GET " + kService + "addr=example.com" + kAllTicked + " HTTP/1.0");
  EXPECT_TRUE(Boxes.empty());
  ExpectPassStatuses(Statuses, page.size(), "Transaction Completed");
  EXPECT_EQ(Form->PageControl1->currentIndex(), 1);
  EXPECT_EQ(ReadFile(ResultFile()), page);
  EXPECT_TRUE(Form->SpeedButton1->isEnabled());
  EXPECT_TRUE(Form->SpeedButton2->isEnabled());
  EXPECT_FALSE(QFile::exists(Folder.filePath("cache/tarnwell/Head.txt")));
  EXPECT_TRUE(WaitForPageText("Первый ответ").contains("Первый ответ"));
  // The socket's last word is not the only one on the outcome, and the page
  // the lookup ends on says it too.
  EXPECT_TRUE(QRegularExpression("^Готово за \\d+,\\d с$").match(Form->LookupWait->Text()).hasMatch())
      << Form->LookupWait->Text().toStdString();
  EXPECT_EQ(Form->Label48->text(), Form->LookupWait->Text());
  EXPECT_GE(Form->Label48->width(), Form->Label48->fontMetrics().horizontalAdvance(Form->Label48->text()));
  EXPECT_FALSE(Form->Label49->isVisibleTo(Form->TabSheet2));

  // Save starts in the documents folder with the address and the day.
  const QString documents = Folder.filePath("Документы");
  ASSERT_TRUE(QDir().mkpath(documents));
  QFile dirs(Folder.filePath("config/user-dirs.dirs"));
  ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
  dirs.write("XDG_DOCUMENTS_DIR=\"" + documents.toUtf8() + "\"\n");
  dirs.close();
  QString offered;
  SetDialogRunner([&](QDialog& dialog) {
    offered = static_cast<QFileDialog&>(dialog).selectedFiles().value(0);
    return static_cast<int>(QDialog::Rejected);
  });
  Click(Form->SpeedButton1);
  EXPECT_EQ(offered, documents + "/example.com-" + QDate::currentDate().toString(Qt::ISODate) + ".html");
}

// The press comes before the browser engine has started, which the window
// leaves until it is on screen; the page still arrives, and the window keeps
// its native window through the view's first showing.
TEST_F(WindowTest, FirstLookupBeforeTheEngineStartsKeepsTheWindow) {
  ASSERT_FALSE(Form->WebBrowser1->Started());
  const WId id = Form->winId();
  const QWindow* handle = Form->windowHandle();
  ShortPortServer server({Reply("200 OK", Page(QStringLiteral("Ранний ответ")))});
  UseProxy("127.0.0.1", QString::number(server.Port()));
  Click(Form->Button1);
  server.Join();
  EXPECT_TRUE(WaitForPageText("Ранний ответ").contains("Ранний ответ"));
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(Form->winId(), id);
  EXPECT_EQ(Form->windowHandle(), handle);
  // The page is on screen: the view's area is shown, and on a window system
  // the view's own native window inside the window is exposed.
  const QWidget* area = Form->WebBrowser1->findChild<QWidget*>();
  ASSERT_NE(area, nullptr);
  EXPECT_TRUE(area->isVisible());
  if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          const QList<QWindow*> windows = QGuiApplication::allWindows();
          return std::any_of(windows.begin(), windows.end(),
                             [&](const QWindow* w) { return w->parent() == handle && w->isExposed(); });
        },
        5000));
  }
}

// The folder the program was started from is the user's, or one nobody may
// write (a launcher may start it in "/"): a lookup neither writes nor deletes
// anything there, whatever its files are called.
TEST_F(WindowTest, LookupLeavesTheWorkingFolderAlone) {
  ShortPortServer server({Reply("200 OK", Page(QStringLiteral("Ответ 1"))), Reply("200 OK", Page(QStringLiteral("Ответ 2")))});
  UseProxy("127.0.0.1", QString::number(server.Port()));
  const QString work = Folder.filePath("work");
  ASSERT_TRUE(QDir().mkpath(work));
  QFile own(work + "/HEAD.TXT");
  ASSERT_TRUE(own.open(QIODevice::WriteOnly));
  own.write("the user's own");
  own.close();
  QDir::setCurrent(work);
  Click(Form->Button1);
  EXPECT_TRUE(WaitForPageText("Ответ 1").contains("Ответ 1"));
  EXPECT_EQ(QDir(work).entryList(QDir::Files | QDir::Hidden), QStringList{"HEAD.TXT"});
  EXPECT_EQ(ReadFile((work + "/HEAD.TXT").toStdString()), "the user's own");

  // Even root may create no file in /proc.
  QDir::setCurrent("/proc");
  Click(Form->Button1);
  server.Join();
  EXPECT_TRUE(WaitForPageText("Ответ 2").contains("Ответ 2"));
  EXPECT_TRUE(Boxes.empty()) << (Boxes.empty() ? "" : Boxes[0].Text.toStdString());
  EXPECT_FALSE(QFile::exists(Folder.filePath("cache/tarnwell/Head.txt")));
}

TEST_F(WindowTest, UrlCarriesTheSixFieldsInOrder) {
  struct Case {
    QString address;
    bool ticked;
    // As the request line carries it: the window's Windows-1251 bytes, with
    // blanks and bytes above 127 escaped by the client.
    std::string query;
  };
  const std::vector<Case> cases = {
      {"example.com", false, "addr=example.com" + kNoneTicked},
      {" a&b=c ", true, "addr=%20a&b=c%20" + kAllTicked},
      {"", true, "addr=" + kAllTicked},
      {"пример.рф", false, "addr=%EF%F0%E8%EC%E5%F0.%F0%F4" + kNoneTicked},
      {"日本", true, "addr=??" + kAllTicked},
  };
  std::vector<std::string> replies;
  for (size_t i = 0; i < cases.size(); ++i) replies.push_back(Reply("200 OK", Page(QStringLiteral("Ответ %1").arg(i))));
  ShortPortServer server(replies);
  UseProxy("127.0.0.1", QString::number(server.Port()));

  for (size_t i = 0; i < cases.size(); ++i) {
    for (QCheckBox* box : {Form->dom_whois, Form->dom_dns, Form->traceroute, Form->net_whois, Form->port_scan})
      box->setChecked(cases[i].ticked);
    Form->ipaddress->setText(cases[i].address);
    Click(Form->Button1);
    // Every lookup shows its own page, although the file keeps its name.
    const QString marker = QStringLiteral("Ответ %1").arg(i);
    EXPECT_TRUE(WaitForPageText(marker).contains(marker)) << i;
  }
  server.Join();
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(RequestLine(requests[i]), "GET " + kService + cases[i].query + " HTTP/1.0") << i;
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(WindowTest, NotFoundReplyIsStillShown) {
  const std::string page = "<html><body><h1>" + ToWin1251(QStringLiteral("Нет такой страницы")) + "</h1></body></html>";
  ShortPortServer server({Reply("404 Not Found", page)});
  // A proxy given by name is looked up first.
  UseProxy("localhost", QString::number(server.Port()));
  Click(Form->Button1);
  server.Join();

  ASSERT_FALSE(Statuses.isEmpty());
  EXPECT_EQ(Statuses.takeFirst(), "Сервер найден");
  ExpectPassStatuses(Statuses, page.size(), "HTTP GET Failed");
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(ReadFile(ResultFile()), page);
  EXPECT_TRUE(Form->SpeedButton1->isEnabled());
  EXPECT_TRUE(WaitForPageText("Нет такой страницы").contains("Нет такой страницы"));
}

// Through a proxy the first box names it; straight to the home site it is as it was.
TEST_F(WindowTest, FailedConnectionShowsTwoBoxes) {
  const QString port = QString::number(ClosedPort());
  UseProxy("127.0.0.1", port);
  Click(Form->Button1);

  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].Icon, QMessageBox::NoIcon);
  EXPECT_EQ(Boxes[0].Text, "Не удалость установить соединение с прокси сервером 127.0.0.1:" + port);
  EXPECT_EQ(Boxes[0].Caption, ApplicationTitle());
  EXPECT_EQ(Boxes[1].Icon, QMessageBox::Critical);
  EXPECT_FALSE(Boxes[1].Text.isEmpty());
  EXPECT_EQ(Boxes[1].Caption, ApplicationTitle());
  EXPECT_EQ(Form->PageControl1->currentIndex(), 0);
  EXPECT_FALSE(Form->SpeedButton1->isEnabled());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(ResultFile())));

  Boxes.clear();
  Form->UseHomeSite("127.0.0.1:" + port.toStdString());
  Click(Form->Button1);
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].Text, "Не удалость установить соединение");
}

TEST_F(WindowTest, NoNetworkWhenFirstAddressIsUnset) {
  Winsock.Answers = {"0.0.0.0"};
  Click(Form->Button1);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Icon, QMessageBox::Warning);
  EXPECT_EQ(Boxes[0].Caption, "Ошибка");
  EXPECT_EQ(Boxes[0].Text, "Отсутствует подключение к интернету");
  EXPECT_EQ(Winsock.Queries, 1);
  EXPECT_EQ(Form->HttpClient1->ReportLevel, 0);
  EXPECT_EQ(Form->PageControl1->currentIndex(), 0);
}

TEST_F(WindowTest, NoNetworkWhenSecondQueryGivesLoopback) {
  Winsock.Answers = {"192.0.2.7", "127.0.0.1"};
  Click(Form->Button1);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, "Отсутствует подключение к интернету");
  EXPECT_EQ(Winsock.Queries, 2);
  EXPECT_EQ(Form->HttpClient1->ReportLevel, 0);
}

// The port field takes digits from 1 to 65535 as one types; a port still
// missing at the press is said in Russian, before any request.
TEST_F(WindowTest, ProxyPortTakesOnlyAPortNumber) {
  Form->HttpClient1->ProxyPort = 3128;
  UseProxy("127.0.0.1", "");
  const std::vector<std::pair<QString, QString>> typed = {
      {"abc", ""}, {"8a0", "80"}, {"-1", "1"}, {"70000", "7000"}, {"65535", "65535"}, {"655361", "65531"},
  };
  for (const auto& [keys, kept] : typed) {
    Form->Proxy_port->clear();
    QTest::keyClicks(Form->Proxy_port, keys);
    EXPECT_EQ(Form->Proxy_port->text(), kept) << keys.toStdString();
  }
  Form->Proxy_port->clear();
  Click(Form->Button1);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Icon, QMessageBox::Critical);
  EXPECT_EQ(Boxes[0].Text, "Укажите порт прокси сервера: число от 1 до 65535.");
  EXPECT_EQ(Form->HttpClient1->ReportLevel, 2);
  EXPECT_EQ(Form->HttpClient1->Proxy, "127.0.0.1");
  EXPECT_EQ(Form->HttpClient1->ProxyPort, 3128);
  EXPECT_EQ(Form->PageControl1->currentIndex(), 0);
}

TEST_F(WindowTest, SecondPressDuringALookupDoesNothing) {
  ShortPortServer server({Reply("200 OK", Page(QStringLiteral("Один ответ")))});
  UseProxy("127.0.0.1", QString::number(server.Port()));
  // A second lookup would wait for a reply that never comes: let it end.
  Form->HttpClient1->TimeOut = 5000;
  int pressed = 0;
  QObject::connect(Form->StatusBar1, &QStatusBar::messageChanged, Form.get(), [&](const QString& text) {
    if (text == "Соединение установлено" && pressed++ == 0) Click(Form->Button1);
  });
  Click(Form->Button1);
  server.Join();
  EXPECT_EQ(pressed, 1);
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_TRUE(Boxes.empty());
  EXPECT_TRUE(Form->SpeedButton1->isEnabled());
}

// A home site that takes the request and never answers, with no time-out:
// only the close can end the lookup.
TEST_F(WindowTest, CloseDuringAStalledLookupCancelsItAndCloses) {
  TLoopbackPeer stalled([](TLoopbackPeer& p) {
    p.ReceiveUntil("\r\n\r\n");
    p.WaitForClose();
  });
  Form->UseHomeSite("127.0.0.1:" + std::to_string(stalled.Port()));
  QObject::connect(Form->StatusBar1, &QStatusBar::messageChanged, Form.get(), [&](const QString& text) {
    if (text == "Соединение установлено") QTimer::singleShot(50, Form.get(), [&] { Form->close(); });
  });
  Click(Form->Button1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Form->isVisible(); }, 10000));
  stalled.Join();
  EXPECT_TRUE(Boxes.empty()) << (Boxes.empty() ? "" : Boxes[0].Text.toStdString());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(ResultFile())));
  EXPECT_EQ(Form->PageControl1->currentIndex(), 0);
}

// The addresses the service answered with a report come back as the field's
// list, most recent first and in one form, in the next window too; choosing
// one restores its ticks; Delete forgets the highlighted one; the list can be
// cleared from the field's menu.
TEST_F(WindowTest, RecentAddressesAreOfferedAndRestoreTheirTicks) {
  const QString longName = QString(60, 'a') + ".long-name.example";
  ShortPortServer server({Reply("200 OK", Page("1")), Reply("400 Bad Request", Page("2")), Reply("200 OK", Page("3")),
                          Reply("200 OK", Page("4")), Reply("200 OK", Page("5"))});
  UseProxy("127.0.0.1", QString::number(server.Port()));
  const std::vector<std::pair<QString, TLookupOptions>> lookups = {
      {"example.org", {true, false, false, false, true}},
      {"not a domain!!", {false, true, false, false, false}},
      {longName, {true, true, true, true, true}},
      {"  EXAMPLE.NET.  ", {true, true, true, true, true}},
      // None ticked: the entry keeps its ticks.
      {"Example.org.", {false, false, false, false, false}},
  };
  for (const auto& [address, options] : lookups) {
    Form->ipaddress->setText(address);
    Form->dom_whois->setChecked(options.dom_whois);
    Form->dom_dns->setChecked(options.dom_dns);
    Form->traceroute->setChecked(options.traceroute);
    Form->net_whois->setChecked(options.net_whois);
    Form->port_scan->setChecked(options.port_scan);
    Click(Form->Button1);
  }
  server.Join();
  ASSERT_TRUE(Boxes.empty());

  // The next start: the most recent address, the whole list on Down, as wide
  // as its longest address.
  Form = std::make_unique<TForm1>();
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  EXPECT_EQ(Form->ipaddress->text(), "example.org");
  for (QCheckBox* box : {Form->dom_whois, Form->dom_dns, Form->traceroute, Form->net_whois, Form->port_scan})
    EXPECT_TRUE(box->isChecked());
  QCompleter* completer = Form->ipaddress->completer();
  ASSERT_NE(completer, nullptr);
  Form->ipaddress->setFocus();
  QTest::keyClick(Form->ipaddress, Qt::Key_Down);
  QAbstractItemView* popup = completer->popup();
  ASSERT_TRUE(QTest::qWaitFor([&] { return popup->isVisible(); }, 5000));
  QStringList offered;
  for (int row = 0; row < completer->completionCount(); ++row) {
    completer->setCurrentRow(row);
    offered << completer->currentCompletion();
  }
  EXPECT_EQ(offered, QStringList({"example.org", "example.net", longName}));
  EXPECT_GT(popup->viewport()->width(), popup->fontMetrics().horizontalAdvance(longName));

  // Delete on the highlighted row forgets that address alone, for good.
  popup->setCurrentIndex(popup->model()->index(1, 0));
  ASSERT_EQ(popup->currentIndex().data().toString(), "example.net");
  QTest::keyClick(popup, Qt::Key_Delete);
  EXPECT_EQ(Form->AddressHistory->List().Addresses(), QStringList({"example.org", longName}));
  EXPECT_TRUE(popup->isVisible());
  EXPECT_EQ(popup->model()->rowCount(), 2);
  QTest::keyClick(popup, Qt::Key_Escape);
  Form = std::make_unique<TForm1>();
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  EXPECT_EQ(Form->AddressHistory->List().Addresses(), QStringList({"example.org", longName}));
  completer = Form->ipaddress->completer();
  Form->ipaddress->setFocus();

  // Typing narrows the list; choosing restores the ticks of that lookup.
  Form->ipaddress->clear();
  QTest::keyClicks(Form->ipaddress, "EXAMPLE.O");
  ASSERT_TRUE(QTest::qWaitFor([&] { return completer->popup()->isVisible(); }, 5000));
  ASSERT_EQ(completer->completionCount(), 1);
  QTest::keyClick(completer->popup(), Qt::Key_Down);
  QTest::keyClick(completer->popup(), Qt::Key_Return);
  EXPECT_EQ(Form->ipaddress->text(), "example.org");
  EXPECT_TRUE(Form->dom_whois->isChecked());
  EXPECT_FALSE(Form->dom_dns->isChecked());
  EXPECT_FALSE(Form->traceroute->isChecked());
  EXPECT_FALSE(Form->net_whois->isChecked());
  EXPECT_TRUE(Form->port_scan->isChecked());

  // Cleared from the field's own menu, for good.
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), Form->ipaddress->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(Form->ipaddress, &event);
  QMenu* menu = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, 5000));
  QAction* clear = nullptr;
  for (QAction* action : menu->actions())
    if (action->text() == "Очистить список адресов") clear = action;
  ASSERT_NE(clear, nullptr);
  clear->trigger();
  menu->close();
  EXPECT_TRUE(Form->AddressHistory->List().Entries().empty());
  Form = std::make_unique<TForm1>();
  EXPECT_EQ(Form->ipaddress->text(), "example.com");
  EXPECT_TRUE(Form->AddressHistory->List().Entries().empty());
}

// The view refuses a page larger than it takes: the lookup ends with the error
// box, and what the command would do after showing the page is not done.
TEST_F(WindowTest, PageTheViewCannotShowLeavesButtonsAndHeaderFile) {
  const std::string page = Page(QStringLiteral("Слишком большой ответ"));
  ShortPortServer server({Reply("200 OK", page)});
  UseProxy("127.0.0.1", QString::number(server.Port()));
  Form->WebBrowser1->MaxPageSize = static_cast<qint64>(page.size()) - 1;
  Click(Form->Button1);
  server.Join();

  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Icon, QMessageBox::Critical);
  EXPECT_TRUE(Boxes[0].Text.startsWith("Cannot show file " + QString::fromStdString(ResultFile()))) << Boxes[0].Text.toStdString();
  EXPECT_EQ(ReadFile(ResultFile()), page);
  EXPECT_FALSE(Form->SpeedButton1->isEnabled());
  EXPECT_FALSE(Form->SpeedButton2->isEnabled());
  EXPECT_TRUE(QFile::exists(Folder.filePath("cache/tarnwell/Head.txt")));
}

}  // namespace
