#pragma once
// The application object. No exception crosses Qt's event dispatch: whatever a
// handler raises ends that handler and is shown by the default error box, and
// the program carries on. Exceptions that the toolkit's timers catch come to
// the same box. Qt's own texts are shown in Russian.

#include <QApplication>

class TApplication : public QApplication {
  Q_OBJECT
public:
  TApplication(int& argc, char** argv);
  ~TApplication() override;

  bool notify(QObject* receiver, QEvent* event) override;
};
