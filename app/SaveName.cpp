#include "SaveName.h"

#include "RecentAddresses.h"

QString SaveName(const QString& address, const QDate& day) {
  QString name = RecentAddressForm(address);
  if (name.isEmpty()) name = QStringLiteral("tarnwell");
  for (QChar& c : name)
    if (c.isSpace() || c.category() == QChar::Other_Control || QStringLiteral("/\\:*?\"<>|").contains(c)) c = '_';
  return name + '-' + day.toString(Qt::ISODate) + QStringLiteral(".html");
}
