// The window tests that need a user's desktop: an X server of their own with
// a window manager, started before the application object connects to it.
// Each test runs in a process of its own, with a display of its own.
#include "Application.h"
#include "DisplayFixture.h"
#include "WebBrowser.h"

#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

namespace {
TXDisplay* Shared = nullptr;
}

TXDisplay& DisplayTest::X() { return *Shared; }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  QTemporaryDir logs;
  TXDisplay display;
  try {
    display.Start(logs.path().toStdString());
  } catch (const std::exception& e) {
    logs.setAutoRemove(false);
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  Shared = &display;
  // Whatever the caller set: the tests are about the X server's own dispatch.
  qputenv("QT_QPA_PLATFORM", "xcb");
  TWebBrowser::PrepareEngine();
  TApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
