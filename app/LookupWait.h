#pragma once
// The field at the right of the status bar that shows how long the running
// lookup has waited, and afterwards how long a lookup that brought a page took.
// The result page's tool strip shows the same text, and while the lookup runs
// a hint beside it that Esc cancels it: the lookup ends on that page.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QLabel;
class QStatusBar;

// "Ожидание ответа: 7 с", whole seconds.
QString WaitText(qint64 elapsedMs);
// "Готово за 1,4 с", tenths of a second with the Russian decimal comma.
QString DoneText(qint64 elapsedMs);

class TLookupWait : public QObject {
  Q_OBJECT
public:
  // Adds the field to the right end of `bar`; it and `stripField` are empty
  // until a lookup starts; `stripHint` shows while one runs.
  TLookupWait(QStatusBar* bar, QLabel* stripField, QLabel* stripHint);

  void Start();
  // The lookup brought a page: the field says how long it took.
  void Done();
  // The lookup ended without a page: the field is cleared, the status line
  // says why. Does nothing once Done.
  void Stop();
  QString Text() const;

private:
  void Tick();
  void Show(const QString& text);

  QLabel* FField;
  QLabel* FStripField;
  QLabel* FStripHint;
  QElapsedTimer FClock;
  QTimer FTicks;
};
