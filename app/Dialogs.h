#pragma once
// Every message box and modal dialog of the program goes through here, so that
// tests can see what would be shown instead of leaving a modal box open.

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <functional>

struct TMessageBoxRequest {
  QWidget* Parent;  // nullptr: centred on the screen
  QMessageBox::Icon Icon;
  QString Caption;
  QString Text;
};

// Shows a modal box with one OK button and returns when it is dismissed.
void ShowMessageBox(const TMessageBoxRequest& request);

// The application's default error box: stop icon, OK, the application's title
// as caption, the message with a full stop added by WithFullStop.
void ShowErrorBox(const std::string& message);

// Runs a prepared dialog modally; the dialog's result code.
int RunDialog(QDialog& dialog);

// Tests only: take the place of the real box or of running a dialog; an empty
// function puts the real one back.
void SetMessageBoxHandler(std::function<void(const TMessageBoxRequest&)> handler);
void SetDialogRunner(std::function<int(QDialog&)> runner);

// The executable's file name up to its first ".", every letter after the first
// in lower case.
QString ApplicationTitle(const QString& executablePath);
QString ApplicationTitle();

// The message with "." appended when its last character sorts after ".".
QString WithFullStop(const QString& message);
