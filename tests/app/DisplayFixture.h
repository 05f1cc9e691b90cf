#pragma once
// The window on the test's X server (DisplayMain.cpp), shown and made active
// by the window manager; clicks and keys go through the X server, so the
// window system decides which window gets them, as it does for a user.

#include "WindowFixture.h"
#include "XDisplay.h"

#include <QPoint>
#include <QWidget>

class DisplayTest : public WindowTest {
protected:
  void SetUp() override;

  static TXDisplay& X();
  // A click on `widget`, at `at` in its coordinates or else in its middle.
  static void ClickOn(const QWidget* widget, QPoint at = QPoint(-1, -1));
  // The click on a tab of the window's pages.
  void ClickTab(int index);
};
