// The result page's view on the browser engine: the one file of the module
// tarnwell_view.so. It shows one page at a time through a scheme of its own:
// every navigation asks the handler, which answers with the page as
// "text/html", so the page is rendered as HTML whatever the file it came from
// was called. The scheme has no flags and local pages may not read file://
// URLs, so a page shown here cannot read local files.
#include "ResultView.h"

#include <QBuffer>
#include <QEventLoop>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <QWindow>
#include <memory>

namespace {

constexpr char kScheme[] = "tarnwell-result";
const QUrl kResultUrl(QStringLiteral("tarnwell-result:res.dat"));

class TResultSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void SetPage(const QByteArray& page) { FPage = page; }

  void requestStarted(QWebEngineUrlRequestJob* job) override {
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

private:
  QByteArray FPage;
};

class TEngineView : public TResultView {
public:
  explicit TEngineView(TResultViewEvents events) {
    FProfile->setHttpCacheType(QWebEngineProfile::NoCache);
    FProfile->installUrlSchemeHandler(kScheme, FScheme);
    QWebEngineSettings* settings = FProfile->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setDefaultTextEncoding(QStringLiteral("windows-1251"));
    QObject::connect(FProfile.get(), &QWebEngineProfile::downloadRequested, FProfile.get(),
                     [failed = events.OnSaveFailed](QWebEngineDownloadRequest* download) {
                       QObject::connect(download, &QWebEngineDownloadRequest::stateChanged, download,
                                        [download, failed](auto state) {
                                          if (state == QWebEngineDownloadRequest::DownloadInterrupted)
                                            failed(download->interruptReasonString());
                                        });
                     });
    FView.setPage(FPage);
    QObject::connect(FPage, &QWebEnginePage::loadingChanged, &FView,
                     [loaded = events.OnLoaded](const QWebEngineLoadingInfo& info) {
                       // The empty first page below is no result page.
                       if (info.url() != kResultUrl) return;
                       if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) loaded(true);
                       if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus) loaded(false);
                     });
    // The view draws through a Qt Quick widget that it makes with its first
    // page, and that needs a native window made for accelerated drawing; a
    // native window that learns this only later is destroyed and made anew,
    // from under the window's container. An empty first page makes that
    // widget before the native window is made.
    FView.setHtml(QString());
    FView.winId();
  }

  QWindow* Window() override { return FView.windowHandle(); }

  void Show(const QByteArray& page) override {
    FScheme->SetPage(page);
    FView.load(kResultUrl);
  }

  void Save(const QString& path, bool archive) override {
    // The single-file HTML format writes nothing for a page of a custom scheme.
    FPage->save(path, archive ? QWebEngineDownloadRequest::MimeHtmlSaveFormat
                              : QWebEngineDownloadRequest::CompleteHtmlSaveFormat);
  }

  void Print(QPrinter* printer) override {
    // The caller wants the pages drawn before this returns; the view prints
    // asynchronously, so wait for it here.
    QEventLoop loop;
    bool finished = false;
    const auto connection = QObject::connect(&FView, &QWebEngineView::printFinished, &loop, [&] {
      finished = true;
      loop.quit();
    });
    FView.print(printer);
    if (!finished) loop.exec();
    QObject::disconnect(connection);
  }

  void PageText(std::function<void(const QString&)> answer) override { FPage->toPlainText(std::move(answer)); }

private:
  // In this order, so that the view, and the page with it, go before the
  // profile they use.
  std::unique_ptr<QWebEngineProfile> FProfile = std::make_unique<QWebEngineProfile>();
  TResultSchemeHandler* FScheme = new TResultSchemeHandler(FProfile.get());
  QWebEngineView FView;
  QWebEnginePage* FPage = new QWebEnginePage(FProfile.get(), &FView);
};

}  // namespace

extern "C" Q_DECL_EXPORT TResultView* MakeResultView(TResultViewEvents events) {
  static const bool registered = [] {
    // No flags: a scheme flagged local would let page scripts read local files.
    QWebEngineUrlScheme::registerScheme(QWebEngineUrlScheme(kScheme));
    return true;
  }();
  (void)registered;
  return new TEngineView(std::move(events));
}
