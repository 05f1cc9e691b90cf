#pragma once
// The field at the right of the status bar that shows how long the running
// lookup has waited, and afterwards how long a lookup that brought a page took.

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
  // Adds the field to the right end of `bar`; it is empty until a lookup starts.
  explicit TLookupWait(QStatusBar* bar);

  void Start();
  // The lookup brought a page: the field says how long it took.
  void Done();
  // The lookup ended without a page: the field is cleared, the status line
  // says why. Does nothing once Done.
  void Stop();
  QString Text() const;

private:
  void Tick();

  QLabel* FField;
  QElapsedTimer FClock;
  QTimer FTicks;
};
