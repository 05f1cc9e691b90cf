// The window without the network: its state at start, the proxy box, the
// failure texts, the link labels, the error box, the result view as a
// document, Save and print preview.
#include "Links.h"
#include "Toolkit.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QAbstractFileIconProvider>
#include <QFileInfo>
#include <QMenu>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <map>
#include <set>

namespace {

const std::string kHome = std::string("http://") + kTestHomeSite;

TEST_F(WindowTest, StartState) {
  EXPECT_EQ(Form->windowTitle(), "Tarnwell");
  EXPECT_EQ(Form->size(), QSize(612, 409));
  EXPECT_EQ(Form->minimumSize(), Form->maximumSize());
  EXPECT_FALSE(Form->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(Form->PageControl1->currentIndex(), 0);
  EXPECT_EQ(Form->focusWidget(), Form->ipaddress);
  EXPECT_TRUE(Form->StatusBar1->currentMessage().isEmpty());
  EXPECT_TRUE(Form->LookupWait->Text().isEmpty());
  // With no recent addresses, the definition's sample.
  EXPECT_EQ(Form->ipaddress->text(), "example.com");
  EXPECT_FALSE(Form->SpeedButton1->isEnabled());
  EXPECT_FALSE(Form->SpeedButton2->isEnabled());
  EXPECT_EQ(Form->SpeedButton1->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(Form->SpeedButton2->focusPolicy(), Qt::NoFocus);
  // The icon follows the window's first showing.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Form->windowIcon().pixmap(32, 32).isNull(); }, 5000));
  for (QCheckBox* box : {Form->dom_whois, Form->dom_dns, Form->traceroute, Form->net_whois, Form->port_scan})
    EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
  EXPECT_FALSE(Form->CheckBox1->isChecked());
  EXPECT_FALSE(Form->Proxy_name->isEnabled());
  EXPECT_FALSE(Form->Proxy_port->isEnabled());
  EXPECT_EQ(Form->Proxy_port->maxLength(), 5);
  EXPECT_FALSE(Form->Memo1->isVisible());
  EXPECT_EQ(Form->Memo1->Text(), "Memo1");
  EXPECT_FALSE(Form->Button1->isDefault() || Form->Button1->autoDefault());
  EXPECT_EQ(Form->HttpClient1->ReportLevel, 0);
  EXPECT_TRUE(Form->HttpClient1->OutputFileMode);
  EXPECT_FALSE(Form->HttpClient1->InputFileMode);
  EXPECT_EQ(Form->HttpClient1->TimeOut, 0);
  // Every page, once shown, has its labels sized to their text, so that a
  // link is clicked on its text alone.
  for (int page = 0; page < Form->PageControl1->count(); ++page) {
    Form->PageControl1->setCurrentIndex(page);
    for (QLabel* label : Form->PageControl1->currentWidget()->findChildren<QLabel*>()) {
      if (label == Form->Label10 || label->wordWrap() || label->text().isEmpty() || label->isHidden()) continue;
      EXPECT_EQ(label->size(), label->sizeHint()) << label->objectName().toStdString();
    }
  }
}

TEST_F(WindowTest, ProxyBoxClickedTwice) {
  Form->PageControl1->setCurrentIndex(4);
  const QColor off = Form->Proxy_name->palette().color(QPalette::Base);
  ClickCheckBox(Form->CheckBox1);
  ASSERT_TRUE(Form->CheckBox1->isChecked());
  EXPECT_TRUE(Form->Proxy_name->isEnabled());
  EXPECT_TRUE(Form->Proxy_port->isEnabled());
  const QColor on = Form->Proxy_name->palette().color(QPalette::Base);
  EXPECT_NE(on, off);
  EXPECT_EQ(Form->Proxy_port->palette().color(QPalette::Base), on);
  Form->Proxy_name->setText("proxy.example");
  Form->Proxy_port->setText("8080");

  ClickCheckBox(Form->CheckBox1);
  EXPECT_FALSE(Form->CheckBox1->isChecked());
  EXPECT_FALSE(Form->Proxy_name->isEnabled());
  EXPECT_FALSE(Form->Proxy_port->isEnabled());
  EXPECT_EQ(Form->Proxy_name->palette().color(QPalette::Base), off);
  EXPECT_EQ(Form->Proxy_port->palette().color(QPalette::Base), off);
  EXPECT_EQ(Form->Proxy_name->text(), "proxy.example");
  EXPECT_EQ(Form->Proxy_port->text(), "8080");
}

TEST_F(WindowTest, FailureTextByCommand) {
  const std::map<CmdType, QString> texts = {
      {cmdGet, "HTTP GET Failed"},     {cmdOptions, "HTTP OPTIONS Failed"}, {cmdHead, "HTTP HEAD Failed"},
      {cmdPost, "HTTP Post Failed"},   {cmdPut, "HTTP PUT Failed"},         {cmdDelete, "HTTP Delete Failed"},
      {cmdTrace, "HTTP TRACE Failed"},
  };
  for (int code = 0; code <= 11; ++code) {
    Form->StatusBar1->showMessage("before");
    Form->HttpClient1->Body = "page " + std::to_string(code);
    Form->HttpClient1Failure(static_cast<CmdType>(code));
    const auto row = texts.find(static_cast<CmdType>(code));
    EXPECT_EQ(Form->StatusBar1->currentMessage(), row == texts.end() ? "before" : row->second) << code;
    EXPECT_EQ(Form->Memo1->Text(), "page " + std::to_string(code));
  }
}

// Clicks a label and returns what it asked the desktop to open.
class LinkTest : public WindowTest {
protected:
  std::string Target(QLabel* label) {
    Opened.clear();
    Form->PageControl1->setCurrentWidget(label->parentWidget());
    Click(label);
    return Opened.size() == 1 ? Opened[0] : "<" + std::to_string(Opened.size()) + " targets>";
  }
};

TEST_F(LinkTest, FirstAndAboutPages) {
  EXPECT_EQ(Target(Form->Label5), kHome + "/click.php");
  EXPECT_EQ(Target(Form->Label8), kHome + "/?ii=1");
  EXPECT_EQ(Target(Form->Label13), kHome + "/?ii=1");
  EXPECT_EQ(Form->Label8->text().toStdString(), kHome);
  EXPECT_EQ(Form->Label13->text().toStdString(), kHome);
  const std::string shop = Target(Form->Label45);
  EXPECT_TRUE(shop.starts_with("http://") && shop.find(kTestHomeSite) == std::string::npos) << shop;
  const std::string mail = Target(Form->Label15);
  EXPECT_TRUE(mail.starts_with("mailto:")) << mail;
  EXPECT_NE(mail, "mailto:" + Form->Label15->text().toStdString());
  for (QLabel* plain : {Form->Label4, Form->Label6, Form->Label44, Form->Label3, Form->Label14})
    EXPECT_EQ(Target(plain), "<0 targets>") << plain->objectName().toStdString();
}

// A desktop with no program for the link: the real opener, with nothing it
// could start on the PATH, and the status line says so.
TEST_F(LinkTest, NoProgramForTheLinkIsSaid) {
  SetShellOpener({});
  const QByteArray path = qgetenv("PATH");
  const QByteArray browser = qgetenv("BROWSER");
  qputenv("PATH", Folder.path().toUtf8());
  qunsetenv("BROWSER");
  qunsetenv("DEFAULT_BROWSER");
  Target(Form->Label8);
  EXPECT_EQ(Form->StatusBar1->currentMessage(), "Не удалось открыть ссылку: в системе нет браузера");
  Target(Form->Label15);
  EXPECT_EQ(Form->StatusBar1->currentMessage(), "Не удалось открыть ссылку: в системе нет почтовой программы");
  qputenv("PATH", path);
  if (!browser.isEmpty()) qputenv("BROWSER", browser);
}

TEST_F(LinkTest, ProviderRows) {
  struct Row {
    QLabel *name, *details, *site;
    bool direct;
  };
  const Row rows[] = {
      {Form->Label16, Form->Label26, Form->Label27, false}, {Form->Label20, Form->Label31, Form->Label39, true},
      {Form->Label18, Form->Label29, Form->Label37, false}, {Form->Label19, Form->Label30, Form->Label38, false},
      {Form->Label21, Form->Label32, Form->Label40, true},   {Form->Label22, Form->Label33, Form->Label41, false},
      {Form->Label23, Form->Label34, Form->Label42, false},  {Form->Label24, Form->Label35, Form->Label43, false},
      {Form->Label17, Form->Label28, Form->Label36, false},
  };
  const QRegularExpression details("^" + QRegularExpression::escape(QString::fromStdString(kHome)) +
                                   "/hosting/desc/[a-z0-9-]+\\.shtml$");
  const std::string redirector = kHome + "/go.php?url=";
  std::set<std::string> seen;
  int top = 40;
  for (const Row& row : rows) {
    const std::string name = row.name->objectName().toStdString();
    EXPECT_EQ(row.name->y(), top) << name;
    top += 24;
    EXPECT_EQ(row.site->text(), "Перейти на сайт " + row.name->text()) << name;
    EXPECT_EQ(row.details->text(), "Подробнее...") << name;
    EXPECT_EQ(row.details->cursor().shape(), Qt::PointingHandCursor) << name;
    EXPECT_EQ(row.site->cursor().shape(), Qt::PointingHandCursor) << name;
    EXPECT_EQ(row.name->cursor().shape(), Qt::ArrowCursor) << name;

    const std::string page = Target(row.details);
    EXPECT_TRUE(details.match(QString::fromStdString(page)).hasMatch()) << page;
    EXPECT_TRUE(seen.insert(page).second) << page;
    const std::string site = Target(row.site);
    if (row.name == Form->Label16) {
      EXPECT_EQ(site, redirector + page + "&f=program");
      const std::string partner = Target(row.name);
      EXPECT_TRUE(partner.starts_with(redirector + "http://")) << partner;
      EXPECT_FALSE(partner.ends_with("&f=program")) << partner;
    } else if (row.direct) {
      EXPECT_TRUE(site.starts_with("http://") && site.find(kTestHomeSite) == std::string::npos) << site;
      EXPECT_EQ(Target(row.name), "<0 targets>");
    } else {
      EXPECT_TRUE(site.starts_with(redirector + "http://") && site.ends_with("&f=program")) << site;
      EXPECT_EQ(site.find(kTestHomeSite, redirector.size()), std::string::npos) << site;
      EXPECT_EQ(Target(row.name), "<0 targets>");
    }
  }
}

TEST_F(WindowTest, ExceptionsReachTheErrorBox) {
  QTimer::singleShot(0, Form.get(), [] { throw Exception("Raised in a slot"); });
  (void)QTest::qWaitFor([&] { return !Boxes.empty(); }, 5000);
  try {
    throw EConvertError("Raised in a timer tick");
  } catch (...) {
    HandleApplicationException(nullptr);
  }
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].Text, "Raised in a slot.");
  EXPECT_EQ(Boxes[0].Icon, QMessageBox::Critical);
  EXPECT_EQ(Boxes[0].Caption, ApplicationTitle());
  EXPECT_EQ(Boxes[1].Text, "Raised in a timer tick.");
  EXPECT_TRUE(Form->isVisible());
}

// A page of the test's own in the HTML view, as a lookup would leave it.
class ResultPageTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    QFile file(Folder.filePath("page.dat"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Page("SavedMarker"));
    file.close();
    Form->PageControl1->setCurrentIndex(1);
    Form->WebBrowser1->Navigate(file.fileName().toStdString());
    ASSERT_TRUE(WaitForPageText("SavedMarker").contains("SavedMarker"));
  }

