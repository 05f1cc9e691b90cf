#pragma once
// /whois/history.php?addr=NAME: every snapshot kept of a name, newest first,
// with what had changed when each was taken.

#include "base/Target.h"
#include "history/HistoryStore.h"

#include <optional>
#include <string>
#include <vector>

namespace site {

// `snapshots`: newest first; nothing: the history could not be read (or is not kept).
std::string HistoryPage(const Target& target, const std::optional<std::vector<Snapshot>>& snapshots);

}  // namespace site
