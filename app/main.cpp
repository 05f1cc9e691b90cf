#include "Application.h"
#include "Unit1.h"
#include "WebBrowser.h"

int main(int argc, char** argv) {
  TWebBrowser::PrepareEngine();
  TApplication application(argc, argv);
  TForm1 form;
  form.show();
  return application.exec();
}
