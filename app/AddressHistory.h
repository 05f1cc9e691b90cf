#pragma once
// The address field's memory of recent lookups: completion from the list as
// one types, the whole list on the Down key, Delete on the list's highlighted
// row forgets that address, "Очистить список адресов" in the field's context
// menu forgets them all. The list is as wide as its longest address, up to
// the screen's width. It lives in the user's config file, read when this is
// made and written whenever it changes.

#include "RecentAddresses.h"

#include <QObject>
#include <QString>

class QCompleter;
class QLineEdit;
class QStringListModel;

class TAddressHistory : public QObject {
  Q_OBJECT
public:
  // Shows the most recent address in the field, if there is one.
  TAddressHistory(QLineEdit* field, const QString& configFile);

  void Remember(const TRecentLookup& lookup);
  void Clear();
  const TRecentAddresses& List() const { return FList; }

signals:
  // The user chose an entry from the list; the field already shows its address.
  void Chosen(const TRecentLookup& lookup);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void Changed();
  void Save();
  void PreparePopup();
  void ForgetHighlighted();
  void FitWidth();
  void ShowContextMenu(const QPoint& at);

  QLineEdit* FField;
  QString FConfigFile;
  TRecentAddresses FList;
  QStringListModel* FModel;
  QCompleter* FCompleter;
  bool FPopupReady = false;
};
