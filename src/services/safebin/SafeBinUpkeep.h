#pragma once

#include "models/SafeBinEntry.h"
#include "services/safebin/SafeBinSession.h"
#include "support/FileError.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tarnwick {

// The start and end of every change of the Safe Bin: the start reads the
// manifest, settles what a crash left in the journal (SafeBinSettle) and
// purges what has spent its time (SafeBinPurge); the end writes the manifest
// and lets go of the journal. Only the store itself uses this; every call is
// made with the session's lock held.
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

}  // namespace SafeBinUpkeep

}  // namespace tarnwick
