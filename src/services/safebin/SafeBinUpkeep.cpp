#include "services/safebin/SafeBinUpkeep.h"

#include "services/safebin/SafeBinJournal.h"
#include "services/safebin/SafeBinManifest.h"
#include "services/safebin/SafeBinPurge.h"
#include "services/safebin/SafeBinRemoval.h"
#include "services/safebin/SafeBinSettle.h"

#include <QDateTime>

namespace tarnwick::SafeBinUpkeep {

Prepared prepare(SafeBinSession& session, int purgeDays, bool removeStrays, bool skim) {
    Prepared prepared;
    if (session.error) {
        prepared.error = session.error;
        return prepared;
    }
    const bool journal = SafeBinJournal::hasContent(session.fd());
    std::optional<QDateTime> skimBefore;
    if (skim && !journal && !removeStrays && purgeDays >= 0) {
        skimBefore = session.now.addSecs(-qint64(purgeDays) * 86400);
    }
    SafeBinManifest::Manifest manifest = SafeBinManifest::readManifest(session.bin, skimBefore);
    if (manifest.error) {
        prepared.error = manifest.error;
        return prepared;
    }
    if (!manifest.decoded) {
        prepared.text = std::move(manifest.text);
        prepared.decoded = false;
        return prepared;  // no journal to settle, nothing to purge
    }
    prepared.entries = std::move(manifest.entries);
    prepared.text = std::move(manifest.text);
    if (journal) prepared.changed = SafeBinSettle::settleIntents(session, prepared.entries);
    if (journal || removeStrays) SafeBinRemoval::removeLeftovers(session);
    if (journal && !prepared.changed) session.clearJournal();
    if (purgeDays >= 0 && !prepared.entries.empty()) {
        prepared.changed = SafeBinPurge::purgeEntries(session, prepared.entries, purgeDays) || prepared.changed;
    }
    if (prepared.changed) prepared.text.clear();
    return prepared;
}

// Writes the manifest text and, once it is on disk, lets go of the journal.
std::optional<FileError> commitText(SafeBinSession& session, const QByteArray& text) {
    auto error = SafeBinManifest::save(session.bin, text);
    if (!error) session.clearJournal();
    return error;
}

std::optional<FileError> commit(SafeBinSession& session, const std::vector<SafeBinEntry>& entries) {
    return commitText(session, SafeBinEntry::encodeManifest(entries));
}

// Ends a change that wrote nothing of its own: what the purge or a settled
// crash changed is kept, else the journal is let go.
void finishUnchanged(SafeBinSession& session, const Prepared& prepared, const std::vector<SafeBinEntry>& entries) {
    if (prepared.changed) {
        commit(session, entries);
    } else {
        session.clearJournal();
    }
}

}  // namespace tarnwick::SafeBinUpkeep
