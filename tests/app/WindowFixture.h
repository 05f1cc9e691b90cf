#pragma once
// A fresh window for each test, with the message boxes, the desktop opener and
// the machine's own address in the test's hands. The result file, the header
// file and the user's config file go to a private folder.

#include "Dialogs.h"
#include "PosixWinsock.h"
#include "Shell.h"
#include "Unit1.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

// Answers each query for the machine's interfaces with the next of
// `Answers`, the last one repeating: an adapter that is up with that address,
// only the loopback interface for "127.0.0.1", and an unreadable list for
// "0.0.0.0".
class TLocalAddressWinsock : public sock::TPosixWinsock {
public:
  std::vector<std::string> Answers{"192.0.2.7"};
  int Queries = 0;

  int GetInterfaceAddresses(std::vector<sock::TInterfaceAddress>& addresses) override;
};

// The home site of every window test unless it sets another; never looked up.
inline constexpr char kTestHomeSite[] = "tarnwell.test";

class WindowTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Clicks the way a user does, so that what a handler raises goes through the
  // application object.
  void Click(QWidget* widget);
  void ClickCheckBox(QWidget* box);
  // Ticks the proxy box and fills in the proxy fields.
  void UseProxy(const QString& host, const QString& port);

  std::string ResultFile() const;
  // The HTML view's text once it contains `expected`, or what it had at the deadline.
  QString WaitForPageText(const QString& expected);

  QTemporaryDir Folder;
  TLocalAddressWinsock Winsock;
  std::unique_ptr<TForm1> Form;
  std::vector<TMessageBoxRequest> Boxes;
  std::vector<std::string> Opened;
  QStringList Statuses;

private:
  QString FOldDir;
};
