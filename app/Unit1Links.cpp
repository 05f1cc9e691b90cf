// The link labels' handlers. The provider rows' labels are numbered out of
// row order; kProviders is in row order from the top.
#include "Links.h"
#include "Shell.h"
#include "Unit1.h"

using links::DetailsPage;
using links::kProviders;
using links::Redirector;

void TForm1::OpenLink(const std::string& target) {
  if (!ShellOpen(target)) ShowStatus(NoOpenerText(target));
}

namespace {
std::string Details(size_t row) { return DetailsPage(kProviders[row].Slug); }
std::string Partner(size_t row) { return kProviders[row].PartnerPage; }
}  // namespace

void TForm1::Label5Click() { OpenLink(links::HomeSitePage("/click.php")); }
void TForm1::Label8Click() { OpenLink(links::HomePage()); }
void TForm1::Label13Click() { OpenLink(links::HomePage()); }
void TForm1::Label15Click() { OpenLink(links::kFeedbackMail); }
void TForm1::Label45Click() { OpenLink(links::kBookShop); }

// Row 1 is the odd one: its name goes to the partner without "&f=program", and
// its go-to-site label goes through the redirector to its own details page.
void TForm1::Label16Click() { OpenLink(Redirector(Partner(0), false)); }
void TForm1::Label26Click() { OpenLink(Details(0)); }
void TForm1::Label27Click() { OpenLink(Redirector(Details(0), true)); }

// Details labels of rows 2 to 9.
void TForm1::Label31Click() { OpenLink(Details(1)); }
void TForm1::Label29Click() { OpenLink(Details(2)); }
void TForm1::Label30Click() { OpenLink(Details(3)); }
void TForm1::Label32Click() { OpenLink(Details(4)); }
void TForm1::Label33Click() { OpenLink(Details(5)); }
void TForm1::Label34Click() { OpenLink(Details(6)); }
void TForm1::Label35Click() { OpenLink(Details(7)); }
void TForm1::Label28Click() { OpenLink(Details(8)); }

// Go-to-site labels of rows 2 to 9; rows 2 and 5 bypass the home site.
void TForm1::Label39Click() { OpenLink(Partner(1)); }
void TForm1::Label37Click() { OpenLink(Redirector(Partner(2), true)); }
void TForm1::Label38Click() { OpenLink(Redirector(Partner(3), true)); }
void TForm1::Label40Click() { OpenLink(Partner(4)); }
void TForm1::Label41Click() { OpenLink(Redirector(Partner(5), true)); }
void TForm1::Label42Click() { OpenLink(Redirector(Partner(6), true)); }
void TForm1::Label43Click() { OpenLink(Redirector(Partner(7), true)); }
void TForm1::Label36Click() { OpenLink(Redirector(Partner(8), true)); }
