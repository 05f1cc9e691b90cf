#include "DisplayFixture.h"

#include <QStatusBar>
#include <QTabBar>
#include <QTest>

void DisplayTest::SetUp() {
  WindowTest::SetUp();
  // The window manager may keep a new window from taking the focus at once
  // (it guards against windows stealing it); a user then clicks it.
  if (!QTest::qWaitForWindowActive(Form.get(), 3000)) ClickOn(Form->StatusBar1);
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get(), 10000));
  // The window is ready once the page view it starts after showing is there.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->WebBrowser1->Started(); }, 20000));
}

void DisplayTest::ClickOn(const QWidget* widget, QPoint at) {
  X().Click(widget->mapToGlobal(at == QPoint(-1, -1) ? widget->rect().center() : at));
}

void DisplayTest::ClickTab(int index) {
  const QTabBar* tabs = Form->PageControl1->findChild<QTabBar*>();
  ClickOn(tabs, tabs->tabRect(index).center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->PageControl1->currentIndex() == index; }, 5000));
}
