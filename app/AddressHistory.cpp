#include "AddressHistory.h"
#include "ClosingClick.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStringListModel>
#include <QStyle>
#include <algorithm>

TAddressHistory::TAddressHistory(QLineEdit* field, const QString& configFile)
    : QObject(field), FField(field), FConfigFile(configFile), FModel(new QStringListModel(this)),
      FCompleter(new QCompleter(FModel, this)) {
  QSettings settings(FConfigFile, QSettings::IniFormat);
  FList.Load(settings);
  FModel->setStringList(FList.Addresses());
  if (!FList.Entries().empty()) FField->setText(FList.Entries().front().Address);

  FCompleter->setCaseSensitivity(Qt::CaseInsensitive);
  FCompleter->setMaxVisibleItems(static_cast<int>(TRecentAddresses::kMaxEntries));
  FField->setCompleter(FCompleter);
  // The list is made when it first opens, not with the window.
  connect(FField, &QLineEdit::textEdited, this, &TAddressHistory::PreparePopup);
  connect(FCompleter, qOverload<const QString&>(&QCompleter::activated), this, [this](const QString& address) {
    if (const TRecentLookup* entry = FList.Find(address)) emit Chosen(*entry);
  });
  FField->installEventFilter(this);
  FField->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(FField, &QWidget::customContextMenuRequested, this, &TAddressHistory::ShowContextMenu);
}

void TAddressHistory::Remember(const TRecentLookup& lookup) {
  FList.Add(lookup);
  Changed();
}

void TAddressHistory::Clear() {
  FList.Clear();
  Changed();
}

void TAddressHistory::Changed() {
  FModel->setStringList(FList.Addresses());
  if (FPopupReady) FitWidth();
  Save();
}

void TAddressHistory::Save() {
  QSettings settings(FConfigFile, QSettings::IniFormat);
  FList.Save(settings);
}

void TAddressHistory::PreparePopup() {
  if (FPopupReady) return;
  FPopupReady = true;
  // After the completer's own filter, which hands the keys the list does not
  // use, Delete among them, on to the field: this one runs first.
  FCompleter->popup()->installEventFilter(this);
  KeepClosingClick(FCompleter->popup());
  FitWidth();
}

void TAddressHistory::ForgetHighlighted() {
  QAbstractItemView* popup = FCompleter->popup();
  const QString address = popup->currentIndex().data().toString();
  if (address.isEmpty()) return;
  FList.Remove(address);
  // Row by row, so that the open list keeps its other rows and its place.
  FModel->removeRow(static_cast<int>(FModel->stringList().indexOf(address)));
  FitWidth();
  Save();
  if (FCompleter->completionCount() == 0) popup->hide();
}

void TAddressHistory::FitWidth() {
  QAbstractItemView* popup = FCompleter->popup();
  int widest = 0;
  for (const QString& address : FModel->stringList()) widest = std::max(widest, popup->fontMetrics().horizontalAdvance(address));
  // The row's margins and the scroll bar the list has when it is long.
  const int chrome = 2 * popup->frameWidth() + popup->verticalScrollBar()->sizeHint().width() +
                     2 * popup->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
  popup->setMinimumWidth(std::min(widest + chrome, FField->screen()->availableGeometry().width()));
}

bool TAddressHistory::eventFilter(QObject* watched, QEvent* event) {
  if (FPopupReady && watched == FCompleter->popup() && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    ForgetHighlighted();
    return true;
  }
  // Down opens the whole list, whatever the field holds, as a combo box would.
  if (watched == FField && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down && !FCompleter->popup()->isVisible() &&
      FModel->rowCount() > 0) {
    PreparePopup();
    FCompleter->setCompletionPrefix(QString());
    FCompleter->complete();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void TAddressHistory::ShowContextMenu(const QPoint& at) {
  QMenu* menu = FField->createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->addSeparator();
  QAction* clear = menu->addAction(QStringLiteral("Очистить список адресов"), this, &TAddressHistory::Clear);
  clear->setEnabled(!FList.Entries().empty());
  menu->popup(FField->mapToGlobal(at));
}
