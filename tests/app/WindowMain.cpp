// The window tests run on the program's own application object, so that what a
// handler raises reaches the error box as it does in the program.
#include "Application.h"
#include "WebBrowser.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TWebBrowser::PrepareEngine();
  TApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
