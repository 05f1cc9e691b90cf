// The window with its own lookup service: started for it, waited for, reached
// past the proxy, refused clearly when it cannot start, stopped with the
// window. A stand-in program keeps the service's start-up contract; the real
// service answers a whole lookup with its resolver on a private unbound.
#include "LoopbackPeer.h"
#include "UnboundServer.h"
#include "WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Whether something on 127.0.0.1 accepts connections on the port.
bool Listening(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

class EmbeddedSiteTest : public WindowTest {
protected:
  void TearDown() override {
    qunsetenv("STANDIN_SITE_MODE");
    qunsetenv("TARNWELL_SITE_CONFIG");
    WindowTest::TearDown();
  }
};

// A press while the service is still starting waits for it; the proxy box is
// ticked with a proxy that does not exist, and the service is reached directly.
TEST_F(EmbeddedSiteTest, LookupWaitsForTheServiceAndGoesPastTheProxy) {
  UseProxy("127.0.0.1", QString::number(ClosedPort()));
  Form->ipaddress->setText("example.com");
  Form->UseEmbeddedSite(STANDIN_SITE);
  EXPECT_EQ(Form->StatusBar1->currentMessage(), "Запуск службы поиска...");
  Click(Form->Button1);

  EXPECT_TRUE(Boxes.empty()) << (Boxes.empty() ? "" : Boxes[0].Text.toStdString());
  const QString text = WaitForPageText("Stand-in service");
  EXPECT_TRUE(text.contains("GET /whois/index.php?addr=example.com&dom_whois=true&dom_dns=true&traceroute=true"
                            "&net_whois=true&port_scan=true HTTP/1.0"))
      << text.toStdString();
  EXPECT_TRUE(text.contains("started with: --listen 127.0.0.1:0 --allow-lan")) << text.toStdString();
  const std::string home = Form->Label8->text().toStdString();
  ASSERT_TRUE(home.starts_with("http://127.0.0.1:")) << home;
  EXPECT_EQ(Form->Label13->text().toStdString(), home);
  Opened.clear();
  Form->PageControl1->setCurrentWidget(Form->Label8->parentWidget());
  Click(Form->Label8);
  EXPECT_EQ(Opened, std::vector<std::string>{home + "/?ii=1"});

  // The service goes with the window.
  const uint16_t port = static_cast<uint16_t>(std::stoi(home.substr(home.rfind(':') + 1)));
  EXPECT_TRUE(Listening(port));
  Form.reset();
  EXPECT_FALSE(Listening(port));
}

TEST_F(EmbeddedSiteTest, ServiceThatCannotStartGetsAClearBox) {
  struct Case {
    const char* mode;
    QString program;
  };
  const std::vector<Case> cases = {
      {"exit", STANDIN_SITE},
      {"garbled", STANDIN_SITE},
      {"", QDir(Folder.path()).filePath("no-such-tarnwell-site")},
  };
  for (const Case& c : cases) {
    qputenv("STANDIN_SITE_MODE", c.mode);
    Form = std::make_unique<TForm1>();
    Form->show();
    Boxes.clear();
    Form->UseEmbeddedSite(c.program);
    Click(Form->Button1);
    ASSERT_EQ(Boxes.size(), 1u) << c.mode;
    EXPECT_EQ(Boxes[0].Icon, QMessageBox::Warning);
    EXPECT_EQ(Boxes[0].Caption, "Ошибка");
    EXPECT_TRUE(Boxes[0].Text.contains("tarnwell-site")) << Boxes[0].Text.toStdString();
    EXPECT_EQ(Form->StatusBar1->currentMessage(), "Служба поиска не запустилась") << c.mode;
    EXPECT_EQ(Form->HttpClient1->ReportLevel, 0) << c.mode;
    EXPECT_EQ(Form->PageControl1->currentIndex(), 0) << c.mode;
  }
}

// Every report ticked, and each stays on the machine: the DNS records come from
// the private unbound, the registries are loopback ports where nothing
// listens, and the name resolves to loopback, which the embedded service
// refuses to trace or scan. Each section is there with its own outcome.
TEST_F(EmbeddedSiteTest, RealServiceAnswersEveryReport) {
  UnboundServer dns;
  std::string error;
  ASSERT_TRUE(dns.Start(&error)) << error;
  QFile config(Folder.filePath("site.conf"));
  ASSERT_TRUE(config.open(QIODevice::WriteOnly));
  config.write(QByteArray("resolver = ") + dns.Address().c_str() +
               "\nwhois-root = 127.0.0.1:1\nrdap-bootstrap = https://127.0.0.1:1/\n");
  config.close();
  qputenv("TARNWELL_SITE_CONFIG", config.fileName().toUtf8());
  Form->UseEmbeddedSite(TARNWELL_SITE_PROGRAM);
  Form->ipaddress->setText("loopback.example.test");
  Click(Form->Button1);

  EXPECT_TRUE(Boxes.empty()) << (Boxes.empty() ? "" : Boxes[0].Text.toStdString());
  const QString text = WaitForPageText("Сканирование портов");
  qsizetype last = -1;
  for (const char* section : {"Информация о домене", "DNS записи", "Трассировка", "Информация о сети", "Сканирование портов"}) {
    const qsizetype at = text.indexOf(QString::fromUtf8(section));
    EXPECT_GT(at, last) << section << " missing or out of the window's order\n" << text.toStdString();
    last = std::max(last, at);
  }
  // The record as the private unbound holds it, in zone-file form.
  EXPECT_TRUE(text.contains(QRegularExpression(R"(loopback\.example\.test\.\s+3600\s+IN\s+A\s+127\.0\.0\.1)")))
      << text.toStdString();
}

}  // namespace
