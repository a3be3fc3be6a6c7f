#pragma once

#include "services/safebin/SafeBinSession.h"
#include "support/FileError.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

// Taking things out of the Safe Bin folder for good: a stored item (renamed
// aside first, so that a kill never leaves half of it under its name), one
// path below a stored item, and what interrupted work left in the folder.
// Only the store itself uses this; every call is made with the session's
// lock held.
namespace SafeBinRemoval {

// Removes a stored item (or anything named in the bin) for good: renamed
// aside first, then removed. An item holding a mount point is left whole;
// one that cannot be removed wholly goes back under its name. The failure is
// returned. Nothing there is no failure. Once it is gone, so are the
// attributes kept beside it for the entry id (SafeBinAttributes).
std::optional<FileError> removeStored(SafeBinSession& session, const QString& storedName, const QUuid& id);
// Removes what interrupted work left in the bin folder: partial copies of
// moves that never finished, items on their way out, temporary manifests and
// kept attributes whose item is gone.
void removeLeftovers(const SafeBinSession& session);
// The bin's item at a stored path ("<stored>/<member>/…", every part a plain name), removed.
void removeStoredPath(const SafeBinSession& session, const QString& storedPath);

}  // namespace SafeBinRemoval

}  // namespace tarnwick
