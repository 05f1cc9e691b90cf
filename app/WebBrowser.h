#pragma once
// The HTML view of the result page. It shows one local file at a time through a
// scheme of its own: every navigation reads the file afresh and the handler
// answers with those bytes as "text/html", so the page is rendered as HTML
// whatever the file's name, and every navigation shows the file's current
// content. The scheme has no flags and local pages may not read file:// URLs,
// so a page shown here cannot read other local files.
//
// The browser engine takes longer to start than the rest of the window; it
// starts when Start is called, or at the latest with the first Navigate.

#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <string>

class QPrinter;
class QWebEngineProfile;
class QWebEngineUrlRequestJob;

class TResultSchemeHandler : public QWebEngineUrlSchemeHandler {
  Q_OBJECT
public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  // The page that the scheme's one URL stands for.
  void SetPage(const QByteArray& page) { FPage = page; }
  void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
  QByteArray FPage;
};

class TWebBrowser : public QWebEngineView {
  Q_OBJECT
public:
  explicit TWebBrowser(QWidget* parent = nullptr);
  ~TWebBrowser() override;

  // Must run before the application object is made: registers the scheme and,
  // for root, turns off the browser engine's sandbox, which otherwise refuses
  // to start.
  static void PrepareEngine();

  // The largest file that Navigate shows.
  qint64 MaxPageSize = 64 * 1024 * 1024;

  // Starts the browser engine; does nothing once it has started.
  void Start();
  bool Started() const { return FPage != nullptr; }

  // Reads the file, starts showing it and returns at once. A page that
  // declares no character set is read as Windows-1251. Fails with
  // EFOpenError when the file cannot be read, and with an Exception when it
  // is larger than MaxPageSize; the view then keeps what it showed.
  void Navigate(const std::string& path);
  // The view's own save dialog for the shown page.
  void SaveAs();
  // A print preview of the shown page, from which it can be printed.
  void PrintPreview();

private:
  void PaintPreview(QPrinter* printer);

  QWebEngineProfile* FProfile = nullptr;
  TResultSchemeHandler* FScheme = nullptr;
  QWebEnginePage* FPage = nullptr;
};
