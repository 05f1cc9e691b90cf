#pragma once
// The HTML view of the result page. It shows one local file at a time through a
// scheme of its own: the handler reads the file afresh on every request and
// answers "text/html", so the page is rendered as HTML whatever the file's
// name, and every navigation shows the file's current content. The scheme has
// no flags and local pages may not read file:// URLs, so a page shown here
// cannot read other local files.

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
  // The file that the scheme's one URL stands for.
  void SetFile(const QString& path) { FPath = path; }
  void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
  QString FPath;
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

  // Starts showing the file and returns at once. A page that declares no
  // character set is read as Windows-1251.
  void Navigate(const std::string& path);
  // The view's own save dialog for the shown page.
  void SaveAs();
  // A print preview of the shown page, from which it can be printed.
  void PrintPreview();

private:
  void PaintPreview(QPrinter* printer);

  QWebEngineProfile* FProfile;
  TResultSchemeHandler* FScheme;
  QWebEnginePage* FPage;
};
