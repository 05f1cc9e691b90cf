#include "Application.h"

#include "Dialogs.h"
#include "Toolkit.h"
#include "WindowStyle.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// Qt's own translations of its widgets' texts and of the page view's menu.
constexpr const char* kTranslations[] = {"qtbase_ru", "qtwebengine_ru"};

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setStyle(new TWindowStyle);
  // Every text of the window is Russian, so the toolkit's own texts (dialog
  // buttons, the save dialog, the view's menu) are too, whatever the
  // system's locale; the page view's engine takes its language from here.
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* name : kTranslations) {
    auto* translator = new QTranslator(this);
    // A missing file leaves those texts in English; the program works the same.
    if (translator->load(QString::fromLatin1(name), folder)) installTranslator(translator);
    else delete translator;
  }
  SetApplicationExceptionHandler([](TComponent*, const std::exception& e) { ShowErrorBox(e.what()); });
}

TApplication::~TApplication() { SetApplicationExceptionHandler(nullptr); }

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception&) {
    HandleApplicationException(nullptr);
  } catch (...) {
    ShowErrorBox("Unknown exception");
  }
  return false;
}
