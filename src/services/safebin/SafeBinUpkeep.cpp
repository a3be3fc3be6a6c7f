#include "services/safebin/SafeBinUpkeep.h"

#include "platform/FileOperations.h"
#include "platform/MountTable.h"
#include "platform/PathCodec.h"
#include "services/safebin/SafeBinAttributes.h"
#include "services/safebin/SafeBinFolder.h"
#include "services/safebin/SafeBinJournal.h"
#include "services/safebin/SafeBinManifest.h"
#include "services/safebin/SafeBinService.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <QUuid>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinUpkeep {

using namespace SafeBinFolder;
using namespace SafeBinManifest;
using namespace SafeBinService;
using Journal = SafeBinJournal::Kind;

namespace {

// Nothing is purged before it has spent this much of the computer's running
// time in the bin, whatever the clock did across restarts: a clean made while
// the clock was far behind, then a restart with the right time, never loses
// the item within minutes.
constexpr qint64 kLeastRunningMsecs = qint64(86400) * 1000;

void removePartialCopiesBelow(const QString& path, const QByteArray& name, int depth = 0);

// The mount point at or below the bin's entry name, named as the bin's path.
std::optional<QString> mountInside(SafeBinSession& session, int folderFd, const QString& folderPath, const QString& name) {
    const QString kernel = FileOperations::kernelPath(folderFd);
    if (kernel.isEmpty()) return std::nullopt;
    const QString item = PathRules::appendingPathComponent(kernel, name);
    const std::optional<QString> mount = session.mounts().mountAtOrBelow(item);
    if (!mount) return std::nullopt;
    return PathRules::appendingPathComponent(folderPath, name) + mount->mid(item.size());
}

// The members of a group still in its folder (partial copies there removed),
// with their sizes measured again.
std::vector<SafeBinEntry::Member> heldMembers(const SafeBinSession& session, const SafeBinEntry& entry) {
    std::vector<SafeBinEntry::Member> held;
    const FileDescriptor folder = openStoredFolder(session.fd(), entry.storedName);
    if (!folder.valid() || !entry.members) return held;
    std::vector<QByteArray> names;
    listNames(folder.get(), names);
    for (const QByteArray& name : names) {
        if (std::string_view(name.constData(), size_t(name.size())).starts_with(FileOperations::kPartialPrefix)) {
            FileOperations::removeItemAt(folder.get(), name, itemPath(session.bin, entry.storedName));
        }
    }
    for (SafeBinEntry::Member member : *entry.members) {
        if (!isPlainName(member.storedName)) continue;
        const QByteArray name = PathCodec::encode(member.storedName);
        if (probeAt(folder.get(), name) != 0) continue;
        member.size = allocatedSizeAt(folder.get(), name);
        held.push_back(std::move(member));
    }
    return held;
}

// The identity of what the path now names, opened as written (no folders made).
std::optional<struct stat> statAsWritten(const QString& path) {
    const QString standard = PathRules::standardizingPath(path);
    if (!standard.startsWith(QLatin1Char('/')) || !namesAnItem(PathRules::lastPathComponent(standard))) return std::nullopt;
    int error = 0;
    const FileDescriptor parent =
        FileOperations::openFolderAsWritten(PathRules::deletingLastPathComponent(standard), trustedPrefix(), error);
    if (!parent.valid()) return std::nullopt;
    struct stat st {};
    if (::fstatat(parent.get(), PathCodec::encode(PathRules::lastPathComponent(standard)).constData(), &st,
                  AT_SYMLINK_NOFOLLOW) != 0) {
        return std::nullopt;
    }
    return st;
}

// Removes, in the folder at path (as written) and below it, the partial copies named name.
void removePartialCopiesBelow(const QString& path, const QByteArray& name, int depth) {
    int error = 0;
    const FileDescriptor opened = FileOperations::openFolderAsWritten(path, trustedPrefix(), error);
    if (!opened.valid() || depth > 64) return;
    const FileDescriptor folder(::openat(opened.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<QByteArray> names;
    if (!folder.valid() || !listNames(folder.get(), names)) return;
    for (const QByteArray& child : names) {
        const QString childPath = PathRules::appendingPathComponent(path, PathCodec::decode(child));
        if (child == name) {
            FileOperations::removeItemAt(folder.get(), child, childPath);
            continue;
        }
        struct stat st {};
        bool mountRoot = false;
        if (FileOperations::statEntry(folder.get(), child.constData(), st, mountRoot) == 0 && S_ISDIR(st.st_mode) &&
            !mountRoot) {
            removePartialCopiesBelow(childPath, name, depth + 1);
        }
    }
}

// Settles the intents a crash left in the journal against the entries read
// from the manifest. Returns true when the entries changed. The journal stays
// until a manifest holding the outcome has been written.
bool settleIntents(SafeBinSession& session, std::vector<SafeBinEntry>& entries) {
    const std::vector<SafeBinJournal::Line> lines = SafeBinJournal::read(session.fd());
    bool changed = false;
    for (const SafeBinJournal::Line& line : lines) {
        if (line.kind == Journal::copied || line.kind == Journal::placed) continue;
        const SafeBinEntry& entry = line.entry;
        if (!isPlainStoredName(entry.storedName)) continue;
        const QByteArray stored = PathCodec::encode(entry.storedName);
        const bool held = probeAt(session.fd(), stored) == 0;
        SafeBinEntry* recorded = findRecord(entries, entry);
        auto lineFor = [&](Journal kind) {
            std::vector<const SafeBinJournal::Line*> found;
            for (const SafeBinJournal::Line& other : lines) {
                if (other.kind == kind && other.id == entry.id) found.push_back(&other);
            }
            return found;
        };
        switch (line.kind) {
        case Journal::move: {
            // Held but not recorded: the move went through and the process
            // died before the manifest said so. Not held: it never arrived.
            if (!held || recorded) break;
            SafeBinEntry adopted = entry;
            if (entry.members) {
                adopted.members = heldMembers(session, entry);
                if (adopted.members->empty()) {
                    FileOperations::removeItemAt(session.fd(), stored, itemPath(session.bin, entry.storedName));
                    break;
                }
                adopted.size = sizeOfMembers(*adopted.members);
            } else {
                adopted.size = allocatedSizeAt(session.fd(), stored);
            }
            // A copy whose original was not wholly removed: those are its remains.
            for (const SafeBinJournal::Line* copied : lineFor(Journal::copied)) {
                const std::optional<struct stat> now = statAsWritten(copied->destination);
                if (!now || quint64(now->st_dev) != copied->device || quint64(now->st_ino) != copied->inode) continue;
                if (copied->storedPath == entry.storedName) {
                    adopted.remains = remainsOf(*now);
                } else if (adopted.members) {
                    for (SafeBinEntry::Member& member : *adopted.members) {
                        if (copied->storedPath == entry.storedName + QLatin1Char('/') + member.storedName) {
                            member.remains = remainsOf(*now);
                        }
                    }
                }
            }
            entries.insert(entries.begin(), adopted);
            changed = true;
            break;
        }
        case Journal::restore: {
            // Copies on their way to the original places (across file
            // systems) are incomplete: the items are still whole in the bin.
            auto removePartial = [&](const QString& destination, const QString& tag) {
                const QString standard = PathRules::standardizingPath(destination);
                if (!standard.startsWith(QLatin1Char('/'))) return;
                const QString folder = PathRules::deletingLastPathComponent(standard);
                int error = 0;
                const FileDescriptor parent = FileOperations::openFolderAsWritten(folder, trustedPrefix(), error);
                if (!parent.valid()) return;
                const QByteArray partial = FileOperations::partialName(tag);
                FileOperations::removeItemAt(parent.get(), partial,
                                             PathRules::appendingPathComponent(folder, PathCodec::decode(partial)));
            };
            if (entry.members) {
                for (const SafeBinEntry::Member& member : *entry.members) {
                    removePartial(member.originalPath, restoreTag(entry, member.storedName));
                    if (member.remains) {
                        removePartialCopiesBelow(member.originalPath, FileOperations::partialName(restoreTag(entry)));
                    }
                }
            } else {
                removePartial(entry.originalPath, restoreTag(entry));
                if (entry.remains) removePartialCopiesBelow(entry.originalPath, FileOperations::partialName(restoreTag(entry)));
            }
            // Copies that were put in place: what the bin still has of them goes.
            for (const SafeBinJournal::Line* placed : lineFor(Journal::placed)) {
                const std::optional<struct stat> now = statAsWritten(placed->destination);
                if (now && quint64(now->st_dev) == placed->device && quint64(now->st_ino) == placed->inode) {
                    removeStoredPath(session, placed->storedPath);
                }
            }
            if (!recorded) break;
            if (probeAt(session.fd(), stored) != 0) {
                changed = eraseRecord(entries, entry) || changed;
            } else if (recorded->members) {
                std::vector<SafeBinEntry::Member> held = heldMembers(session, *recorded);
                if (held.empty()) {
                    FileOperations::removeItemAt(session.fd(), stored, itemPath(session.bin, entry.storedName));
                    changed = eraseRecord(entries, entry) || changed;
                } else if (held != *recorded->members) {
                    recorded->size = sizeOfMembers(held);
                    recorded->members = std::move(held);
                    changed = true;
                }
            } else if (const qint64 size = allocatedSizeAt(session.fd(), stored); size != recorded->size) {
                recorded->size = size;  // a restore into remains that was cut short
                changed = true;
            }
            break;
        }
        case Journal::destroy:
            if (held && removeStored(session, entry.storedName, entry.id)) break;  // still there: keep the record
            if (recorded) changed = eraseRecord(entries, entry) || changed;
            break;
        case Journal::copied:
        case Journal::placed:
            break;
        }
    }
    return changed;
}

// Drops the entries that have spent more than days in the bin, and at least
// kLeastRunning of the computer's running time, removing their items. An
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
        if (!isPlainStoredName(entry.storedName)) {
            drop[i] = true;  // names nothing in the folder: there is nothing of ours to remove
        } else {
            lines += SafeBinJournal::entryLine(Journal::destroy, entry);
        }
    }
    if (!lines.isEmpty() && !session.record(lines)) {
        for (const size_t i : expired) {
            // Still on disk (or holding a mount point): keep the record, try again next time.
            if (!drop[i]) drop[i] = !removeStored(session, entries[i].storedName, entries[i].id);
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

}  // namespace

// Removes a stored item (or anything named in the bin) for good: renamed
// aside first, then removed, so that it is either whole under its name or
// on its way out. An item holding a mount point is left whole; one that
// cannot be removed wholly goes back under its name. The failure is
// returned. Nothing there is no failure.
std::optional<FileError> removeStored(SafeBinSession& session, const QString& storedName, const QUuid& id) {
    const QByteArray name = PathCodec::encode(storedName);
    const QString path = itemPath(session.bin, storedName);
    if (probeAt(session.fd(), name) == ENOENT) return std::nullopt;
    if (const int fault = FileOperations::injectedFault("remove", path)) {
        return FileError::system(fault, QStringLiteral("Could not remove ") + FileError::quoted(path));
    }
    std::optional<QString> mount = mountInside(session, session.fd(), session.bin, storedName);
    if (!mount) {
        const FileOperations::TreeReport report = FileOperations::inspectTree(session.fd(), name, path, -1, true);
        if (!report.mountPoint.isEmpty()) mount = report.mountPoint;
    }
    if (mount) {
        return FileError::tarnwick(kMountPointCode, FileError::quoted(path) + QStringLiteral(" holds the mount point ") +
                                                        FileError::quoted(*mount) +
                                                        QStringLiteral(", another file system, so it was left alone."));
    }
    const QByteArray aside = QByteArray(kRemovingPrefix.data(), qsizetype(kRemovingPrefix.size())) +
                             JsonCoding::uuidText(QUuid::createUuid()).toLatin1();
    if (const int error = FileOperations::renameNoReplaceAt(session.fd(), name, session.fd(), aside)) {
        if (error == ENOENT) return std::nullopt;
        return FileError::system(error, QStringLiteral("Could not remove ") + FileError::quoted(path));
    }
    auto error = FileOperations::removeItemAt(session.fd(), aside, path);
    if (error) {
        (void)FileOperations::renameNoReplaceAt(session.fd(), aside, session.fd(), name);
    } else {
        SafeBinAttributes::remove(session.fd(), id);
    }
    return error;
}

// Removes what interrupted work left in the bin folder: partial copies of
// moves that never finished, items on their way out and temporary manifests.
// Only under the lock: no other change is under way then.
void removeLeftovers(const SafeBinSession& session) {
    std::vector<QByteArray> names;
    if (!listNames(session.fd(), names)) return;
    const QByteArray temporaryPrefix = "." + PathCodec::encode(kManifestName) + ".tmp-";
    for (const QByteArray& name : names) {
        const std::string_view text(name.constData(), size_t(name.size()));
        if (text.starts_with(FileOperations::kPartialPrefix) || text.starts_with(kRemovingPrefix) ||
            text.starts_with(std::string_view(temporaryPrefix.constData(), size_t(temporaryPrefix.size())))) {
            FileOperations::removeItemAt(session.fd(), name,
                                         PathRules::appendingPathComponent(session.bin, PathCodec::decode(name)));
        }
    }
    SafeBinAttributes::removeOrphans(session.fd(), names);
}

qint64 sizeOfMembers(const std::vector<SafeBinEntry::Member>& members) {
    qint64 total = 0;
    for (const SafeBinEntry::Member& member : members) total += member.size;
    return total;
}

// The bin's item at a stored path ("<stored>/<member>/…", every part a plain name), removed.
void removeStoredPath(const SafeBinSession& session, const QString& storedPath) {
    const QStringList parts = storedPath.split(QLatin1Char('/'));
    if (parts.isEmpty() || !isPlainStoredName(parts.first())) return;
    for (const QString& part : parts) {
        if (!isPlainName(part)) return;
    }
    FileDescriptor folder(::fcntl(session.fd(), F_DUPFD_CLOEXEC, 0));
    for (qsizetype i = 0; i + 1 < parts.size() && folder.valid(); ++i) {
        folder.reset(::openat(folder.get(), PathCodec::encode(parts[i]).constData(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    if (folder.valid()) {
        FileOperations::removeItemAt(folder.get(), PathCodec::encode(parts.last()), itemPath(session.bin, storedPath));
    }
}

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
    Manifest manifest = readManifest(session.bin, skimBefore);
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
    if (journal) prepared.changed = settleIntents(session, prepared.entries);
    if (journal || removeStrays) removeLeftovers(session);
    if (journal && !prepared.changed) session.clearJournal();
    if (purgeDays >= 0 && !prepared.entries.empty()) {
        prepared.changed = purgeEntries(session, prepared.entries, purgeDays) || prepared.changed;
    }
    if (prepared.changed) prepared.text.clear();
    return prepared;
}

// Writes the manifest text and, once it is on disk, lets go of the journal.
std::optional<FileError> commitText(SafeBinSession& session, const QByteArray& text) {
    auto error = save(session.bin, text);
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
