#include "services/safebin/SafeBinService.h"

#include "services/safebin/SafeBinFolder.h"
#include "services/safebin/SafeBinIntake.h"
#include "services/safebin/SafeBinJournal.h"
#include "services/safebin/SafeBinManifest.h"
#include "services/safebin/SafeBinMeasure.h"
#include "services/safebin/SafeBinRemoval.h"
#include "services/safebin/SafeBinRestore.h"
#include "services/safebin/SafeBinSession.h"
#include "services/safebin/SafeBinUpkeep.h"

// The store is in parts: SafeBinSession (the lock and the observed time of one
// change), SafeBinUpkeep (the start and end of a change) with SafeBinSettle
// (what a crash left in the journal), SafeBinPurge (what has spent its time)
// and SafeBinRemoval (removal for good and leftovers), SafeBinIntake (moving
// in), SafeBinRestore (putting back), and beneath them SafeBinFolder (the
// folder and its names), SafeBinMeasure (sizes and remains), SafeBinManifest,
// SafeBinJournal, SafeBinAttributes and SafeBinErrors.
namespace tarnwick::SafeBinService {

using Journal = SafeBinJournal::Kind;

QString root() { return SafeBinFolder::root(); }

std::vector<SafeBinEntry> list() {
    SafeBinManifest::Manifest manifest = SafeBinManifest::readManifest(root());
    if (manifest.error) return {};
    SafeBinManifest::sortNewestFirst(manifest.entries);
    return manifest.entries;
}

void settle() {
    SafeBinSession session;
    if (session.error) return;
    if (!SafeBinJournal::hasContent(session.fd())) {
        SafeBinRemoval::removeLeftovers(session);  // partial copies only: the manifest needs no reading
        return;
    }
    SafeBinUpkeep::Prepared prepared = SafeBinUpkeep::prepare(session, -1, true);
    if (prepared.error || !prepared.changed) return;
    SafeBinUpkeep::commit(session, prepared.entries);
}

void purgeExpired(int days) {
    SafeBinSession session;
    SafeBinUpkeep::Prepared prepared = SafeBinUpkeep::prepare(session, days, false);
    if (prepared.error || !prepared.changed) return;
    SafeBinUpkeep::commit(session, prepared.entries);
}

bool keepTime(int purgeDays, FileLock::Wait wait) {
    SafeBinSession session(wait);  // which reads and stores the clock
    if (session.error || purgeDays < 0) return false;
    const SafeBinUpkeep::Prepared prepared = SafeBinUpkeep::prepare(session, purgeDays, false, true);
    if (prepared.error || !prepared.changed) return false;
    SafeBinUpkeep::commit(session, prepared.entries);  // if it is not written, the journal keeps the purge for the next change
    return true;
}

std::vector<SafeBinItemResult> moveItems(const std::vector<SafeBinItemRequest>& requests, std::optional<FileError>* error) {
    return SafeBinIntake::moveItems(requests, error);
}

SafeBinMoveResult moveToSafeBin(const QStringList& paths) { return SafeBinIntake::moveToSafeBin(paths); }

std::optional<FileError> restore(const SafeBinEntry& entry) { return SafeBinRestore::restore(entry); }

std::optional<FileError> destroy(const SafeBinEntry& entry) {
    SafeBinSession session;
    SafeBinUpkeep::Prepared prepared = SafeBinUpkeep::prepare(session, kExpiryDays, false);
    if (prepared.error) return prepared.error;
    std::vector<SafeBinEntry> entries = std::move(prepared.entries);
    SafeBinManifest::sortNewestFirst(entries);
    const QString could = QStringLiteral("Could not delete ") + FileError::quoted(entry.displayName);
    if (!SafeBinManifest::findRecord(entries, entry)) {
        if (prepared.changed) SafeBinUpkeep::commit(session, entries);
        return FileError::tarnwick(kInvalidRecordCode, could + QStringLiteral(": it is no longer in the Safe Bin."));
    }

    if (SafeBinFolder::isPlainStoredName(entry.storedName)) {
        if (auto error = session.record(SafeBinJournal::entryLine(Journal::destroy, entry))) {
            if (prepared.changed) SafeBinUpkeep::commit(session, entries);
            return error;
        }
        if (auto error = SafeBinRemoval::removeStored(session, entry.storedName, entry.id)) {
            // The failure is the outcome: nothing is retried behind the user's back.
            SafeBinUpkeep::finishUnchanged(session, prepared, entries);
            error->description = could + QStringLiteral(" from the Safe Bin. ") + error->description;
            return error;
        }
    }
    SafeBinManifest::eraseRecord(entries, entry);
    return SafeBinUpkeep::commit(session, entries);
}

qint64 allocatedSize(const QString& path) { return SafeBinMeasure::allocatedSize(path); }

QString storedNameFor(const QUuid& id, const QString& displayName) { return SafeBinFolder::storedNameFor(id, displayName); }

QString pathListText(const QStringList& paths) { return SafeBinErrors::pathListText(paths); }

QString memberStoredNameFor(int position, const QString& name) { return SafeBinFolder::memberStoredNameFor(position, name); }

}  // namespace tarnwick::SafeBinService
