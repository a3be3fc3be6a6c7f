#include "services/safebin/SafeBinRestore.h"

#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "services/safebin/SafeBinAttributes.h"
#include "services/safebin/SafeBinErrors.h"
#include "services/safebin/SafeBinFolder.h"
#include "services/safebin/SafeBinJournal.h"
#include "services/safebin/SafeBinManifest.h"
#include "services/safebin/SafeBinMeasure.h"
#include "services/safebin/SafeBinPurge.h"
#include "services/safebin/SafeBinRemoval.h"
#include "services/safebin/SafeBinSession.h"
#include "services/safebin/SafeBinUpkeep.h"
#include "support/PathRules.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinRestore {

using Journal = SafeBinJournal::Kind;

namespace {

// ---- Putting back ----

QString putBackText(const SafeBinEntry& entry) {
    return QStringLiteral("Could not put back ") + FileError::quoted(entry.displayName);
}

// Where one item goes back: its folder opened as written (missing folders
// made again), or why it cannot.
struct Destination {
    QString path;  // standardised
    QString folder;
    QByteArray name;
    FileDescriptor parent;
    std::optional<FileError> error;
};

Destination openDestination(SafeBinSession& session, const SafeBinEntry& entry, const QString& original) {
    Destination destination;
    const QString putBack = putBackText(entry);
    if (!original.startsWith(QLatin1Char('/')) || !SafeBinFolder::namesAnItem(PathRules::lastPathComponent(original))) {
        destination.error = FileError::tarnwick(
            SafeBinErrors::kInvalidPathCode, putBack + QStringLiteral(": its original location ") + FileError::quoted(original) +
                                                 QStringLiteral(" is not the full path of an item."));
        return destination;
    }
    const FileError insideBin = FileError::tarnwick(
        SafeBinErrors::kInvalidPathCode, putBack + QStringLiteral(": its original location ") + FileError::quoted(original) +
                                             QStringLiteral(" is inside the Safe Bin."));
    if (SafeBinFolder::touchesBin(original, session.bin)) {
        destination.error = insideBin;
        return destination;
    }
    destination.path = PathRules::standardizingPath(original);
    destination.folder = PathRules::deletingLastPathComponent(destination.path);
    destination.name = PathCodec::encode(PathRules::lastPathComponent(destination.path));
    int error = 0;
    QString failedAt;
    destination.parent =
        FileOperations::openFolderAsWritten(destination.folder, SafeBinFolder::trustedPrefix(), error, true, &failedAt);
    if (error == ELOOP) {
        destination.error = FileError::tarnwick(SafeBinErrors::kPathChangedCode,
                                                putBack + QStringLiteral(": the folder ") + FileError::quoted(failedAt) +
                                                    QStringLiteral(" on its original path is now a link, so nothing was moved."));
    } else if (error) {
        destination.error = FileError::system(error, QStringLiteral("Could not create the folder ") + FileError::quoted(failedAt));
    } else {
        // The folder is open now: a link swapped in above it no longer matters.
        const QString kernel = FileOperations::kernelPath(destination.parent.get());
        if (!kernel.isEmpty() &&
            SafeBinFolder::touchesBin(PathRules::appendingPathComponent(kernel, PathCodec::decode(destination.name)),
                                      session.bin)) {
            destination.error = insideBin;
        }
    }
    return destination;
}

// What a move putting back the item at storedPath is given: a record that a
// copy is whole, just before it is put in place, and what the bin kept beside
// the item (AttributePolicy::backFromStore()). Made in place: the options
// point at its policy.
struct RestoreMove {
    RestoreMove(SafeBinSession& session, const SafeBinEntry& entry, const QString& storedPath, const QString& destination) {
        const QByteArray below =
            storedPath == entry.storedName ? QByteArray() : PathCodec::encode(storedPath.mid(entry.storedName.size() + 1));
        const SafeBinAttributes::Kept kept = SafeBinAttributes::below(SafeBinAttributes::read(session.fd(), entry.id), below);
        unreadable = kept.unreadable;
        attributes = AttributePolicy::backFromStore(kept.attributes, kept.had);
        options.allowSpecialFiles = true;  // put back as it was moved in
        options.attributes = &attributes;
        options.beforePlacing = [&session, id = entry.id, storedPath, destination](const struct stat& copy, const struct stat&) {
            return session.record(SafeBinJournal::identityLine(Journal::placed, id, storedPath, destination, copy));
        };
    }
    RestoreMove(const RestoreMove&) = delete;
    RestoreMove& operator=(const RestoreMove&) = delete;

