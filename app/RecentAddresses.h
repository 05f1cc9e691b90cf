#pragma once
// The addresses the user has looked up, most recent first, each with the
// reports that were ticked for it; kept between runs in the user's config file.

#include "ServiceUrl.h"

#include <QString>
#include <QStringList>
#include <vector>

class QSettings;

// The one form an address is kept under: trimmed, one trailing dot dropped
// (the root's dot names the same domain), a domain name in lower case. Empty
// for a text that is blank by then.
QString RecentAddressForm(const QString& typed);

// Whether a lookup's reply is a report page: the service answers an address
// it takes with 200, and its refusal of the address (400), of one lookup too
// many (429) or of one it has no room for (503) with an error page.
bool IsReportPage(int replyNumber);

struct TRecentLookup {
  QString Address;
  TLookupOptions Options;
};

class TRecentAddresses {
public:
  static constexpr size_t kMaxEntries = 20;

  // Puts the lookup first, under the address's form. An earlier entry of the
  // same address gives way to it, keeping its reports when the lookup had none
  // ticked; the oldest entry past kMaxEntries is dropped. A blank address is
  // not kept.
  void Add(const TRecentLookup& lookup);
  void Remove(const QString& address);
  void Clear() { FEntries.clear(); }

  const std::vector<TRecentLookup>& Entries() const { return FEntries; }
  QStringList Addresses() const;
  // The entry of this address, in any of its forms; nullptr when there is none.
  const TRecentLookup* Find(const QString& address) const;

  // The list under the key "RecentAddresses": one row per entry, the address
  // and the names of its ticked reports. Load takes what it can use of a file
  // edited by hand: addresses are taken in their form, rows without an
  // address, repeated ones and rows past kMaxEntries are left out, report
  // names it does not know are ignored.
  void Load(QSettings& settings);
  void Save(QSettings& settings) const;

private:
  std::vector<TRecentLookup> FEntries;
};
