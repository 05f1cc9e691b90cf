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

}  // namespace

void TRecentAddresses::Add(const TRecentLookup& lookup) {
  if (lookup.Address.trimmed().isEmpty()) return;
  std::erase_if(FEntries, [&](const TRecentLookup& entry) { return entry.Address == lookup.Address; });
  FEntries.insert(FEntries.begin(), lookup);
  if (FEntries.size() > kMaxEntries) FEntries.resize(kMaxEntries);
}

QStringList TRecentAddresses::Addresses() const {
  QStringList addresses;
  for (const TRecentLookup& entry : FEntries) addresses << entry.Address;
  return addresses;
}

const TRecentLookup* TRecentAddresses::Find(const QString& address) const {
  const auto found =
      std::find_if(FEntries.begin(), FEntries.end(), [&](const TRecentLookup& entry) { return entry.Address == address; });
  return found == FEntries.end() ? nullptr : &*found;
}

void TRecentAddresses::Load(QSettings& settings) {
  FEntries.clear();
  const int rows = settings.beginReadArray(kGroup);
  for (int row = 0; row < rows && FEntries.size() < kMaxEntries; ++row) {
    settings.setArrayIndex(row);
    TRecentLookup entry{settings.value(kAddress).toString(), {}};
    if (entry.Address.trimmed().isEmpty() || Find(entry.Address)) continue;
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