  // Many screens high, with a marker at the top and a link to the web.
  static QByteArray Page(const QByteArray& marker) {
    QByteArray page = "<html><body><h1>" + marker + "</h1><a id=out href='http://link.example/x'>out</a>";
    for (int line = 0; line < 300; ++line) page += "<p>line " + QByteArray::number(line) + "</p>";
    return page + "</body></html>";
  }

  // The view's own widget and its page, as the engine's module made them.
  static QWidget* EngineView() {
    for (QWidget* widget : QApplication::allWidgets())
      if (widget->inherits("QWebEngineView")) return widget;
    return nullptr;
  }
  static double ScrollY() {
    QWidget* view = EngineView();
    for (QObject* child : view ? view->children() : QObjectList())
      if (child->inherits("QWebEnginePage")) return child->property("scrollPosition").toPointF().y();
    return -1;
  }
  // Presses a key where the keyboard focus is, as a user would.
  static void Press(int key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(QGuiApplication::focusWindow(), static_cast<Qt::Key>(key), modifiers);
  }
  static bool ViewHasFocus() {
    QWidget* view = EngineView();
    return view && QGuiApplication::focusWindow() == view->windowHandle() && view->window()->focusWidget();
  }
};

// The keys of a document reader work once a page is shown, without a click;
// the next page opens at its top, with the focus again.
TEST_F(ResultPageTest, KeysMoveThroughThePageAndTheNextOneStartsAtTheTop) {
  ASSERT_TRUE(QTest::qWaitFor(ViewHasFocus, 10000));
  EXPECT_EQ(ScrollY(), 0);
  Press(Qt::Key_PageDown);
  ASSERT_TRUE(QTest::qWaitFor([] { return ScrollY() > 0; }, 10000));
  const double page = ScrollY();
  Press(Qt::Key_End);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ScrollY() > 10 * page; }, 10000)) << ScrollY();
  Press(Qt::Key_Home);
  EXPECT_TRUE(QTest::qWaitFor([] { return ScrollY() == 0; }, 10000)) << ScrollY();
  Press(Qt::Key_Down);
  EXPECT_TRUE(QTest::qWaitFor([] { return ScrollY() > 0; }, 10000));
  QGuiApplication::clipboard()->clear();
  Press(Qt::Key_A, Qt::ControlModifier);
  Press(Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(QTest::qWaitFor([] { return QGuiApplication::clipboard()->text().contains("line 299"); }, 10000));
  EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("SavedMarker"));
  Press(Qt::Key_End);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ScrollY() > 10 * page; }, 10000));

  Form->ipaddress->setFocus();
  QFile file(Folder.filePath("second.dat"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(Page("SecondMarker"));
  file.close();
  Form->WebBrowser1->Navigate(file.fileName().toStdString());
  ASSERT_TRUE(WaitForPageText("SecondMarker").contains("SecondMarker"));
  EXPECT_TRUE(QTest::qWaitFor(ViewHasFocus, 10000));
  EXPECT_EQ(ScrollY(), 0);
  Press(Qt::Key_End);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ScrollY() > 10 * page; }, 10000));
}

