#pragma once
// The boundary between the window and the module that holds the browser
// engine (tarnwell_view.so). The engine's libraries are large enough that
// loading them with the program would delay the window by far more than it
// takes to draw; behind this boundary they load once the window is on screen.
//
// Both sides are built from this tree with the same compiler, so the
// boundary is a plain C++ interface reached through one C entry point.

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>

class QPrinter;
class QWindow;

class TResultView {
public:
  virtual ~TResultView() = default;

  // The native window the view draws in, to be embedded in the window: it
  // keeps the engine's OpenGL surface out of the window's own native window,
  // which would otherwise be made anew when the view first shows.
  virtual QWindow* Window() = 0;
  // Starts showing `page` as HTML; a page that declares no character set is
  // read as Windows-1251. Each page opens at its top, and once loaded it has
  // the keyboard focus, so that the keys of a document reader work at once.
  virtual void Show(const QByteArray& page) = 0;
  // Saves the shown page to `path`, as one MHTML archive or as HTML with a
  // folder of its parts.
  virtual void Save(const QString& path, bool archive) = 0;
  // Draws the shown page on `printer`; returns when it is drawn.
  virtual void Print(QPrinter* printer) = 0;
  // The shown page's text, as copying all of it would give; `answer` is
  // called later, from the event loop.
  virtual void PageText(std::function<void(const QString&)> answer) = 0;
  // Marks every match of `text` in the shown page and moves to the next one,
  // or the one before; `answer` is called later with whether there was any.
  // An empty text clears the marks.
  virtual void Find(const QString& text, bool backward, std::function<void(bool found)> answer) = 0;
};

struct TResultViewEvents {
  // A page given to Show has finished loading; false when it could not be
  // shown.
  std::function<void(bool ok)> OnLoaded;
  // A save failed; the engine's reason.
  std::function<void(const QString& reason)> OnSaveFailed;
  // The view's context menu offers what suits a shown report: copy, select
  // all, save and print preview; the last two are the window's to do.
  std::function<void()> OnSaveRequested;
  std::function<void()> OnPrintRequested;
  // A link of the shown page to the web or to a mail address was followed;
  // the view itself never leaves the page it was given.
  std::function<void(const QUrl& target)> OnLinkClicked;
};

// The module's entry point, looked up by this name.
using TMakeResultView = TResultView* (*)(TResultViewEvents events);
inline constexpr char kMakeResultView[] = "MakeResultView";
