#include "Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
std::function<bool(const std::string&)>& Opener() {
  static std::function<bool(const std::string&)> opener;
  return opener;
}
}  // namespace

void SetShellOpener(std::function<bool(const std::string&)> opener) { Opener() = std::move(opener); }

bool ShellOpen(const std::string& target) {
  if (Opener()) return Opener()(target);
  // Tolerant parsing keeps a redirector's own "?" and "&" where they stand.
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(target), QUrl::TolerantMode));
}

QString NoOpenerText(const std::string& target) {
  if (target.starts_with("mailto:")) return QStringLiteral("Не удалось открыть ссылку: в системе нет почтовой программы");
  return QStringLiteral("Не удалось открыть ссылку: в системе нет браузера");
}
