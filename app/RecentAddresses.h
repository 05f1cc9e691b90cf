#pragma once
// The addresses the user has looked up, most recent first, each with the
// reports that were ticked for it; kept between runs in the user's config file.

#include "ServiceUrl.h"

#include <QString>
#include <QStringList>
#include <vector>

class QSettings;

struct TRecentLookup {
  QString Address;
  TLookupOptions Options;
};

class TRecentAddresses {
public:
  static constexpr size_t kMaxEntries = 20;

  // Puts the lookup first. An earlier entry of the same address gives way to
  // it, and the oldest entry past kMaxEntries is dropped. A blank address is
  // not kept.
  void Add(const TRecentLookup& lookup);
  void Clear() { FEntries.clear(); }

  const std::vector<TRecentLookup>& Entries() const { return FEntries; }
  QStringList Addresses() const;
  // The entry of exactly this address; nullptr when there is none.
  const TRecentLookup* Find(const QString& address) const;

  // The list under the key "RecentAddresses": one row per entry, the address
  // and the names of its ticked reports. Load takes what it can use of a file
  // edited by hand: rows without an address and rows past kMaxEntries are
  // left out, report names it does not know are ignored.
  void Load(QSettings& settings);
  void Save(QSettings& settings) const;

private:
  std::vector<TRecentLookup> FEntries;
};
