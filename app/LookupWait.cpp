#include "LookupWait.h"

#include <QLabel>
#include <QLocale>
#include <QStatusBar>

namespace {
// Often enough that the seconds shown never lag the clock by more than a fifth.
constexpr int kTickMs = 200;
}  // namespace

QString WaitText(qint64 elapsedMs) { return QStringLiteral("Ожидание ответа: %1 с").arg(elapsedMs / 1000); }

QString DoneText(qint64 elapsedMs) {
  QLocale russian(QLocale::Russian, QLocale::Russia);
  russian.setNumberOptions(QLocale::OmitGroupSeparator);
  return QStringLiteral("Готово за %1 с").arg(russian.toString(static_cast<double>(elapsedMs) / 1000.0, 'f', 1));
}

TLookupWait::TLookupWait(QStatusBar* bar) : QObject(bar), FField(new QLabel(bar)) {
  bar->addPermanentWidget(FField);
  FTicks.setInterval(kTickMs);
  connect(&FTicks, &QTimer::timeout, this, &TLookupWait::Tick);
}

void TLookupWait::Start() {
  FClock.start();
  FTicks.start();
  Tick();
}

void TLookupWait::Done() {
  FTicks.stop();
  FField->setText(DoneText(FClock.elapsed()));
}

void TLookupWait::Stop() {
  if (!FTicks.isActive()) return;
  FTicks.stop();
  FField->clear();
}

QString TLookupWait::Text() const { return FField->text(); }

void TLookupWait::Tick() { FField->setText(WaitText(FClock.elapsed())); }