// Ctrl+F finds in the shown page as one types; Enter and Shift+Enter move
// between matches, a text not in the page marks the field, Esc closes it.
TEST_F(ResultPageTest, FindMovesBetweenMatches) {
  ASSERT_TRUE(QTest::qWaitFor(ViewHasFocus, 10000));
  EXPECT_EQ(Form->WebBrowser1->findChild<QLineEdit*>(), nullptr);
  Press(Qt::Key_F, Qt::ControlModifier);
  QLineEdit* field = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    field = Form->WebBrowser1->findChild<QLineEdit*>();
    return field && field->isVisible() && field->hasFocus();
  }, 10000));
  const QColor plain = field->palette().color(QPalette::Base);
  // "line 25" is first found in "line 25", then in "line 250".
  QTest::keyClicks(field, "line 25");
  ASSERT_TRUE(QTest::qWaitFor([] { return ScrollY() > 0; }, 10000));
  const double first = ScrollY();
  QTest::keyClick(field, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ScrollY() > first; }, 10000)) << ScrollY();
  QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ScrollY() == first; }, 10000)) << ScrollY();
  EXPECT_EQ(field->palette().color(QPalette::Base), plain);

  QTest::keyClicks(field, "-none");
  EXPECT_TRUE(QTest::qWaitFor([&] { return field->palette().color(QPalette::Base) != plain; }, 10000));
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_FALSE(field->isVisible());
  EXPECT_TRUE(QTest::qWaitFor(ViewHasFocus, 10000));
}

