#include "Dialogs.h"

#include "Win1251.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
std::function<void(const TMessageBoxRequest&)>& Handler() {
  static std::function<void(const TMessageBoxRequest&)> handler;
  return handler;
}
std::function<int(QDialog&)>& Runner() {
  static std::function<int(QDialog&)> runner;
  return runner;
}
}  // namespace

void SetMessageBoxHandler(std::function<void(const TMessageBoxRequest&)> handler) { Handler() = std::move(handler); }
void SetDialogRunner(std::function<int(QDialog&)> runner) { Runner() = std::move(runner); }

int RunDialog(QDialog& dialog) { return Runner() ? Runner()(dialog) : dialog.exec(); }

void ShowMessageBox(const TMessageBoxRequest& request) {
  if (Handler()) return Handler()(request);
  QMessageBox box(request.Icon, request.Caption, request.Text, QMessageBox::Ok, request.Parent);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void ShowErrorBox(const std::string& message) {
  ShowMessageBox({nullptr, QMessageBox::Critical, ApplicationTitle(), WithFullStop(FromWin1251(message))});
}

QString ApplicationTitle(const QString& executablePath) {
  const QString name = QFileInfo(executablePath).fileName().section('.', 0, 0);
  return name.left(1) + name.mid(1).toLower();
}

QString ApplicationTitle() { return ApplicationTitle(QCoreApplication::applicationFilePath()); }

QString WithFullStop(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar('.')) return message + '.';
  return message;
}
