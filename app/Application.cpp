#include "Application.h"

#include "Dialogs.h"
#include "Toolkit.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
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
