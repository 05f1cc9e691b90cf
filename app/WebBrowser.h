#pragma once
// The HTML view of the result page. It shows one local file at a time: every
// navigation reads the file afresh, so the view always shows the file's
// current content, rendered as HTML whatever the file's name. A shown page
// takes the keyboard focus when it has loaded; its context menu's Save and
// Print preview are SaveAs and PrintPreview, and its links to the web or to
// mail are handed on through LinkClicked.
//
// Ctrl+F, while the view shows a page, opens a find field under it: the
// page is searched as one types, Enter goes to the next match, Shift+Enter
// to the one before, and Esc closes the field. A text not in the page turns
// the field red.
//
// The browser engine behind it lives in a module (ResultView.h) that loads
// when Start is called, or at the latest with the first Navigate; until then
// this is an empty area of the window.

#include "ResultView.h"

#include <QLineEdit>
#include <QWidget>
#include <memory>
#include <string>


class TWebBrowser : public QWidget {
  Q_OBJECT
public:
  explicit TWebBrowser(QWidget* parent = nullptr);
  ~TWebBrowser() override;

  // Must run before the application object is made: for root, turns off the
  // browser engine's sandbox, which otherwise refuses to start, and quiets
  // the engine's start-up report.
  static void PrepareEngine();

  // The largest file that Navigate shows.
  qint64 MaxPageSize = 64 * 1024 * 1024;
  // The file name SaveAs suggests, in the user's documents folder.
  QString SuggestedName;

  // Loads the browser engine; does nothing once it is loaded. Fails with an
  // Exception when the module cannot be loaded; a later call tries again.
  void Start();
  bool Started() const { return FView != nullptr; }

  // Reads the file, starts showing it and returns at once. A page that
  // declares no character set is read as Windows-1251. Fails with
  // EFOpenError when the file cannot be read, and with an Exception when it
  // is larger than MaxPageSize; the view then keeps what it showed.
  void Navigate(const std::string& path);
  // The view's own save dialog for the shown page.
  void SaveAs();
  // A print preview of the shown page, from which it can be printed.
  void PrintPreview();
  // The shown page's text; `answer` is called later, from the event loop.
  void PageText(std::function<void(const QString&)> answer);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

signals:
  // A page has finished loading; false when it could not be shown.
  void Loaded(bool ok);
  // A link of the shown page was followed, to the web or to a mail address.
  void LinkClicked(const std::string& target);

private:
  void OpenFind();
  void CloseFind();
  void FindText(bool backward);

  std::unique_ptr<TResultView> FView;
  QWidget* FContainer = nullptr;
  QLineEdit* FFindField = nullptr;
  int FSearches = 0;
};