// What the view's menu offers, in Russian; nothing in it, nor a link of the
// page, takes the view away from the result; its Save is the window's.
TEST_F(ResultPageTest, ContextMenuSuitsAReport) {
  ASSERT_TRUE(QTest::qWaitFor(ViewHasFocus, 10000));
  // A right click on the page, through the engine.
  QTest::mouseClick(QGuiApplication::focusWindow(), Qt::RightButton, {}, QPoint(200, 150));
  QMenu* menu = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, 5000));
  QStringList offered;
  QAction* save = nullptr;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    offered << action->text().remove('&');
    if (action->text().startsWith("Сохранить")) save = action;
  }
  EXPECT_EQ(offered, QStringList({"Копировать", "Выделить всё", "Сохранить...", "Предварительный просмотр..."}));
  ASSERT_NE(save, nullptr);
  QString accept;
  SetDialogRunner([&](QDialog& dialog) {
    accept = static_cast<QFileDialog&>(dialog).labelText(QFileDialog::Accept);
    return static_cast<int>(QDialog::Rejected);
  });
  save->trigger();
  menu->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !accept.isEmpty(); }, 5000));
  // The toolkit's own dialog speaks Russian too.
  EXPECT_EQ(accept.remove('&'), "Сохранить");

  // Following the page's link hands it to the desktop and keeps the page.
  Form->WebBrowser1->findChild<QWidget*>()->setFocus();
  ASSERT_TRUE(QTest::qWaitFor(ViewHasFocus, 10000));
  Press(Qt::Key_Tab);
  Press(Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Opened.size() == 1; }, 10000));
  EXPECT_EQ(Opened, std::vector<std::string>({"http://link.example/x"}));
  QTest::qWait(500);
  EXPECT_TRUE(WaitForPageText("SavedMarker").contains("line 299"));
}