    AttributePolicy attributes;
    FileOperations::MoveOptions options;
    bool unreadable = false;  // the file kept beside it could not be read: it goes back without
};

// An item that went back without what the bin kept of its attributes.
FileError unreadableAttributes(SafeBinSession& session, const SafeBinEntry& entry, const QString& destination) {
    const QString kept =
        PathRules::appendingPathComponent(session.bin, QString::fromLatin1(SafeBinAttributes::fileName(entry.id)));
    return FileError::tarnwick(SafeBinErrors::kAttributesUnreadableCode,
                               QStringLiteral("Put back ") + FileError::quoted(PathRules::abbreviatingWithTilde(destination)) +
                                   QStringLiteral(", but the attributes the Safe Bin kept for it in ") +
                                   FileError::quoted(PathRules::abbreviatingWithTilde(kept)) +
                                   QStringLiteral(" could not be read, so it came back without them."));
}

bool sameContents(const struct stat& a, const struct stat& b) {
    return (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Completes a restore into what is left of the item's own original: moves
// what the original lacks, drops the bin's copies of what is still there
// unchanged, and keeps the rest (named in conflicts).
void mergeInto(SafeBinSession& session, const SafeBinEntry& entry, int fromFolder, const QString& storedPath, int toFolder,
               const QString& destination, QStringList& conflicts) {
    std::vector<QByteArray> names;
    if (!SafeBinFolder::listNames(fromFolder, names)) {
        conflicts.append(destination);
        return;
    }
    for (const QByteArray& name : names) {
        const QString childStored = storedPath + QLatin1Char('/') + PathCodec::decode(name);
        const QString childDestination = PathRules::appendingPathComponent(destination, PathCodec::decode(name));
        struct stat source {};
        struct stat there {};
        bool sourceMount = false;
        bool thereMount = false;
        if (FileOperations::statEntry(fromFolder, name.constData(), source, sourceMount) != 0) continue;
        const int state = FileOperations::statEntry(toFolder, name.constData(), there, thereMount);
        if (state == ENOENT) {
            RestoreMove restoring(session, entry, childStored, childDestination);
            const auto moved = FileOperations::moveAt(
                fromFolder, name, toFolder, name, SafeBinFolder::itemPath(session.bin, childStored), childDestination,
                QStringLiteral("put back ") + FileError::quoted(childDestination), SafeBinFolder::restoreTag(entry),
                restoring.options);
            if (!moved.arrived) conflicts.append(childDestination);
            continue;
        }
        if (state != 0 || thereMount || sourceMount) {
            conflicts.append(childDestination);
        } else if (S_ISDIR(source.st_mode) && S_ISDIR(there.st_mode)) {
            const FileDescriptor from(::openat(fromFolder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            const FileDescriptor to(::openat(toFolder, name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!from.valid() || !to.valid()) {
                conflicts.append(childDestination);
                continue;
            }
            mergeInto(session, entry, from.get(), childStored, to.get(), childDestination, conflicts);
            (void)::unlinkat(fromFolder, name.constData(), AT_REMOVEDIR);  // only when nothing is left in it
        } else if (!S_ISDIR(source.st_mode) && sameContents(source, there)) {
            // The original never left: the bin's copy of it is not needed.
            FileOperations::removeItemAt(fromFolder, name, SafeBinFolder::itemPath(session.bin, childStored));
        } else {
            conflicts.append(childDestination);
        }
    }
}

// How a group's restore ended, in words.
FileError groupRefusal(const SafeBinEntry& entry, qsizetype putBack, const QStringList& occupied,
                       const std::vector<FileError>& failures) {
    QStringList texts;
    if (!occupied.isEmpty()) {
        const QString list = SafeBinErrors::pathListText(occupied);
        texts.append((putBack > 0 ? QStringLiteral("Put back ") + QString::number(putBack) + QStringLiteral(" items of ")
                                   : QStringLiteral("Nothing of ")) +
                     FileError::quoted(entry.displayName) +
                     (putBack > 0 ? QStringLiteral("; ") : QStringLiteral(" was put back: ")) +
                     QStringLiteral("something is already at the original location of ") + list +
                     QStringLiteral(", so ") + (occupied.size() == 1 ? QStringLiteral("it stays") : QStringLiteral("they stay")) +
                     QStringLiteral(" in the Safe Bin."));
    }
    for (const FileError& failure : failures) {
        if (!texts.contains(failure.description)) texts.append(failure.description);
    }
    FileError error = occupied.isEmpty() ? failures.front() : FileError::tarnwick(SafeBinErrors::kAlreadyExistsCode, QString());
    error.description = texts.join(QLatin1Char(' '));
    return error;
}

std::optional<FileError> restoreGroup(SafeBinSession& session, const SafeBinUpkeep::Prepared& prepared,
                                      std::vector<SafeBinEntry>& entries, SafeBinEntry recorded) {
    const FileDescriptor group = SafeBinFolder::openStoredFolder(session.fd(), recorded.storedName);
    if (!group.valid()) {
        SafeBinUpkeep::finishUnchanged(session, prepared, entries);
        return FileError::system(errno, putBackText(recorded));
    }
    if (auto error = session.record(SafeBinJournal::entryLine(Journal::restore, recorded))) {
        SafeBinUpkeep::finishUnchanged(session, prepared, entries);
        return error;
    }
    std::vector<SafeBinEntry::Member> kept;
    QStringList occupied;
    std::vector<FileError> failures;
    qsizetype putBack = 0;
    for (const SafeBinEntry::Member& member : *recorded.members) {
        auto keep = [&](std::optional<FileError> failure) {
            if (failure) failures.push_back(*failure);
            kept.push_back(member);
        };
        if (!SafeBinFolder::isPlainName(member.storedName)) {
            keep(FileError::tarnwick(SafeBinErrors::kInvalidRecordCode,
                                     putBackText(recorded) + QStringLiteral(": its record names no item of the Safe Bin.")));
            continue;
        }
        const QByteArray stored = PathCodec::encode(member.storedName);
        const QString storedPath = recorded.storedName + QLatin1Char('/') + member.storedName;
        if (const int state = SafeBinFolder::probeAt(group.get(), stored)) {
            keep(FileError::system(state, QStringLiteral("Could not put back ") + FileError::quoted(member.originalPath)));
            continue;
        }
        Destination destination = openDestination(session, recorded, member.originalPath);
        if (destination.error) {
            keep(destination.error);
            continue;
        }
        struct stat there {};
        if (::fstatat(destination.parent.get(), destination.name.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
            struct stat source {};
            const FileDescriptor to(::openat(destination.parent.get(), destination.name.constData(),
                                             O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            const FileDescriptor from(::openat(group.get(), stored.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (SafeBinMeasure::isRemains(member.remains, there) && to.valid() && from.valid() &&
                ::fstat(from.get(), &source) == 0) {
                QStringList conflicts;
                mergeInto(session, recorded, from.get(), storedPath, to.get(), destination.path, conflicts);
                if (::unlinkat(group.get(), stored.constData(), AT_REMOVEDIR) == 0) {
                    ++putBack;
                } else {
                    SafeBinEntry::Member left = member;
                    left.size = SafeBinMeasure::allocatedSizeAt(group.get(), stored);
                    kept.push_back(left);
                    occupied.append(conflicts);
                }
                continue;
            }
            occupied.append(member.originalPath);
            kept.push_back(member);
            continue;
        }
        RestoreMove restoring(session, recorded, storedPath, member.originalPath);
        const FileOperations::MoveResult moved = FileOperations::moveAt(
            group.get(), stored, destination.parent.get(), destination.name, SafeBinFolder::itemPath(session.bin, storedPath),
            member.originalPath, QStringLiteral("put back ") + FileError::quoted(member.originalPath),
            SafeBinFolder::restoreTag(recorded, member.storedName), restoring.options);
        if (!moved.arrived) {
            if (moved.error && moved.error->isSystem(EEXIST)) {
                occupied.append(member.originalPath);
                kept.push_back(member);
            } else {
                keep(moved.error);
            }
            continue;
        }
        ++putBack;
        if (restoring.unreadable) failures.push_back(unreadableAttributes(session, recorded, member.originalPath));
        // Back in place; a copy the bin could not wholly let go of is not offered again.
        if (moved.error) SafeBinRemoval::removeStoredPath(session, storedPath);
    }

    if (kept.empty()) {
        FileOperations::removeItemAt(session.fd(), PathCodec::encode(recorded.storedName),
                                     SafeBinFolder::itemPath(session.bin, recorded.storedName));
        SafeBinAttributes::remove(session.fd(), recorded.id);
        SafeBinManifest::eraseRecord(entries, recorded);
    } else if (SafeBinEntry* held = SafeBinManifest::findRecord(entries, recorded)) {
        held->size = SafeBinMeasure::sizeOfMembers(kept);
        held->members = std::move(kept);
    }
    if (auto error = SafeBinUpkeep::commit(session, entries)) return error;
    if (occupied.isEmpty() && failures.empty()) return std::nullopt;
    return groupRefusal(recorded, putBack, occupied, failures);
}

std::optional<FileError> restoreSingle(SafeBinSession& session, const SafeBinUpkeep::Prepared& prepared,
                                       std::vector<SafeBinEntry>& entries, const SafeBinEntry& recorded) {
    auto refuse = [&](FileError error) -> std::optional<FileError> {
        if (prepared.changed) SafeBinUpkeep::commit(session, entries);
        return error;
    };
    const QString destinationPath = recorded.originalPath;
    const QByteArray stored = PathCodec::encode(recorded.storedName);
    const QString source = SafeBinFolder::itemPath(session.bin, recorded.storedName);
    const QString action = QStringLiteral("put back ") + FileError::quoted(recorded.displayName) + QStringLiteral(" at ") +
                           FileError::quoted(destinationPath);
    Destination destination;
    if (!destinationPath.startsWith(QLatin1Char('/')) ||
        !SafeBinFolder::namesAnItem(PathRules::lastPathComponent(destinationPath)) ||
        SafeBinFolder::touchesBin(destinationPath, session.bin)) {
        return refuse(*openDestination(session, recorded, destinationPath).error);
    }
    if (const int state = SafeBinFolder::probeAt(session.fd(), stored)) {
        return refuse(FileError::system(state, QStringLiteral("Could not ") + action));
    }
    destination = openDestination(session, recorded, destinationPath);
    if (destination.error) return refuse(*destination.error);

    struct stat there {};
    if (::fstatat(destination.parent.get(), destination.name.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
        // Only what is left of this item's own original is completed; anything else stays as it is.
        struct stat held {};
        if (SafeBinMeasure::isRemains(recorded.remains, there) && !S_ISDIR(there.st_mode) &&
            ::fstatat(session.fd(), stored.constData(), &held, AT_SYMLINK_NOFOLLOW) == 0 && sameContents(held, there)) {
            // A file whose original was never removed: it is back already.
            if (auto error = session.record(SafeBinJournal::entryLine(Journal::destroy, recorded))) return refuse(*error);
            if (auto error = SafeBinRemoval::removeStored(session, recorded.storedName, recorded.id)) {
                SafeBinUpkeep::finishUnchanged(session, prepared, entries);
                return error;
            }
            SafeBinManifest::eraseRecord(entries, recorded);
            return SafeBinUpkeep::commit(session, entries);
        }
        const FileDescriptor to(::openat(destination.parent.get(), destination.name.constData(),
                                         O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        const FileDescriptor from(::openat(session.fd(), stored.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!SafeBinMeasure::isRemains(recorded.remains, there) || !to.valid() || !from.valid()) {
            return refuse(FileError::alreadyExists());
        }
        if (auto error = session.record(SafeBinJournal::entryLine(Journal::restore, recorded))) return refuse(*error);
        QStringList conflicts;
        mergeInto(session, recorded, from.get(), recorded.storedName, to.get(), destination.path, conflicts);
        if (::unlinkat(session.fd(), stored.constData(), AT_REMOVEDIR) == 0) {
            SafeBinAttributes::remove(session.fd(), recorded.id);
            SafeBinManifest::eraseRecord(entries, recorded);
            return SafeBinUpkeep::commit(session, entries);
        }
        if (SafeBinEntry* held = SafeBinManifest::findRecord(entries, recorded)) {
            held->size = SafeBinMeasure::allocatedSizeAt(session.fd(), stored);
        }
        if (auto error = SafeBinUpkeep::commit(session, entries)) return error;
        return groupRefusal(recorded, 1, conflicts, {});
    }

    if (auto error = session.record(SafeBinJournal::entryLine(Journal::restore, recorded))) return refuse(*error);
    RestoreMove restoring(session, recorded, recorded.storedName, destinationPath);
    const FileOperations::MoveResult moved =
        FileOperations::moveAt(session.fd(), stored, destination.parent.get(), destination.name, source, destinationPath,
                               action, SafeBinFolder::restoreTag(recorded), restoring.options);
    if (!moved.arrived) {
        SafeBinUpkeep::finishUnchanged(session, prepared, entries);
        if (moved.error && moved.error->isSystem(EEXIST)) return FileError::alreadyExists();
        return moved.error;
    }
    if (moved.error) {
        // Back in place, but the bin could not wholly let go of its copy:
        // what is left of it is removed, never offered again.
        SafeBinRemoval::removeStored(session, recorded.storedName, recorded.id);
    }
    SafeBinAttributes::remove(session.fd(), recorded.id);
    SafeBinManifest::eraseRecord(entries, recorded);
    if (auto error = SafeBinUpkeep::commit(session, entries)) return error;
    if (restoring.unreadable) return unreadableAttributes(session, recorded, destinationPath);
    return std::nullopt;
}

}  // namespace

std::optional<FileError> restore(const SafeBinEntry& entry) {
    SafeBinSession session;
    SafeBinUpkeep::Prepared prepared = SafeBinUpkeep::prepare(session, SafeBinPurge::kExpiryDays, false);
    if (prepared.error) return prepared.error;
    std::vector<SafeBinEntry> entries = std::move(prepared.entries);
    SafeBinManifest::sortNewestFirst(entries);
    auto refuse = [&](FileError error) -> std::optional<FileError> {
        if (prepared.changed) SafeBinUpkeep::commit(session, entries);
        return error;
    };
    if (!SafeBinFolder::isPlainStoredName(entry.storedName)) {
        return refuse(FileError::tarnwick(SafeBinErrors::kInvalidRecordCode,
                                          putBackText(entry) + QStringLiteral(": its record names no item of the Safe Bin.")));
    }
    const SafeBinEntry* recorded = SafeBinManifest::findRecord(entries, entry);
    if (!recorded) {
        return refuse(FileError::tarnwick(SafeBinErrors::kInvalidRecordCode,
                                          putBackText(entry) + QStringLiteral(": it is no longer in the Safe Bin.")));
    }
    // The manifest's own record: a group may hold fewer members than a copy the caller kept.
    const SafeBinEntry current = *recorded;
    if (current.members) return restoreGroup(session, prepared, entries, current);
    return restoreSingle(session, prepared, entries, current);
}

}  // namespace tarnwick::SafeBinRestore
