#include "AddressHistory.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QStringListModel>

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
  QSettings settings(FConfigFile, QSettings::IniFormat);
  FList.Save(settings);
}

bool TAddressHistory::eventFilter(QObject* watched, QEvent* event) {
  // Down opens the whole list, whatever the field holds, as a combo box would.
  if (watched == FField && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down && !FCompleter->popup()->isVisible() &&
      FModel->rowCount() > 0) {
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