TEST_F(ResultPageTest, SaveWritesTheShownPage) {
  const QString target = Folder.filePath("saved.mht");
  QString folderKind;
  SetDialogRunner([&](QDialog& dialog) {
    // What the dialog's «Тип» column says of a folder.
    folderKind = static_cast<QFileDialog&>(dialog).iconProvider()->type(QFileInfo(Folder.path()));
    static_cast<QFileDialog&>(dialog).selectFile(target);
    return static_cast<int>(QDialog::Accepted);
  });
  Form->SpeedButton1Click();
  (void)QTest::qWaitFor([&] { return QFileInfo(target).size() > 0; }, 30000);
  QFile saved(target);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_TRUE(saved.readAll().contains("SavedMarker"));
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(folderKind, "Папка");
}

TEST_F(ResultPageTest, PrintPreviewShowsThePages) {
  int pages = 0;
  SetDialogRunner([&](QDialog& dialog) {
    auto* preview = dialog.findChild<QPrintPreviewWidget*>();
    dialog.show();
    (void)QTest::qWaitFor([&] { return preview && preview->pageCount() > 0; }, 60000);
    pages = preview ? preview->pageCount() : 0;
    dialog.reject();
    return static_cast<int>(QDialog::Rejected);
  });
  Form->SpeedButton2Click();
  EXPECT_GE(pages, 1);
  EXPECT_TRUE(Boxes.empty());
}

}  // namespace
