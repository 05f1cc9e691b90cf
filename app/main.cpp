#include "Application.h"
#include "HomeSite.h"
#include "Unit1.h"
#include "WebBrowser.h"

int main(int argc, char** argv) {
  TWebBrowser::PrepareEngine();
  TApplication application(argc, argv);
  TForm1 form;
  const std::string homeSite = HomeSiteSetting(application.arguments());
  if (homeSite.empty()) form.UseEmbeddedSite(TEmbeddedSite::ProgramPath());
  else form.UseHomeSite(homeSite);
  form.show();
  return application.exec();
}
