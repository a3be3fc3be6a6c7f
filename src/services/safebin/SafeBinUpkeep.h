#pragma once

#include "models/SafeBinEntry.h"
#include "services/safebin/SafeBinSession.h"
#include "support/FileError.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace tarnwick {

// The Safe Bin's upkeep, shared by every change of the bin: the start of a
// change (read the manifest, settle what a crash left in the journal, purge
// what has spent its time), its end (write the manifest, let go of the
// journal), and the removal of stored items for good. Only the store itself
// uses this; every call is made with the session's lock held.
namespace SafeBinUpkeep {

// What the start of a change read and settled: `changed` tells whether the
// entries differ from the manifest on disk.
struct Prepared {
    std::vector<SafeBinEntry> entries;
    QByteArray text;       // the manifest as read, while it still matches entries
    bool decoded = true;   // false: entries was not read (text is all there is)
    bool changed = false;
    std::optional<FileError> error;
};

// The common start of every change: lock, read, settle a crash's journal,
// purge at purgeDays (none when negative). With removeStrays, what
// interrupted work left in the folder goes too; with skim, a manifest that
// needs no purge is not decoded (see SafeBinManifest::readManifest()).
Prepared prepare(SafeBinSession& session, int purgeDays, bool removeStrays, bool skim = false);
// Writes the manifest text and, once it is on disk, lets go of the journal.
std::optional<FileError> commitText(SafeBinSession& session, const QByteArray& text);
std::optional<FileError> commit(SafeBinSession& session, const std::vector<SafeBinEntry>& entries);
// Ends a change that wrote nothing of its own: what the purge or a settled
// crash changed is kept, else the journal is let go.
void finishUnchanged(SafeBinSession& session, const Prepared& prepared, const std::vector<SafeBinEntry>& entries);

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

qint64 sizeOfMembers(const std::vector<SafeBinEntry::Member>& members);

}  // namespace SafeBinUpkeep

}  // namespace tarnwick
