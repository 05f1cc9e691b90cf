// The link labels' handlers. The provider rows' labels are numbered out of
// row order; kProviders is in row order from the top.
#include "Links.h"
#include "Shell.h"
#include "Unit1.h"

using links::DetailsPage;
using links::kProviders;
using links::Redirector;

namespace {
std::string Details(size_t row) { return DetailsPage(kProviders[row].Slug); }
std::string Partner(size_t row) { return kProviders[row].PartnerPage; }
}  // namespace

void TForm1::Label5Click() { ShellOpen(links::HomeSitePage("/click.php")); }
void TForm1::Label8Click() { ShellOpen(links::HomePage()); }
void TForm1::Label13Click() { ShellOpen(links::HomePage()); }
void TForm1::Label15Click() { ShellOpen(links::kFeedbackMail); }
void TForm1::Label45Click() { ShellOpen(links::kBookShop); }

// Row 1 is the odd one: its name goes to the partner without "&f=program", and
// its go-to-site label goes through the redirector to its own details page.
void TForm1::Label16Click() { ShellOpen(Redirector(Partner(0), false)); }
void TForm1::Label26Click() { ShellOpen(Details(0)); }
void TForm1::Label27Click() { ShellOpen(Redirector(Details(0), true)); }

// Details labels of rows 2 to 9.
void TForm1::Label31Click() { ShellOpen(Details(1)); }
void TForm1::Label29Click() { ShellOpen(Details(2)); }
void TForm1::Label30Click() { ShellOpen(Details(3)); }
void TForm1::Label32Click() { ShellOpen(Details(4)); }
void TForm1::Label33Click() { ShellOpen(Details(5)); }
void TForm1::Label34Click() { ShellOpen(Details(6)); }
void TForm1::Label35Click() { ShellOpen(Details(7)); }
void TForm1::Label28Click() { ShellOpen(Details(8)); }

// Go-to-site labels of rows 2 to 9; rows 2 and 5 bypass the home site.
void TForm1::Label39Click() { ShellOpen(Partner(1)); }
void TForm1::Label37Click() { ShellOpen(Redirector(Partner(2), true)); }
void TForm1::Label38Click() { ShellOpen(Redirector(Partner(3), true)); }
void TForm1::Label40Click() { ShellOpen(Partner(4)); }
void TForm1::Label41Click() { ShellOpen(Redirector(Partner(5), true)); }
void TForm1::Label42Click() { ShellOpen(Redirector(Partner(6), true)); }
void TForm1::Label43Click() { ShellOpen(Redirector(Partner(7), true)); }
void TForm1::Label36Click() { ShellOpen(Redirector(Partner(8), true)); }
