#include "ProxyPort.h"

#include "Toolkit.h"
#include "Win1251.h"

#include <algorithm>

namespace {
constexpr int kHighestPort = 65535;
}  // namespace

QValidator::State ProxyPortState(const QString& text) {
  const bool digits = std::all_of(text.begin(), text.end(), [](QChar c) { return c >= '0' && c <= '9'; });
  // The field holds five characters at most, so the number cannot overflow.
  if (!digits || text.size() > 5 || text.toInt() > kHighestPort) return QValidator::Invalid;
  // "0" or "080" may be on the way to a port: deleting the first digit of
  // "1080" passes through "080".
  if (text.isEmpty() || text.front() == '0') return QValidator::Intermediate;
  return QValidator::Acceptable;
}

int ProxyPortNumber(const QString& text) {
  if (ProxyPortState(text) != QValidator::Acceptable)
    throw Exception(ToWin1251(QStringLiteral("Укажите порт прокси сервера: число от 1 до %1.").arg(kHighestPort)));
  return text.toInt();
}
