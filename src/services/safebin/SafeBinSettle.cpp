#include "services/safebin/SafeBinSettle.h"

#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "services/safebin/SafeBinFolder.h"
#include "services/safebin/SafeBinJournal.h"
#include "services/safebin/SafeBinManifest.h"
#include "services/safebin/SafeBinMeasure.h"
#include "services/safebin/SafeBinRemoval.h"
#include "support/PathRules.h"

#include <QByteArray>

#include <optional>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinSettle {

using Journal = SafeBinJournal::Kind;

namespace {

void removePartialCopiesBelow(const QString& path, const QByteArray& name, int depth = 0);

// The members of a group still in its folder (partial copies there removed),
// with their sizes measured again.
std::vector<SafeBinEntry::Member> heldMembers(const SafeBinSession& session, const SafeBinEntry& entry) {
    std::vector<SafeBinEntry::Member> held;
    const FileDescriptor folder = SafeBinFolder::openStoredFolder(session.fd(), entry.storedName);
    if (!folder.valid() || !entry.members) return held;
    std::vector<QByteArray> names;
    SafeBinFolder::listNames(folder.get(), names);
    for (const QByteArray& name : names) {
        if (std::string_view(name.constData(), size_t(name.size())).starts_with(FileOperations::kPartialPrefix)) {
            FileOperations::removeItemAt(folder.get(), name, SafeBinFolder::itemPath(session.bin, entry.storedName));
        }
    }
    for (SafeBinEntry::Member member : *entry.members) {
        if (!SafeBinFolder::isPlainName(member.storedName)) continue;
        const QByteArray name = PathCodec::encode(member.storedName);
        if (SafeBinFolder::probeAt(folder.get(), name) != 0) continue;
        member.size = SafeBinMeasure::allocatedSizeAt(folder.get(), name);
        held.push_back(std::move(member));
    }
    return held;
}

// The identity of what the path now names, opened as written (no folders made).
std::optional<struct stat> statAsWritten(const QString& path) {
    const QString standard = PathRules::standardizingPath(path);
    if (!standard.startsWith(QLatin1Char('/')) || !SafeBinFolder::namesAnItem(PathRules::lastPathComponent(standard))) {
        return std::nullopt;
    }
    int error = 0;
    const FileDescriptor parent = FileOperations::openFolderAsWritten(PathRules::deletingLastPathComponent(standard),
                                                                      SafeBinFolder::trustedPrefix(), error);
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
    const FileDescriptor opened = FileOperations::openFolderAsWritten(path, SafeBinFolder::trustedPrefix(), error);
    if (!opened.valid() || depth > 64) return;
    const FileDescriptor folder(::openat(opened.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<QByteArray> names;
    if (!folder.valid() || !SafeBinFolder::listNames(folder.get(), names)) return;
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

}  // namespace

// Settles the intents a crash left in the journal against the entries read
// from the manifest. Returns true when the entries changed. The journal stays
// until a manifest holding the outcome has been written.
bool settleIntents(SafeBinSession& session, std::vector<SafeBinEntry>& entries) {
    const std::vector<SafeBinJournal::Line> lines = SafeBinJournal::read(session.fd());
    bool changed = false;
    for (const SafeBinJournal::Line& line : lines) {
        if (line.kind == Journal::copied || line.kind == Journal::placed) continue;
        const SafeBinEntry& entry = line.entry;
        if (!SafeBinFolder::isPlainStoredName(entry.storedName)) continue;
        const QByteArray stored = PathCodec::encode(entry.storedName);
        const bool held = SafeBinFolder::probeAt(session.fd(), stored) == 0;
        SafeBinEntry* recorded = SafeBinManifest::findRecord(entries, entry);
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
                    FileOperations::removeItemAt(session.fd(), stored, SafeBinFolder::itemPath(session.bin, entry.storedName));
                    break;
                }
                adopted.size = SafeBinMeasure::sizeOfMembers(*adopted.members);
            } else {
                adopted.size = SafeBinMeasure::allocatedSizeAt(session.fd(), stored);
            }
            // A copy whose original was not wholly removed: those are its remains.
            for (const SafeBinJournal::Line* copied : lineFor(Journal::copied)) {
                const std::optional<struct stat> now = statAsWritten(copied->destination);
                if (!now || quint64(now->st_dev) != copied->device || quint64(now->st_ino) != copied->inode) continue;
                if (copied->storedPath == entry.storedName) {
                    adopted.remains = SafeBinMeasure::remainsOf(*now);
                } else if (adopted.members) {
                    for (SafeBinEntry::Member& member : *adopted.members) {
                        if (copied->storedPath == entry.storedName + QLatin1Char('/') + member.storedName) {
                            member.remains = SafeBinMeasure::remainsOf(*now);
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
                const FileDescriptor parent = FileOperations::openFolderAsWritten(folder, SafeBinFolder::trustedPrefix(), error);
                if (!parent.valid()) return;
                const QByteArray partial = FileOperations::partialName(tag);
                FileOperations::removeItemAt(parent.get(), partial,
                                             PathRules::appendingPathComponent(folder, PathCodec::decode(partial)));
            };
            if (entry.members) {
                for (const SafeBinEntry::Member& member : *entry.members) {
                    removePartial(member.originalPath, SafeBinFolder::restoreTag(entry, member.storedName));
                    if (member.remains) {
                        removePartialCopiesBelow(member.originalPath,
                                                 FileOperations::partialName(SafeBinFolder::restoreTag(entry)));
                    }
                }
            } else {
                removePartial(entry.originalPath, SafeBinFolder::restoreTag(entry));
                if (entry.remains) {
                    removePartialCopiesBelow(entry.originalPath, FileOperations::partialName(SafeBinFolder::restoreTag(entry)));
                }
            }
            // Copies that were put in place: what the bin still has of them goes.
            for (const SafeBinJournal::Line* placed : lineFor(Journal::placed)) {
                const std::optional<struct stat> now = statAsWritten(placed->destination);
                if (now && quint64(now->st_dev) == placed->device && quint64(now->st_ino) == placed->inode) {
                    SafeBinRemoval::removeStoredPath(session, placed->storedPath);
                }
            }
            if (!recorded) break;
            if (SafeBinFolder::probeAt(session.fd(), stored) != 0) {
                changed = SafeBinManifest::eraseRecord(entries, entry) || changed;
            } else if (recorded->members) {
                std::vector<SafeBinEntry::Member> held = heldMembers(session, *recorded);
                if (held.empty()) {
                    FileOperations::removeItemAt(session.fd(), stored, SafeBinFolder::itemPath(session.bin, entry.storedName));
                    changed = SafeBinManifest::eraseRecord(entries, entry) || changed;
                } else if (held != *recorded->members) {
                    recorded->size = SafeBinMeasure::sizeOfMembers(held);
                    recorded->members = std::move(held);
                    changed = true;
                }
            } else if (const qint64 size = SafeBinMeasure::allocatedSizeAt(session.fd(), stored); size != recorded->size) {
                recorded->size = size;  // a restore into remains that was cut short
                changed = true;
            }
            break;
        }
        case Journal::destroy:
            if (held && SafeBinRemoval::removeStored(session, entry.storedName, entry.id)) break;  // still there: keep the record
            if (recorded) changed = SafeBinManifest::eraseRecord(entries, entry) || changed;
            break;
        case Journal::copied:
        case Journal::placed:
            break;
        }
    }
    return changed;
}

}  // namespace tarnwick::SafeBinSettle
