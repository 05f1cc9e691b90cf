#include "Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
std::function<void(const std::string&)>& Opener() {
  static std::function<void(const std::string&)> opener;
  return opener;
}
}  // namespace

void SetShellOpener(std::function<void(const std::string&)> opener) { Opener() = std::move(opener); }

void ShellOpen(const std::string& target) {
  if (Opener()) return Opener()(target);
  // Tolerant parsing keeps a redirector's own "?" and "&" where they stand.
  QDesktopServices::openUrl(QUrl(QString::fromStdString(target), QUrl::TolerantMode));
}
