#pragma once

#include "models/SafeBinEntry.h"
#include "services/safebin/SafeBinSession.h"

#include <vector>

namespace tarnwick {

// Settling what a crash or kill left in the Safe Bin's journal
// (SafeBinJournal) against the entries read from the manifest: an item whose
// move went through is adopted, a restore or removal that went through loses
// its entry, and the partial copies of what was cut short are removed. Only
// the store itself uses this; every call is made with the session's lock held.
namespace SafeBinSettle {

// Settles the journal's intents into entries. Returns true when the entries
// changed. The journal stays until a manifest holding the outcome has been
// written.
bool settleIntents(SafeBinSession& session, std::vector<SafeBinEntry>& entries);

}  // namespace SafeBinSettle

}  // namespace tarnwick
