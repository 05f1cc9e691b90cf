// The result page's view on the browser engine: the one file of the module
// tarnwell_view.so. It shows one page at a time through a scheme of its own:
// every navigation asks the handler, which answers with the page as
// "text/html", so the page is rendered as HTML whatever the file it came from
// was called. The scheme has no flags and local pages may not read file://
// URLs, so a page shown here cannot read local files.
//
// The view behaves as a document, not as a browser: it never navigates away
// from the page it was given (no history, links go to the desktop) and its
// context menu holds only what suits a report.
#include "ResultView.h"

#include <QAction>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QMenu>
#include <QWebEngineHistory>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFindTextResult>
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

// Each page has an address of its own: the engine treats a load of the
// address it shows as a reload, which keeps the old page's scroll position.
QUrl ResultUrl(int number) { return QUrl(QStringLiteral("tarnwell-result:res.dat?%1").arg(number)); }

class TResultSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void SetPage(const QUrl& url, const QByteArray& page) {
    FUrl = url;
    FPage = page;
  }

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    // An exception leaving this function would abort the whole program.
    try {
      if (job->requestUrl() != FUrl) return job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      auto* body = new QBuffer(job);
      body->setData(FPage);
      job->reply("text/html", body);
    } catch (...) {
      job->fail(QWebEngineUrlRequestJob::RequestFailed);
    }
  }

private:
  QUrl FUrl;
  QByteArray FPage;
};

// Keeps the view on the page it was given. Before the first page any
// navigation is the view's own set-up.
class TResultPage : public QWebEnginePage {
public:
  TResultPage(QWebEngineProfile* profile, QObject* parent, std::function<void(const QUrl&)> linkClicked)
      : QWebEnginePage(profile, parent), FLinkClicked(std::move(linkClicked)) {}

  QUrl Shown;

protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    if (!isMainFrame || Shown.isEmpty()) return true;
    if (url.adjusted(QUrl::RemoveFragment) == Shown) return type != NavigationTypeBackForward;
    const QString scheme = url.scheme();
    if (type == NavigationTypeLinkClicked &&
        (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto")))
      FLinkClicked(url);
    return false;
  }

private:
  std::function<void(const QUrl&)> FLinkClicked;
};

class TDocumentView : public QWebEngineView {
public:
  explicit TDocumentView(const TResultViewEvents& events)
      : FSaveRequested(events.OnSaveRequested), FPrintRequested(events.OnPrintRequested) {}

protected:
  // The container sizes the view's native window, never the view as a
  // widget: shown again after its page was hidden, the view would take a
  // window's default size, and its page would be laid out, scroll bar
  // included, larger than the part on screen.
  void showEvent(QShowEvent* event) override {
    if (windowHandle()) resize(windowHandle()->size());
    QWebEngineView::showEvent(event);
  }

  void contextMenuEvent(QContextMenuEvent* event) override {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(page()->action(QWebEnginePage::Copy));
    menu->addAction(page()->action(QWebEnginePage::SelectAll));
    menu->addSeparator();
    menu->addAction(QStringLiteral("Сохранить..."), this, FSaveRequested);
    menu->addAction(QStringLiteral("Предварительный просмотр..."), this, FPrintRequested);
    const bool shown = !static_cast<TResultPage*>(page())->Shown.isEmpty();
    for (QAction* action : menu->actions()) action->setEnabled(action->isEnabled() && shown);
    menu->popup(event->globalPos());
  }

private:
  std::function<void()> FSaveRequested;
  std::function<void()> FPrintRequested;
};

class TEngineView : public TResultView {
public:
  explicit TEngineView(TResultViewEvents events)
      : FView(events), FPage(new TResultPage(FProfile.get(), &FView, events.OnLinkClicked)) {
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
                     [this, loaded = events.OnLoaded](const QWebEngineLoadingInfo& info) {
                       // The empty first page below is no result page, nor
                       // is a page whose successor is already on its way.
                       if (info.url() != FPage->Shown) return;
                       if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) {
                         // Nothing to go back to: earlier pages are gone.
                         FPage->history()->clear();
                         FView.setFocus();
                         loaded(true);
                       }
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
    FPage->Shown = ResultUrl(++FPages);
    FScheme->SetPage(FPage->Shown, page);
    FView.load(FPage->Shown);
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

  void Find(const QString& text, bool backward, std::function<void(bool found)> answer) override {
    FPage->findText(text, backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags(),
                    [answer = std::move(answer)](const QWebEngineFindTextResult& result) {
                      answer(result.numberOfMatches() > 0);
                    });
  }

private:
  // In this order, so that the view, and the page with it, go before the
  // profile they use.
  std::unique_ptr<QWebEngineProfile> FProfile = std::make_unique<QWebEngineProfile>();
  TResultSchemeHandler* FScheme = new TResultSchemeHandler(FProfile.get());
  TDocumentView FView;
  TResultPage* FPage;
  int FPages = 0;
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
