#include "RecentAddresses.h"

#include <QSettings>
#include <algorithm>

namespace {

const QString kGroup = QStringLiteral("RecentAddresses");
const QString kAddress = QStringLiteral("Address");
const QString kReports = QStringLiteral("Reports");

// The reports by the query key each feeds, which is also the name of its box.
struct TReport {
  const char* Name;
  bool TLookupOptions::*Ticked;
};
constexpr TReport kReportsByName[] = {
    {"dom_whois", &TLookupOptions::dom_whois}, {"dom_dns", &TLookupOptions::dom_dns},
    {"traceroute", &TLookupOptions::traceroute}, {"net_whois", &TLookupOptions::net_whois},
    {"port_scan", &TLookupOptions::port_scan},
};

bool NoneTicked(const TLookupOptions& options) {
  return std::none_of(std::begin(kReportsByName), std::end(kReportsByName),
                      [&](const TReport& report) { return options.*report.Ticked; });
}

}  // namespace

QString RecentAddressForm(const QString& typed) {
  QString address = typed.trimmed();
  if (address.endsWith('.')) address.chop(1);
  // A dotted IPv4 address has no letters, so lower case is the one form of
  // both kinds taken today; a kind with a form of its own (an IPv6 literal,
  // say) gets its own branch here.
  return address.toLower();
}

bool IsReportPage(int replyNumber) { return replyNumber == 200; }

void TRecentAddresses::Add(const TRecentLookup& lookup) {
  TRecentLookup entry{RecentAddressForm(lookup.Address), lookup.Options};
  if (entry.Address.isEmpty()) return;
  if (const TRecentLookup* earlier = Find(entry.Address); earlier && NoneTicked(entry.Options))
    entry.Options = earlier->Options;
  Remove(entry.Address);
  FEntries.insert(FEntries.begin(), entry);
  if (FEntries.size() > kMaxEntries) FEntries.resize(kMaxEntries);
}

void TRecentAddresses::Remove(const QString& address) {
  const QString form = RecentAddressForm(address);
  std::erase_if(FEntries, [&](const TRecentLookup& entry) { return entry.Address == form; });
}

QStringList TRecentAddresses::Addresses() const {
  QStringList addresses;
  for (const TRecentLookup& entry : FEntries) addresses << entry.Address;
  return addresses;
}

const TRecentLookup* TRecentAddresses::Find(const QString& address) const {
  const QString form = RecentAddressForm(address);
  const auto found =
      std::find_if(FEntries.begin(), FEntries.end(), [&](const TRecentLookup& entry) { return entry.Address == form; });
  return found == FEntries.end() ? nullptr : &*found;
}

void TRecentAddresses::Load(QSettings& settings) {
  FEntries.clear();
  const int rows = settings.beginReadArray(kGroup);
  for (int row = 0; row < rows && FEntries.size() < kMaxEntries; ++row) {
    settings.setArrayIndex(row);
    TRecentLookup entry{RecentAddressForm(settings.value(kAddress).toString()), {}};
    if (entry.Address.isEmpty() || Find(entry.Address)) continue;
    const QStringList ticked = settings.value(kReports).toStringList();
    for (const TReport& report : kReportsByName)
      entry.Options.*report.Ticked = ticked.contains(QLatin1String(report.Name));
    FEntries.push_back(entry);
  }
  settings.endArray();
}

void TRecentAddresses::Save(QSettings& settings) const {
  settings.remove(kGroup);
  settings.beginWriteArray(kGroup, static_cast<int>(FEntries.size()));
  for (size_t row = 0; row < FEntries.size(); ++row) {
    settings.setArrayIndex(static_cast<int>(row));
    settings.setValue(kAddress, FEntries[row].Address);
    QStringList ticked;
    for (const TReport& report : kReportsByName)
      if (FEntries[row].Options.*report.Ticked) ticked << QLatin1String(report.Name);
    settings.setValue(kReports, ticked);
  }
  settings.endArray();
}
