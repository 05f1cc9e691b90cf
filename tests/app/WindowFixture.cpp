#include "WindowFixture.h"

#include <QDir>
#include <QStatusBar>
#include <QTest>
#include <arpa/inet.h>
#include <optional>

int TLocalAddressWinsock::GetInterfaceAddresses(std::vector<sock::TInterfaceAddress>& addresses) {
  const std::string& answer = Answers[std::min(static_cast<size_t>(Queries++), Answers.size() - 1)];
  if (answer == "0.0.0.0") return sock::SOCKET_ERROR;
  addresses = {{inet_addr("127.0.0.1"), true, true}};
  if (answer != "127.0.0.1") addresses.push_back({inet_addr(answer.c_str()), true, false});
  return 0;
}

void WindowTest::SetUp() {
  ASSERT_TRUE(Folder.isValid());
  FOldDir = QDir::currentPath();
  QDir::setCurrent(Folder.path());
  qputenv("XDG_CACHE_HOME", Folder.filePath("cache").toUtf8());
  // The recent addresses are the test's, never the user's.
  qputenv("XDG_CONFIG_HOME", Folder.filePath("config").toUtf8());
  sock::SetWinsock(&Winsock);
  SetMessageBoxHandler([this](const TMessageBoxRequest& box) { Boxes.push_back(box); });
  SetShellOpener([this](const std::string& target) {
    Opened.push_back(target);
    return true;
  });
  Form = std::make_unique<TForm1>();
  Form->UseHomeSite(kTestHomeSite);
  Form->show();
  QObject::connect(Form->StatusBar1, &QStatusBar::messageChanged, [this](const QString& text) {
    if (!text.isEmpty()) Statuses << text;
  });
}

void WindowTest::TearDown() {
  Form.reset();
  SetDialogRunner({});
  SetShellOpener({});
  SetMessageBoxHandler({});
  sock::SetWinsock(nullptr);
  QDir::setCurrent(FOldDir);
}

void WindowTest::Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

void WindowTest::ClickCheckBox(QWidget* box) {
  // The middle of a stretched check box is empty space; its indicator is at the left.
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

void WindowTest::UseProxy(const QString& host, const QString& port) {
  Form->PageControl1->setCurrentIndex(4);
  ClickCheckBox(Form->CheckBox1);
  ASSERT_TRUE(Form->CheckBox1->isChecked());
  Form->Proxy_name->setText(host);
  Form->Proxy_port->setText(port);
  Form->PageControl1->setCurrentIndex(0);
}

std::string WindowTest::ResultFile() const { return Folder.filePath("cache/tarnwell/res.dat").toStdString(); }

QString WindowTest::WaitForPageText(const QString& expected) {
  QString text;
  (void)QTest::qWaitFor(
      [&] {
        // Shared, because an answer may come after this pass has given up on it.
        auto answer = std::make_shared<std::optional<QString>>();
        Form->WebBrowser1->PageText([answer](const QString& t) { *answer = t; });
        (void)QTest::qWaitFor([&] { return answer->has_value(); }, 5000);
        if (answer->has_value()) text = **answer;
        return text.contains(expected);
      },
      30000);
  return text;
}
