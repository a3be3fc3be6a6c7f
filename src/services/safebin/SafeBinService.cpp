#include "services/safebin/SafeBinService.h"

#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "services/safebin/SafeBinFolder.h"
#include "services/safebin/SafeBinIntake.h"
#include "services/safebin/SafeBinJournal.h"
#include "services/safebin/SafeBinManifest.h"
#include "services/safebin/SafeBinRestore.h"
#include "services/safebin/SafeBinSession.h"
#include "services/safebin/SafeBinUpkeep.h"
#include "support/AppIdentity.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <fcntl.h>
#include <unistd.h>

// The store is in parts: SafeBinSession (the lock and the observed time of one
// change), SafeBinUpkeep (the start and end of a change: the journal, settle
// and purge), SafeBinIntake (moving in), SafeBinRestore (putting back), with
// SafeBinFolder and SafeBinManifest for the folder's names and the manifest.
namespace tarnwick::SafeBinService {

using namespace SafeBinFolder;
using namespace SafeBinManifest;
using namespace SafeBinUpkeep;
using Journal = SafeBinJournal::Kind;

QString root() {
    const QString current = PathRules::appendingPathComponent(AppIdentity::supportDirectory(), QStringLiteral("SafeBin"));
    FileOperations::makePath(current);
    const QString legacy = PathRules::appendingPathComponent(AppIdentity::legacySupportDirectory(), QStringLiteral("SafeBin"));
    if (!FileOperations::itemExists(manifestPath(current)) && FileOperations::itemExists(manifestPath(legacy))) {
        return legacy;
    }
    return current;
}

std::vector<SafeBinEntry> list() {
    Manifest manifest = readManifest(root());
    if (manifest.error) return {};
    sortNewestFirst(manifest.entries);
    return manifest.entries;
}

void settle() {
    SafeBinSession session;
    if (session.error) return;
    if (!SafeBinJournal::hasContent(session.fd())) {
        removeLeftovers(session);  // partial copies only: the manifest needs no reading
        return;
    }
    Prepared prepared = prepare(session, -1, true);
    if (prepared.error || !prepared.changed) return;
    commit(session, prepared.entries);
}

void purgeExpired(int days) {
    SafeBinSession session;
    Prepared prepared = prepare(session, days, false);
    if (prepared.error || !prepared.changed) return;
    commit(session, prepared.entries);
}

bool keepTime(int purgeDays) {
    SafeBinSession session;  // which reads and stores the clock
    if (session.error || purgeDays < 0) return false;
    Prepared prepared = prepare(session, purgeDays, false, true);
    if (prepared.error || !prepared.changed) return false;
    commit(session, prepared.entries);  // if it is not written, the journal keeps the purge for the next change
    return true;
}

std::vector<SafeBinItemResult> moveItems(const std::vector<SafeBinItemRequest>& requests, std::optional<FileError>* error) {
    return SafeBinIntake::moveItems(requests, error);
}

SafeBinMoveResult moveToSafeBin(const QStringList& paths) { return SafeBinIntake::moveToSafeBin(paths); }

std::optional<FileError> restore(const SafeBinEntry& entry) { return SafeBinRestore::restore(entry); }

std::optional<FileError> destroy(const SafeBinEntry& entry) {
    SafeBinSession session;
    Prepared prepared = prepare(session, kExpiryDays, false);
    if (prepared.error) return prepared.error;
    std::vector<SafeBinEntry> entries = std::move(prepared.entries);
    sortNewestFirst(entries);
    const QString could = QStringLiteral("Could not delete ") + FileError::quoted(entry.displayName);
    if (!findRecord(entries, entry)) {
        if (prepared.changed) commit(session, entries);
        return FileError::tarnwick(kInvalidRecordCode, could + QStringLiteral(": it is no longer in the Safe Bin."));
    }

    if (isPlainStoredName(entry.storedName)) {
        if (auto error = session.record(SafeBinJournal::entryLine(Journal::destroy, entry))) {
            if (prepared.changed) commit(session, entries);
            return error;
        }
        if (auto error = removeStored(session, entry.storedName, entry.id)) {
            // The failure is the outcome: nothing is retried behind the user's back.
            finishUnchanged(session, prepared, entries);
            error->description = could + QStringLiteral(" from the Safe Bin. ") + error->description;
            return error;
        }
    }
    eraseRecord(entries, entry);
    return commit(session, entries);
}

qint64 allocatedSize(const QString& path) {
    const QString folder = PathRules::deletingLastPathComponent(path);
    const int dirFd = ::open(PathCodec::encode(folder.isEmpty() ? QStringLiteral(".") : folder).constData(),
                             O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return 0;
    const qint64 size = allocatedSizeAt(dirFd, PathCodec::encode(PathRules::lastPathComponent(path)));
    ::close(dirFd);
    return size;
}

QString storedNameFor(const QUuid& id, const QString& displayName) {
    return nameWithPrefix(JsonCoding::uuidText(id) + QLatin1Char('-'), displayName);
}

QString pathListText(const QStringList& paths) {
    QStringList named;
    for (qsizetype i = 0; i < paths.size() && i < kNamedFailures; ++i) {
        named.append(FileError::quoted(PathRules::abbreviatingWithTilde(paths[i])));
    }
    QString text = named.join(QStringLiteral(", "));
    if (paths.size() > kNamedFailures) {
        text += QStringLiteral(" and ") + QString::number(paths.size() - kNamedFailures) + QStringLiteral(" more");
    }
    return text;
}

QString memberStoredNameFor(int position, const QString& name) {
    return nameWithPrefix(QString::number(position) + QLatin1Char('-'), name);
}

}  // namespace tarnwick::SafeBinService
