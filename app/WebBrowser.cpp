#include "WebBrowser.h"

#include "Dialogs.h"
#include "Toolkit.h"
#include "Win1251.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <unistd.h>

namespace {

constexpr char kScheme[] = "tarnwell-result";
const QUrl kResultUrl(QStringLiteral("tarnwell-result:res.dat"));

// A print preview renders every page at this resolution; the printer's high
// resolution makes a preview of a few pages take seconds.
constexpr int kPrintDpi = 300;

}  // namespace

void TResultSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  // An exception leaving this function would abort the whole program.
  try {
    if (job->requestUrl() != kResultUrl) return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    auto* body = new QBuffer(job);
    body->setData(FPage);
    job->reply("text/html", body);
  } catch (...) {
    job->fail(QWebEngineUrlRequestJob::RequestFailed);
  }
}

void TWebBrowser::PrepareEngine() {
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  // The engine reports its whole set-up on every start; QT_LOGGING_RULES,
  // which takes precedence over these rules, brings it back.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\nqt.webenginecontext.debug=false"));
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // No flags: a scheme flagged local would let page scripts read local files.
  QWebEngineUrlScheme::registerScheme(QWebEngineUrlScheme(kScheme));
}

TWebBrowser::TWebBrowser(QWidget* parent) : QWebEngineView(parent) {}

void TWebBrowser::Start() {
  if (Started()) return;
  FProfile = new QWebEngineProfile(this);
  FScheme = new TResultSchemeHandler(this);
  FProfile->setHttpCacheType(QWebEngineProfile::NoCache);
  FProfile->installUrlSchemeHandler(kScheme, FScheme);
  QWebEngineSettings* settings = FProfile->settings();
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  settings->setDefaultTextEncoding(QStringLiteral("windows-1251"));
  connect(FProfile, &QWebEngineProfile::downloadRequested, this, [](QWebEngineDownloadRequest* download) {
    connect(download, &QWebEngineDownloadRequest::stateChanged, download, [download](auto state) {
      if (state == QWebEngineDownloadRequest::DownloadInterrupted)
        ShowErrorBox(ToWin1251(download->interruptReasonString()));
    });
  });
  FPage = new QWebEnginePage(FProfile, this);
  setPage(FPage);
}

TWebBrowser::~TWebBrowser() {
  // The page has to go before its profile, which is an older child.
  delete FPage;
}

void TWebBrowser::Navigate(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) throw EFOpenError(path);
  const QByteArray page = file.read(MaxPageSize + 1);
  if (page.size() > MaxPageSize)
    throw Exception("Cannot show file " + path + ": it is larger than " + std::to_string(MaxPageSize) + " bytes");
  Start();
  FScheme->SetPage(page);
  load(kResultUrl);
}

void TWebBrowser::SaveAs() {
  QFileDialog dialog(window());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters({QStringLiteral("HTML (*.htm *.html)"),
                         QStringLiteral("MHTML (*.mht *.mhtml)")});
  if (RunDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  QString path = dialog.selectedFiles().constFirst();
  const QString suffix = QFileInfo(path).suffix().toLower();
  bool archive = suffix == QStringLiteral("mht") || suffix == QStringLiteral("mhtml");
  if (suffix.isEmpty()) {
    archive = dialog.selectedNameFilter().contains(QStringLiteral("*.mht"));
    path += archive ? QStringLiteral(".mht") : QStringLiteral(".htm");
  }
  // The single-file HTML format writes nothing for a page of a custom scheme.
  page()->save(path, archive ? QWebEngineDownloadRequest::MimeHtmlSaveFormat
                             : QWebEngineDownloadRequest::CompleteHtmlSaveFormat);
}

void TWebBrowser::PrintPreview() {
  QPrinter printer;
  printer.setResolution(kPrintDpi);
  QPrintPreviewDialog dialog(&printer, window());
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &TWebBrowser::PaintPreview);
  RunDialog(dialog);
}

void TWebBrowser::PaintPreview(QPrinter* printer) {
  // The preview wants its pages drawn before this returns; the view prints
  // asynchronously, so wait for it here.
  QEventLoop loop;
  bool finished = false;
  const auto connection = connect(this, &QWebEngineView::printFinished, &loop, [&] {
    finished = true;
    loop.quit();
  });
  print(printer);
  if (!finished) loop.exec();
  disconnect(connection);
}
