#pragma once

#include "models/SafeBinEntry.h"

#include <vector>

namespace tarnwick {

class SafeBinSession;

// The Safe Bin's purge: what has spent its time in the bin is removed for
// good and loses its entry. An item goes only once it has spent the days in
// the bin as the bin observes time and at least a day of the computer's
// running time (SafeBinClock), whatever the clock did across restarts. Only
// the store itself uses this; every call is made with the session's lock held.
namespace SafeBinPurge {

// The days an item is kept (SafeBinService::kExpiryDays to the bin's callers).
inline constexpr int kExpiryDays = 30;

// Drops the entries that have spent more than days in the bin, removing
// their items (announced in the journal first); an item that cannot be
// removed keeps its entry. Returns true when the entries changed.
bool purgeEntries(SafeBinSession& session, std::vector<SafeBinEntry>& entries, int days);

}  // namespace SafeBinPurge

}  // namespace tarnwick
