// A printed result as the print preview lays it out: a full page of the
// service's five reports, whose raw texts run over many paper pages, is read
// back from the PDF (pdftotext) and every line of it must be there once and
// whole, wherever a page breaks.
#include "DisplayFixture.h"
#include "ShortPortServer.h"
#include "page/LookupPage.h"

#include <QApplication>
#include <QFile>
#include <QPageLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QWebEnginePage>

#include <chrono>

namespace {

// Each line ends in a mark that no other line contains, so finding it once
// finds that line and no neighbour of it.
std::string RawLines(const std::string& kind, int count, std::vector<std::string>& lines) {
  std::string raw;
  for (int n = 1; n <= count; ++n) {
    const std::string line =
        kind == "tcp" ? std::to_string(n) + "/tcp closed service-" + std::to_string(n) + " p" + std::to_string(n) + ".end"
                      : kind + " line " + std::to_string(n) + " " + kind + std::to_string(n) + ".end";
    lines.push_back(line);
    raw += line + "\n";
  }
  return raw;
}

std::string FullPage(std::vector<std::string>& lines) {
  std::vector<site::PageSection> sections;
  const std::pair<site::ReportKind, std::pair<const char*, int>> reports[] = {
      {site::ReportKind::DomainRecord, {"registry", 120}},
      {site::ReportKind::DnsRecords, {"dns", 40}},
      {site::ReportKind::RouteTrace, {"hop", 30}},
      {site::ReportKind::NetworkRecord, {"network", 90}},
      {site::ReportKind::PortScan, {"tcp", 400}},
  };
  for (const auto& [kind, raw] : reports) {
    site::ReportResult result;
    result.Summary = site::Table{{"Поле", "Значение"}, {{"строк", std::to_string(raw.second)}}};
    result.Raw = RawLines(raw.first, raw.second, lines);
    sections.push_back({kind, result});
  }
  const std::string page = site::LookupPage(site::Target{"example.test", "example.test", {}, {}, {}}, sections,
                                            std::chrono::system_clock::now(), 2 << 20);
  return "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" + page;
}

QWebEnginePage* EnginePage() {
  for (QWidget* widget : QApplication::allWidgets())
    if (widget->inherits("QWebEngineView"))
      for (QObject* child : widget->children())
        if (auto* page = qobject_cast<QWebEnginePage*>(child)) return page;
  return nullptr;
}

QString Simplified(QString text) { return text.replace(QRegularExpression("\\s+"), " "); }

// The preview's own printer lays the pages out; the view prints by making
// this very PDF and drawing its pages onto the printer as pictures, so the
// text is read from the PDF itself.
TEST_F(DisplayTest, PrintKeepsEveryLineOfEverySection) {
  std::vector<std::string> lines;
  ShortPortServer server({FullPage(lines)});
  UseProxy("127.0.0.1", QString::number(server.Port()));
  ClickOn(Form->Button1);
  ASSERT_TRUE(WaitForPageText("p400.end").contains("p400.end"));
  server.Join();

  QPageLayout layout;
  SetDialogRunner([&](QDialog& dialog) {
    layout = static_cast<QPrintPreviewDialog&>(dialog).printer()->pageLayout();
    return static_cast<int>(QDialog::Rejected);
  });
  Form->SpeedButton2Click();
  ASSERT_TRUE(layout.isValid());

  QWebEnginePage* page = EnginePage();
  ASSERT_NE(page, nullptr);
  const QString pdf = Folder.filePath("printed.pdf");
  bool printed = false;
  QObject::connect(page, &QWebEnginePage::pdfPrintingFinished, Form.get(), [&](const QString&, bool ok) { printed = ok; });
  page->printToPdf(pdf, layout);
  ASSERT_TRUE(QTest::qWaitFor([&] { return printed; }, 60000));

  QProcess pdftotext;
  pdftotext.start("pdftotext", {"-layout", pdf, "-"});
  ASSERT_TRUE(pdftotext.waitForFinished(60000));
  const QString text = Simplified(QString::fromUtf8(pdftotext.readAllStandardOutput()));
  ASSERT_TRUE(text.contains("example.test"));
  QStringList wrong;
  for (const std::string& line : lines) {
    const QString expected = QString::fromStdString(line);
    if (const qsizetype found = text.count(expected); found != 1) wrong << expected + " ×" + QString::number(found);
  }
  EXPECT_TRUE(wrong.isEmpty()) << wrong.join(" | ").toStdString();
  EXPECT_TRUE(Boxes.empty());
}

}  // namespace
