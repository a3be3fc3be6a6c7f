#include "services/safebin/SafeBinPurge.h"

#include "services/safebin/SafeBinFolder.h"
#include "services/safebin/SafeBinJournal.h"
#include "services/safebin/SafeBinRemoval.h"
#include "services/safebin/SafeBinSession.h"

#include <QByteArray>
#include <QDateTime>

namespace tarnwick::SafeBinPurge {

using Journal = SafeBinJournal::Kind;

namespace {

// Nothing is purged before it has spent this much of the computer's running
// time in the bin, whatever the clock did across restarts: a clean made while
// the clock was far behind, then a restart with the right time, never loses
// the item within minutes.
constexpr qint64 kLeastRunningMsecs = qint64(86400) * 1000;

}  // namespace

// Drops the entries that have spent more than days in the bin, and at least
// kLeastRunningMsecs of the computer's running time, removing their items. An
// entry dated later by the running time than the running time now (the clock
// file was lost, and the count started again) is dated now: it gets its
// running day from here. Returns true when the entries changed.
bool purgeEntries(SafeBinSession& session, std::vector<SafeBinEntry>& entries, int days) {
    const QDateTime cutoff = session.now.addSecs(-qint64(days) * 86400);
    std::vector<size_t> expired;
    bool redated = false;
    for (size_t i = 0; i < entries.size(); ++i) {
        SafeBinEntry& entry = entries[i];
        if (!(entry.removedAt < cutoff)) continue;
        if (entry.runningAt > session.runningMsecs) {
            entry.runningAt = session.runningMsecs;
            redated = true;
        } else if (session.runningMsecs - entry.runningAt >= kLeastRunningMsecs) {
            expired.push_back(i);
        }
    }
    if (expired.empty()) return redated;
    // Announced first: a purge cut short is finished by the next change.
    QByteArray lines;
    std::vector<bool> drop(entries.size(), false);
    for (const size_t i : expired) {
        const SafeBinEntry& entry = entries[i];
        if (!SafeBinFolder::isPlainStoredName(entry.storedName)) {
            drop[i] = true;  // names nothing in the folder: there is nothing of ours to remove
        } else {
            lines += SafeBinJournal::entryLine(Journal::destroy, entry);
        }
    }
    if (!lines.isEmpty() && !session.record(lines)) {
        for (const size_t i : expired) {
            // Still on disk (or holding a mount point): keep the record, try again next time.
            if (!drop[i]) drop[i] = !SafeBinRemoval::removeStored(session, entries[i].storedName, entries[i].id);
        }
    }
    std::vector<SafeBinEntry> kept;
    kept.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!drop[i]) kept.push_back(std::move(entries[i]));
    }
    const bool dropped = kept.size() != entries.size();
    entries = std::move(kept);
    return dropped || redated;
}

}  // namespace tarnwick::SafeBinPurge
