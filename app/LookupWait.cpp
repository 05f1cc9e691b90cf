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

TLookupWait::TLookupWait(QStatusBar* bar, QLabel* stripField, QLabel* stripHint)
    : QObject(bar), FField(new QLabel(bar)), FStripField(stripField), FStripHint(stripHint) {
  bar->addPermanentWidget(FField);
  FTicks.setInterval(kTickMs);
  connect(&FTicks, &QTimer::timeout, this, &TLookupWait::Tick);
}

void TLookupWait::Start() {
  FClock.start();
  FTicks.start();
  Tick();
  FStripHint->show();
}

void TLookupWait::Done() {
  FTicks.stop();
  FStripHint->hide();
  Show(DoneText(FClock.elapsed()));
}

void TLookupWait::Stop() {
  if (!FTicks.isActive()) return;
  FTicks.stop();
  FStripHint->hide();
  Show(QString());
}

QString TLookupWait::Text() const { return FField->text(); }

void TLookupWait::Tick() { Show(WaitText(FClock.elapsed())); }

void TLookupWait::Show(const QString& text) {
  FField->setText(text);
  // The strip has no layout: the field takes its text's width, the hint follows it.
  FStripField->setText(text);
  FStripField->resize(FStripField->sizeHint().width(), FStripField->height());
  FStripHint->move(FStripField->geometry().right() + FStripField->fontMetrics().averageCharWidth() * 2, FStripHint->y());
}
