#include "services/store/SafeBinService.h"

#include "platform/Environment.h"
#include "platform/FileDescriptor.h"
#include "platform/FileLock.h"
#include "platform/FileOperations.h"
#include "platform/MountTable.h"
#include "platform/PathCodec.h"
#include "services/store/SafeBinClock.h"
#include "services/store/SafeBinJournal.h"
#include "services/store/TrashService.h"
#include "support/AppIdentity.h"
#include "support/AtomicFile.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinService {

namespace {

using Journal = SafeBinJournal::Kind;

constexpr int kMaxNameBytes = 255;
constexpr int kMaxKeptExtensionBytes = 32;
constexpr int kMaxMeasuredEntries = 40000;
// Intents are written and synced for this many items at a time, then those
// items move: one sync per batch instead of one per item, and a crash still
// finds every item that moved announced in the journal.
constexpr qsizetype kIntentBatch = 256;
// Failures named one by one in a message; the rest are counted.
constexpr qsizetype kNamedFailures = 3;

const QString kManifestName = QStringLiteral("manifest.json");
const QString kJournalName = QString::fromLatin1(SafeBinJournal::kFileName);
const QString kLockName = QStringLiteral("manifest.lock");
const QString kClockName = QString::fromLatin1(SafeBinClock::kFileName);
// An item on its way out for good: renamed to this first, so that a kill
// during the removal never leaves a half-removed item under its stored name.
constexpr std::string_view kRemovingPrefix = ".tarnwick-removing-";

QString manifestPath(const QString& bin) { return PathRules::appendingPathComponent(bin, kManifestName); }

QString itemPath(const QString& bin, const QString& storedName) { return bin + QLatin1Char('/') + storedName; }

QString prefixText(std::string_view prefix) { return QString::fromLatin1(prefix.data(), qsizetype(prefix.size())); }

std::mutex& storeMutex() {
    static std::mutex mutex;
    return mutex;
}

// A name inside the bin (or inside a group's folder) that is one entry of
// that folder: never a path, never the folder or its parent.
bool isPlainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) &&
           !name.startsWith(prefixText(FileOperations::kPartialPrefix)) && !name.startsWith(prefixText(kRemovingPrefix));
}

// A stored name from the manifest is only used when it names one entry of the
// Safe Bin folder itself, and never one of the store's own files.
bool isPlainStoredName(const QString& name) {
    return isPlainName(name) && name != kManifestName && name != kJournalName && name != kLockName && name != kClockName;
}

// The last component of a path names an item (not "/", "." or "..").
bool namesAnItem(const QString& name) {
    return !name.isEmpty() && name != QLatin1String("/") && name != QLatin1String(".") && name != QLatin1String("..");
}

bool sameRecord(const SafeBinEntry& a, const SafeBinEntry& b) { return a.id == b.id && a.storedName == b.storedName; }

// The only folder whose own links are resolved when a path is opened.
QString trustedPrefix() { return Environment::current().homeDirectory; }

// A manifest larger than this is refused as unreadable (about 3.5 million entries).
constexpr qint64 kMaxManifestBytes = qint64(1) << 30;

struct Manifest {
    std::vector<SafeBinEntry> entries;
    QByteArray text;                 // the file as read (empty when there was none)
    bool decoded = true;             // entries holds every entry of text
    std::optional<FileError> error;  // there, but not readable or decodable
};

QString unreadableText(const QString& path) {
    return QStringLiteral("The Safe Bin\u2019s list of items ") + FileError::quoted(path) +
           QStringLiteral(" cannot be read, so nothing was changed. The items in the Safe Bin are untouched.");
}

// Reads and decodes the manifest. With skimBefore set, a manifest that a
// quick pass finds sorted newest first and holding nothing moved in before
// that date is not decoded at all (decoded false, text kept): a move into it
// needs no more.
Manifest readManifest(const QString& bin, std::optional<QDateTime> skimBefore = std::nullopt) {
    Manifest manifest;
    const QString path = manifestPath(bin);
    const int state = FileOperations::probe(path);
    if (state == ENOENT || state == ENOTDIR) return manifest;  // no manifest yet
    auto data = AtomicFile::read(path, kMaxManifestBytes);
    if (data && skimBefore) {
        const auto summary = SafeBinEntry::summarizeManifest(*data);
        if (summary && summary->newestFirst && !(summary->oldest && *summary->oldest < *skimBefore)) {
            manifest.text = std::move(*data);
            manifest.decoded = false;
            return manifest;
        }
    }
    auto entries = data ? SafeBinEntry::decodeManifest(*data) : std::nullopt;
    if (!entries) {
        manifest.error = FileError::tarnwick(kManifestUnreadableCode, unreadableText(path));
        return manifest;
    }
    manifest.entries = std::move(*entries);
    manifest.text = std::move(*data);
    return manifest;
}

std::optional<FileError> save(const QString& bin, const QByteArray& text) {
    const QString path = manifestPath(bin);
    QString reason;
    int code = 0;
    if (!AtomicFile::write(path, text, &reason, &code)) {
        return FileError::system(code, QStringLiteral("Could not write the Safe Bin\u2019s list of items ") +
                                           FileError::quoted(path));
    }
    return std::nullopt;
}

bool newer(const SafeBinEntry& a, const SafeBinEntry& b) { return a.removedAt > b.removedAt; }

bool isNewestFirst(const std::vector<SafeBinEntry>& entries) {
    return std::is_sorted(entries.begin(), entries.end(), newer);
}

void sortNewestFirst(std::vector<SafeBinEntry>& entries) {
    if (!isNewestFirst(entries)) std::stable_sort(entries.begin(), entries.end(), newer);
}

// Drops the records of one stored item: same id and same stored name. A
// hand-edited manifest may repeat an id; the other records are not touched.
bool eraseRecord(std::vector<SafeBinEntry>& entries, const SafeBinEntry& entry) {
    const auto end = std::remove_if(entries.begin(), entries.end(),
                                    [&](const SafeBinEntry& e) { return sameRecord(e, entry); });
    const bool found = end != entries.end();
    entries.erase(end, entries.end());
    return found;
}

SafeBinEntry* findRecord(std::vector<SafeBinEntry>& entries, const SafeBinEntry& entry) {
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const SafeBinEntry& e) { return sameRecord(e, entry); });
    return found == entries.end() ? nullptr : &*found;
}

// True when path is the Safe Bin, lies inside it or holds it.
bool touchesBin(const QString& path, const QString& bin) {
    const QString standard = PathRules::standardizingPath(path);
    const QString candidates[] = {standard, FileOperations::resolvingParentLinks(standard)};
    const QString binForms[] = {PathRules::standardizingPath(bin), FileOperations::resolvingAllLinks(bin)};
    for (const QString& candidate : candidates) {
        for (const QString& form : binForms) {
            if (PathRules::isSameOrBelow(candidate, form) || PathRules::isSameOrBelow(form, candidate)) return true;
        }
    }
    return false;
}

// Cuts text to at most maxBytes as the file system stores it, whole characters only.
QString truncatedToBytes(const QString& text, int maxBytes) {
    int bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype length =
            (text.at(end).isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate()) ? 2 : 1;
        const int size = static_cast<int>(PathCodec::encode(QStringView(text).mid(end, length)).size());
        if (bytes + size > maxBytes) break;
        bytes += size;
        end += length;
    }
    return text.left(end);
}

int byteLength(const QString& text) { return static_cast<int>(PathCodec::encode(text).size()); }

// prefix + name, name shortened (its extension kept where sensible) so the whole fits in one name.
QString nameWithPrefix(const QString& prefix, const QString& name) {
    const int budget = kMaxNameBytes - byteLength(prefix);
    if (byteLength(name) <= budget) return prefix + name;
    const QString extension = PathRules::pathExtension(name);
    if (!extension.isEmpty()) {
        const QString tail = QLatin1Char('.') + extension;
        const int tailBytes = byteLength(tail);
        if (tailBytes <= kMaxKeptExtensionBytes) {
            const QString stem = name.left(name.size() - tail.size());
            return prefix + truncatedToBytes(stem, budget - tailBytes) + tail;
        }
    }
    return prefix + truncatedToBytes(name, budget);
}

void addSizes(int directoryFd, qint64& total, int& visited, bool& stopped) {
    const int copy = ::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return;
    }
    struct stat folder {};
    if (::fstat(directoryFd, &folder) != 0) folder.st_dev = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (++visited > kMaxMeasuredEntries) {
            stopped = true;
            break;
        }
        struct stat st {};
        bool mountRoot = false;
        if (FileOperations::statEntry(directoryFd, entry->d_name, st, mountRoot) != 0) continue;
        if (mountRoot || st.st_dev != folder.st_dev) continue;  // another file system's, not ours to count
        if (S_ISREG(st.st_mode)) {
            total += static_cast<qint64>(st.st_blocks) * 512;
        } else if (S_ISDIR(st.st_mode)) {
            const int child = ::openat(directoryFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) continue;
            addSizes(child, total, visited, stopped);
            ::close(child);
            if (stopped) break;
        }
    }
    ::closedir(dir);
}

qint64 allocatedSizeAt(int dirFd, const QByteArray& name) {
    struct stat st {};
    bool mountRoot = false;
    if (FileOperations::statEntry(dirFd, name.constData(), st, mountRoot) != 0 || mountRoot) return 0;
    if (!S_ISDIR(st.st_mode)) return static_cast<qint64>(st.st_blocks) * 512;
    const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return 0;
    qint64 total = 0;
    int visited = 0;
    bool stopped = false;
    addSizes(fd, total, visited, stopped);
    ::close(fd);
    return total;
}

// 0 when the folder holds an entry of that name (a dangling link counts), else errno.
int probeAt(int dirFd, const QByteArray& name) {
    struct stat st {};
    return ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

std::optional<SafeBinEntry::Remains> remainsOf(const struct stat& st) {
    // Kept in the manifest as signed integers: anything larger is not recorded.
    if (quint64(st.st_dev) > quint64(std::numeric_limits<qint64>::max()) ||
        quint64(st.st_ino) > quint64(std::numeric_limits<qint64>::max())) {
        return std::nullopt;
    }
    return SafeBinEntry::Remains{quint64(st.st_dev), quint64(st.st_ino)};
}

bool isRemains(const std::optional<SafeBinEntry::Remains>& remains, const struct stat& st) {
    return remains && remains->device == quint64(st.st_dev) && remains->inode == quint64(st.st_ino);
}

// A short, stable tag from a text (FNV-1a), for the names of partial copies.
QString shortTag(const QString& text) {
    quint64 hash = 1469598103934665603ull;
    for (const char byte : PathCodec::encode(text)) {
        hash ^= quint64(static_cast<unsigned char>(byte));
        hash *= 1099511628211ull;
    }
    return QString::number(hash, 16);
}

// The tag of the partial copy a restore makes beside an item's destination.
QString restoreTag(const SafeBinEntry& entry, const QString& memberName = {}) {
    const QString id = JsonCoding::uuidText(entry.id);
    return memberName.isEmpty() ? id : id + QLatin1Char('-') + shortTag(memberName);
}

// The names in an open folder, without "." and "..". False when it cannot be read.
bool listNames(int directoryFd, std::vector<QByteArray>& names) {
    const int copy = ::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return false;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return false;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return true;
}

FileDescriptor openStoredFolder(int binFd, const QString& storedName) {
    return FileDescriptor(::openat(binFd, PathCodec::encode(storedName).constData(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// ---- The lock, the clock and the journal ----

// One change of the bin, from start to end: the in-process mutex, the bin's
// lock file, the open bin folder and the time as the bin observes it.
struct Session {
    std::unique_lock<std::mutex> guard{storeMutex()};
    QString bin = root();
    FileDescriptor binFd;
    std::optional<FileLock> lock;
    std::optional<FileError> error;
    QDateTime now;
    std::optional<MountTable> mountTable;

    Session() {
        int code = 0;
        binFd = FileOperations::openFolder(bin, code);
        if (!binFd.valid()) {
            error = FileError::system(code, QStringLiteral("Could not open the Safe Bin ") + FileError::quoted(bin));
            return;
        }
        const QString lockPath = PathRules::appendingPathComponent(bin, kLockName);
        lock.emplace(lockPath);
        if (!lock->isLocked()) {
            error = FileError::system(lock->error(), QStringLiteral("Could not lock the Safe Bin ") + FileError::quoted(bin));
            error->code = kLockCode;
            error->domain = FileError::kTarnwickDomain;
            return;
        }
        now = SafeBinClock::observe(binFd.get());
    }
    int fd() const { return binFd.get(); }
    QString journalPath() const { return PathRules::appendingPathComponent(bin, kJournalName); }
    const MountTable& mounts() {
        if (!mountTable) mountTable = MountTable::current();
        return *mountTable;
    }
};

std::optional<FileError> record(Session& session, const QByteArray& lines) {
    return SafeBinJournal::append(session.fd(), session.journalPath(), lines);
}

void clearJournal(const Session& session) { SafeBinJournal::clear(session.fd()); }

// The mount point at or below the bin's entry name, named as the bin's path.
std::optional<QString> mountInside(Session& session, int folderFd, const QString& folderPath, const QString& name) {
    const QString kernel = FileOperations::kernelPath(folderFd);
    if (kernel.isEmpty()) return std::nullopt;
    const QString item = PathRules::appendingPathComponent(kernel, name);
    const std::optional<QString> mount = session.mounts().mountAtOrBelow(item);
    if (!mount) return std::nullopt;
    return PathRules::appendingPathComponent(folderPath, name) + mount->mid(item.size());
}

// Removes a stored item (or anything named in the bin) for good: renamed
// aside first, then removed, so that it is either whole under its name or
// on its way out. An item holding a mount point is left whole; one that
// cannot be removed wholly goes back under its name. The failure is
// returned. Nothing there is no failure.
std::optional<FileError> removeStored(Session& session, const QString& storedName) {
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
    if (error) (void)FileOperations::renameNoReplaceAt(session.fd(), aside, session.fd(), name);
    return error;
}

// Removes what interrupted work left in the bin folder: partial copies of
// moves that never finished, items on their way out and temporary manifests.
// Only under the lock: no other change is under way then.
void removeLeftovers(const Session& session) {
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
}

// The members of a group still in its folder (partial copies there removed),
// with their sizes measured again.
std::vector<SafeBinEntry::Member> heldMembers(const Session& session, const SafeBinEntry& entry) {
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

qint64 sizeOfMembers(const std::vector<SafeBinEntry::Member>& members) {
    qint64 total = 0;
    for (const SafeBinEntry::Member& member : members) total += member.size;
    return total;
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
void removePartialCopiesBelow(const QString& path, const QByteArray& name, int depth = 0) {
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

// The bin's item at a stored path ("<stored>/<member>/…", every part a plain name), removed.
void removeStoredPath(const Session& session, const QString& storedPath) {
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

// Settles the intents a crash left in the journal against the entries read
// from the manifest. Returns true when the entries changed. The journal stays
// until a manifest holding the outcome has been written.
bool settleIntents(Session& session, std::vector<SafeBinEntry>& entries) {
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
            if (held && removeStored(session, entry.storedName)) break;  // still there: keep the record
            if (recorded) changed = eraseRecord(entries, entry) || changed;
            break;
        case Journal::copied:
        case Journal::placed:
            break;
        }
    }
    return changed;
}

// Drops the entries that have spent more than days in the bin, removing their
// items. Returns true when an entry was dropped.
bool purgeEntries(Session& session, std::vector<SafeBinEntry>& entries, int days) {
    const QDateTime cutoff = session.now.addSecs(-qint64(days) * 86400);
    std::vector<size_t> expired;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].removedAt < cutoff) expired.push_back(i);
    }
    if (expired.empty()) return false;
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
    if (!lines.isEmpty() && !record(session, lines)) {
        for (const size_t i : expired) {
            // Still on disk (or holding a mount point): keep the record, try again next time.
            if (!drop[i]) drop[i] = !removeStored(session, entries[i].storedName);
        }
    }
    std::vector<SafeBinEntry> kept;
    kept.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!drop[i]) kept.push_back(std::move(entries[i]));
    }
    const bool dropped = kept.size() != entries.size();
    entries = std::move(kept);
    return dropped;
}

// The common start of every change: lock, read, settle a crash's journal,
// purge. `changed` tells whether the entries differ from the manifest on disk.
struct Prepared {
    std::vector<SafeBinEntry> entries;
    QByteArray text;       // the manifest as read, while it still matches entries
    bool decoded = true;   // false: entries was not read (text is all there is)
    bool changed = false;
    std::optional<FileError> error;
};

Prepared prepare(Session& session, int purgeDays, bool removeStrays, bool skim = false) {
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
    if (journal && !prepared.changed) clearJournal(session);
    if (purgeDays >= 0 && !prepared.entries.empty()) {
        prepared.changed = purgeEntries(session, prepared.entries, purgeDays) || prepared.changed;
    }
    if (prepared.changed) prepared.text.clear();
    return prepared;
}

// Writes the manifest text and, once it is on disk, lets go of the journal.
std::optional<FileError> commitText(Session& session, const QByteArray& text) {
    auto error = save(session.bin, text);
    if (!error) clearJournal(session);
    return error;
}

std::optional<FileError> commit(Session& session, const std::vector<SafeBinEntry>& entries) {
    return commitText(session, SafeBinEntry::encodeManifest(entries));
}

// Ends a change that wrote nothing of its own: what the purge or a settled
// crash changed is kept, else the journal is let go.
void finishUnchanged(Session& session, const Prepared& prepared, const std::vector<SafeBinEntry>& entries) {
    if (prepared.changed) {
        commit(session, entries);
    } else {
        clearJournal(session);
    }
}

// The manifest after a move that only put new entries in front of those read:
// the new entries' text, then the text as read, unchanged. A move then costs
// what it adds, not a new encoding of every entry.
QByteArray prependedManifest(const QByteArray& read, const std::vector<SafeBinEntry>& added) {
    const qsizetype open = read.indexOf('[');
    QByteArray text;
    text.reserve(read.size() + qsizetype(added.size()) * 400);
    text.append('[');
    for (auto it = added.rbegin(); it != added.rend(); ++it) {
        if (it != added.rbegin()) text.append(',');
        it->appendJson(text);
    }
    const QByteArrayView rest = QByteArrayView(read).sliced(open + 1);
    if (rest.trimmed() != "]") text.append(',');
    text.append(rest);
    return text;
}

QString movedInAction(const QString& path) {
    return QStringLiteral("move ") + FileError::quoted(path) + QStringLiteral(" into the Safe Bin");
}

FileError refusal(int code, const QString& path, const QString& why) {
    return FileError::tarnwick(code, QStringLiteral("Could not ") + movedInAction(path) + QStringLiteral(": ") + why);
}

// One error for several: the first one's domain and code, the first few
// descriptions, and how many more there were.
FileError combined(const std::vector<FileError>& errors) {
    FileError first = errors.front();
    QStringList texts;
    for (size_t i = 0; i < errors.size() && qsizetype(i) < kNamedFailures; ++i) {
        if (!texts.contains(errors[i].description)) texts.append(errors[i].description);
    }
    if (qsizetype(errors.size()) > kNamedFailures) {
        const qsizetype more = qsizetype(errors.size()) - kNamedFailures;
        texts.append(QString::number(more) + (more == 1 ? QStringLiteral(" more item was") : QStringLiteral(" more items were")) +
                     QStringLiteral(" not moved either."));
    }
    first.description = texts.join(QLatin1Char(' '));
    return first;
}

// ---- Moving in ----

// The folder a member comes from, opened as written; consecutive members of
// one folder (a folder's entries) share it.
struct OpenedFolder {
    QString path;  // standardised, as written
    FileDescriptor fd;
    int error = 0;
    dev_t device = 0;
    QString kernel;  // as the kernel names it, links resolved
};

const OpenedFolder& openSource(OpenedFolder& cache, const QString& folder) {
    if (cache.path == folder && (cache.fd.valid() || cache.error)) return cache;
    cache = OpenedFolder{};
    cache.path = folder;
    cache.fd = FileOperations::openFolderAsWritten(folder, trustedPrefix(), cache.error);
    if (cache.fd.valid()) {
        struct stat st {};
        if (::fstat(cache.fd.get(), &st) == 0) cache.device = st.st_dev;
        cache.kernel = FileOperations::kernelPath(cache.fd.get());
    }
    return cache;
}

enum class MoveStatus { moved, gone, failed };

struct MemberMove {
    MoveStatus status = MoveStatus::failed;  // before the move: moved means ready to move
    qint64 size = 0;
    std::optional<SafeBinEntry::Remains> remains;
    std::optional<FileError> error;  // failed, or moved with its original not wholly removed
    QString path;                    // as given
    QString folder;                  // where it came from, as written
    QByteArray name;
    FileDescriptor parent;           // that folder, opened as written
    struct stat st {};
    bool inBin = false;              // it is in the bin now
};

// Checks one item before it moves in (see moveToSafeBin()): status moved
// when it is ready to move.
MemberMove checkOneIn(Session& session, OpenedFolder& sources, const QString& path, const std::optional<FileIdentity>& seen) {
    MemberMove result;
    result.path = path;
    auto fail = [&](FileError error) {
        result.status = MoveStatus::failed;
        result.error = std::move(error);
        return std::move(result);
    };
    auto gone = [&] {
        result.status = MoveStatus::gone;
        return std::move(result);
    };
    const QString name = PathRules::lastPathComponent(path);
    if (!path.startsWith(QLatin1Char('/')) || !namesAnItem(name)) {
        return fail(refusal(kInvalidPathCode, path, QStringLiteral("it is not the full path of an item.")));
    }
    const int present = FileOperations::probe(path);
    if (present == ENOENT || present == ENOTDIR) return gone();  // nothing there: skipped
    const QString& bin = session.bin;
    if (touchesBin(path, bin)) {
        return fail(refusal(kInvalidPathCode, path, QStringLiteral("it holds or is part of the Safe Bin itself.")));
    }
    if (!TrashService::canCollect(path)) {
        return fail(refusal(kProtectedPathCode, path, QStringLiteral("it is a protected location.")));
    }
    const QString standard = PathRules::standardizingPath(path);
    result.folder = PathRules::deletingLastPathComponent(standard);
    result.name = PathCodec::encode(PathRules::lastPathComponent(standard));
    if (const int fault = FileOperations::injectedFault("check", path)) {
        return fail(FileError::system(fault, QStringLiteral("Could not ") + movedInAction(path)));
    }
    // The folder as the user saw it written: a link swapped in on the way is refused.
    const OpenedFolder& parent = openSource(sources, result.folder);
    if (parent.error == ENOENT) return gone();  // gone meanwhile: nothing to move
    if (parent.error == ELOOP || parent.error == ENOTDIR) {
        return fail(refusal(kPathChangedCode, path,
                            QStringLiteral("a folder on its path was replaced after it was checked, so nothing was moved.")));
    }
    if (parent.error) return fail(FileError::system(parent.error, QStringLiteral("Could not ") + movedInAction(path)));
    struct stat& st = result.st;
    bool mountRoot = false;
    if (const int error = FileOperations::statEntry(parent.fd.get(), result.name.constData(), st, mountRoot)) {
        if (error == ENOENT) return gone();
        return fail(FileError::system(error, QStringLiteral("Could not ") + movedInAction(path)));
    }
    if (seen && !seen->matches(FileIdentity::fromStat(st))) {
        return fail(refusal(kChangedCode, path, QStringLiteral("it changed since the scan, so it was left where it is.")));
    }
    if (S_ISSOCK(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        return fail(refusal(kSpecialFileCode, path, QStringLiteral("it is a socket, pipe or device, which is never moved.")));
    }
    if (mountRoot || st.st_dev != parent.device) {
        return fail(refusal(kMountPointCode, path, QStringLiteral("it is a mount point, which is never moved.")));
    }
    const QString kernel =
        parent.kernel.isEmpty() ? QString() : PathRules::appendingPathComponent(parent.kernel, PathCodec::decode(result.name));
    if (!kernel.isEmpty()) {
        if (const std::optional<QString> mount = session.mounts().mountAtOrBelow(kernel)) {
            return fail(refusal(kMountPointCode, path,
                                QStringLiteral("it holds the mount point ") + FileError::quoted(standard + mount->mid(kernel.size())) +
                                    QStringLiteral(", so nothing was moved.")));
        }
        if (touchesBin(kernel, bin)) {
            return fail(refusal(kInvalidPathCode, path, QStringLiteral("it holds or is part of the Safe Bin itself.")));
        }
    }
    result.size = qint64(st.st_blocks) * 512;
    if (S_ISDIR(st.st_mode)) {
        const FileOperations::TreeReport report = FileOperations::inspectTree(parent.fd.get(), result.name, standard, -1, true);
        if (!report.mountPoint.isEmpty()) {
            return fail(refusal(kMountPointCode, path,
                                QStringLiteral("it holds the mount point ") + FileError::quoted(report.mountPoint) +
                                    QStringLiteral(", so nothing was moved.")));
        }
        if (!report.specialFile.isEmpty()) {
            return fail(refusal(kSpecialFileCode, path,
                                QStringLiteral("it holds ") + FileError::quoted(report.specialFile) +
                                    QStringLiteral(", a socket, pipe or device, which is never moved; nothing was moved.")));
        }
        result.size = report.allocatedBytes;
    }
    result.parent.reset(::fcntl(parent.fd.get(), F_DUPFD_CLOEXEC, 0));
    if (!result.parent.valid()) return fail(FileError::system(errno, QStringLiteral("Could not ") + movedInAction(path)));
    result.status = MoveStatus::moved;
    return result;
}

// Moves a checked item in: to toName in toDir (the bin, or a group's
// folder). storedPath is its place below the bin, for the journal.
void moveChecked(Session& session, MemberMove& item, int toDir, const QByteArray& toName, const QString& storedPath,
                 const QUuid& id) {
    const QString& path = item.path;
    FileOperations::MoveOptions options;
    options.beforePlacing = [&](const struct stat&, const struct stat& original) {
        return record(session, SafeBinJournal::identityLine(Journal::copied, id, storedPath, path, original));
    };
    const FileOperations::MoveResult moved =
        FileOperations::moveAt(item.parent.get(), item.name, toDir, toName, path, itemPath(session.bin, storedPath),
                               movedInAction(path), JsonCoding::uuidText(id), options);
    if (!moved.arrived) {
        item.status = MoveStatus::failed;
        item.error = moved.error.value_or(FileError::system(EIO, QStringLiteral("Could not ") + movedInAction(path)));
        return;
    }
    item.inBin = true;
    if (moved.copied) item.size = allocatedSizeAt(toDir, toName);
    if (moved.error) {
        // The copy is in place but part of the original is left: remember
        // what it is, so that a restore can complete into it.
        struct stat now {};
        if (::fstatat(item.parent.get(), item.name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            now.st_dev == item.st.st_dev && now.st_ino == item.st.st_ino) {
            item.remains = remainsOf(now);
        }
        item.error = moved.error;
    }
}

// Takes the members of a group that moved in before member `failed` back to
// where they were: members that go together move together or not at all.
void takeBack(Session& session, int groupFd, const SafeBinEntry& entry, std::vector<MemberMove>& members, size_t failed) {
    for (size_t m = failed; m-- > 0;) {
        MemberMove& move = members[m];
        if (!move.inBin) continue;
        const SafeBinEntry::Member& member = (*entry.members)[m];
        const FileOperations::MoveResult back =
            FileOperations::moveAt(groupFd, PathCodec::encode(member.storedName), move.parent.get(), move.name,
                                   itemPath(session.bin, entry.storedName + QLatin1Char('/') + member.storedName), move.path,
                                   QStringLiteral("put back ") + FileError::quoted(move.path));
        if (back.arrived) move.inBin = false;
    }
}

// An item of this call on its way in: where each of its parts came from.
struct Arrived {
    QString storedPath;  // below the bin
    QString originalPath;
    QString folder;      // as written
    QByteArray name;
};

// Puts back what a call moved in when its record could not be written.
// Returns the stored paths that could not go back.
QStringList putBack(Session& session, const std::vector<Arrived>& arrived) {
    QStringList stuck;
    for (auto it = arrived.rbegin(); it != arrived.rend(); ++it) {
        const QStringList parts = it->storedPath.split(QLatin1Char('/'));
        FileDescriptor from(::fcntl(session.fd(), F_DUPFD_CLOEXEC, 0));
        if (parts.size() == 2) from = openStoredFolder(session.fd(), parts.first());
        int openError = 0;
        const FileDescriptor parent = FileOperations::openFolderAsWritten(it->folder, trustedPrefix(), openError);
        const auto back = parent.valid() && from.valid()
                              ? FileOperations::moveAt(from.get(), PathCodec::encode(parts.last()), parent.get(), it->name,
                                                       itemPath(session.bin, it->storedPath), it->originalPath,
                                                       QStringLiteral("put back ") + FileError::quoted(it->originalPath))
                              : FileOperations::MoveResult{};
        if (!back.arrived) stuck.append(it->storedPath);
    }
    return stuck;
}

}  // namespace

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
    Session session;
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
    Session session;
    Prepared prepared = prepare(session, days, false);
    if (prepared.error || !prepared.changed) return;
    commit(session, prepared.entries);
}

std::vector<SafeBinItemResult> moveItems(const std::vector<SafeBinItemRequest>& requests, std::optional<FileError>* callError) {
    std::vector<SafeBinItemResult> results(requests.size());
    auto failAll = [&](size_t from, const FileError& error) {
        for (size_t r = from; r < requests.size(); ++r) {
            for (const SafeBinItemRequest::Member& member : requests[r].members) results[r].failed.emplace_back(member.path, error);
        }
        if (callError) *callError = error;
    };
    Session session;
    Prepared prepared = prepare(session, kExpiryDays, false, true);
    if (prepared.error) {
        failAll(0, *prepared.error);
        return results;
    }
    std::vector<SafeBinEntry> entries = std::move(prepared.entries);
    const bool sortedAsRead = !prepared.decoded || isNewestFirst(entries);
    sortNewestFirst(entries);
    const QString& bin = session.bin;
    const int binFd = session.fd();

    std::vector<SafeBinEntry> made;  // in the order of the requests
    std::vector<Arrived> arrived;
    OpenedFolder sources;
    size_t next = 0;
    while (next < requests.size()) {
        // Announce a batch of items, then move them one by one.
        const size_t first = next;
        std::vector<std::optional<SafeBinEntry>> skeletons;
        QByteArray lines;
        qsizetype members = 0;
        for (; next < requests.size() && (members == 0 || members < kIntentBatch); ++next) {
            const SafeBinItemRequest& request = requests[next];
            members += std::max<qsizetype>(1, request.members.size());
            const QUuid id = QUuid::createUuid();
            if (request.members.isEmpty()) {
                skeletons.emplace_back();
                continue;
            }
            if (!request.grouped && request.members.size() == 1) {
                const QString& path = request.members.front().path;
                const QString name = PathRules::lastPathComponent(path);
                if (!path.startsWith(QLatin1Char('/')) || !namesAnItem(name)) {
                    // Refused by the move itself, without an intent.
                    skeletons.push_back(SafeBinEntry::create(id, path, QString(), name, 0, session.now));
                    continue;
                }
                skeletons.push_back(SafeBinEntry::create(id, path, storedNameFor(id, name), name, 0, session.now));
            } else {
                const QString original = request.originalPath.isEmpty() && !request.members.isEmpty()
                                             ? request.members.front().path
                                             : request.originalPath;
                const QString name = request.name.isEmpty() ? PathRules::lastPathComponent(original) : request.name;
                if (!original.startsWith(QLatin1Char('/')) || !namesAnItem(name) || request.members.isEmpty()) {
                    const FileError error = refusal(kInvalidPathCode, original, QStringLiteral("it is not the full path of an item."));
                    for (const SafeBinItemRequest::Member& member : request.members) results[next].failed.emplace_back(member.path, error);
                    skeletons.emplace_back();
                    continue;
                }
                SafeBinEntry entry = SafeBinEntry::create(id, original, storedNameFor(id, name), name, 0, session.now);
                entry.members.emplace();
                for (qsizetype m = 0; m < request.members.size(); ++m) {
                    const QString memberName = PathRules::lastPathComponent(request.members[m].path);
                    entry.members->push_back({request.members[m].path, memberStoredNameFor(int(m + 1), memberName), 0, {}});
                }
                skeletons.push_back(std::move(entry));
            }
            if (!skeletons.back()->storedName.isEmpty()) lines += SafeBinJournal::entryLine(Journal::move, *skeletons.back());
        }
        if (auto error = record(session, lines)) {
            failAll(first, *error);
            break;
        }
        for (size_t r = first; r < next; ++r) {
            const SafeBinItemRequest& request = requests[r];
            SafeBinItemResult& result = results[r];
            std::optional<SafeBinEntry>& skeleton = skeletons[r - first];
            if (!skeleton) continue;
            SafeBinEntry entry = *skeleton;
            auto take = [&](const QString& path, const MemberMove& move) {
                if (move.status == MoveStatus::gone) result.gone.append(path);
                if (move.status == MoveStatus::moved) result.moved.append(path);
                if (move.error) result.failed.emplace_back(path, *move.error);
            };
            if (!entry.members) {
                const SafeBinItemRequest::Member& member = request.members.front();
                if (entry.storedName.isEmpty()) {
                    result.failed.emplace_back(member.path, refusal(kInvalidPathCode, member.path,
                                                                    QStringLiteral("it is not the full path of an item.")));
                    continue;
                }
                MemberMove move = checkOneIn(session, sources, member.path, member.seen);
                if (move.status == MoveStatus::moved) {
                    moveChecked(session, move, binFd, PathCodec::encode(entry.storedName), entry.storedName, entry.id);
                }
                take(member.path, move);
                if (move.status != MoveStatus::moved) continue;
                entry.size = move.size;
                entry.remains = move.remains;
                entry.removedAt = session.now;
                arrived.push_back({entry.storedName, entry.originalPath, move.folder, move.name});
            } else {
                const QByteArray stored = PathCodec::encode(entry.storedName);
                if (::mkdirat(binFd, stored.constData(), 0700) != 0) {
                    const FileError error = FileError::system(errno, QStringLiteral("Could not ") + movedInAction(entry.originalPath));
                    for (const SafeBinItemRequest::Member& member : request.members) result.failed.emplace_back(member.path, error);
                    continue;
                }
                const FileDescriptor group = openStoredFolder(binFd, entry.storedName);
                std::vector<SafeBinEntry::Member> kept;
                // Each member checked first; members that go together move
                // only when every one of them can.
                std::vector<MemberMove> checked;
                for (qsizetype m = 0; m < request.members.size() && group.valid(); ++m) {
                    checked.push_back(checkOneIn(session, sources, request.members[m].path, request.members[m].seen));
                    if (!request.together) {
                        SafeBinEntry::Member member = (*entry.members)[size_t(m)];
                        MemberMove& move = checked.back();
                        const QString storedPath = entry.storedName + QLatin1Char('/') + member.storedName;
                        if (move.status == MoveStatus::moved) {
                            moveChecked(session, move, group.get(), PathCodec::encode(member.storedName), storedPath, entry.id);
                        }
                        move.parent.reset();  // a large folder's entries never hold a descriptor each
                    }
                }
                const auto blocking = std::find_if(checked.begin(), checked.end(),
                                                   [](const MemberMove& move) { return move.status == MoveStatus::failed; });
                if (request.together && blocking == checked.end()) {
                    for (size_t m = 0; m < checked.size(); ++m) {
                        MemberMove& move = checked[m];
                        if (move.status != MoveStatus::moved) continue;
                        const SafeBinEntry::Member& member = (*entry.members)[m];
                        moveChecked(session, move, group.get(), PathCodec::encode(member.storedName),
                                    entry.storedName + QLatin1Char('/') + member.storedName, entry.id);
                        if (move.status == MoveStatus::failed) {
                            takeBack(session, group.get(), entry, checked, m);
                            break;
                        }
                    }
                }
                const auto failed = std::find_if(checked.begin(), checked.end(),
                                                 [](const MemberMove& move) { return move.status == MoveStatus::failed; });
                for (size_t m = 0; m < checked.size(); ++m) {
                    MemberMove& move = checked[m];
                    if (request.together && failed != checked.end() && move.status == MoveStatus::moved && !move.inBin) {
                        // Ready, or moved and taken back: it stays with the one that could not move.
                        move.status = MoveStatus::failed;
                        move.error = refusal(failed->error->domain == FileError::kTarnwickDomain ? failed->error->code : kInvalidPathCode,
                                             move.path, QStringLiteral("it goes together with ") + FileError::quoted(failed->path) +
                                                            QStringLiteral(", which could not move, so it stayed too."));
                    }
                    take(move.path, move);
                    if (move.status != MoveStatus::moved) continue;
                    SafeBinEntry::Member member = (*entry.members)[m];
                    member.size = move.size;
                    member.remains = move.remains;
                    kept.push_back(member);
                    arrived.push_back({entry.storedName + QLatin1Char('/') + member.storedName, member.originalPath,
                                       move.folder, move.name});
                }
                if (kept.empty()) {
                    ::unlinkat(binFd, stored.constData(), AT_REMOVEDIR);
                    continue;
                }
                entry.size = sizeOfMembers(kept);
                entry.members = std::move(kept);
                entry.removedAt = session.now;
            }
            result.entry = entry;
            made.push_back(entry);
        }
    }
    if (made.empty() && !prepared.changed) {
        clearJournal(session);
        return results;
    }

    // In the usual case the entries read are all kept in their order: the
    // file as read follows the new entries.
    const bool onlyAdded = !prepared.decoded || (!prepared.changed && sortedAsRead && !prepared.text.isEmpty());
    std::optional<FileError> saveError;
    if (onlyAdded) {
        saveError = commitText(session, prependedManifest(prepared.text, made));
    } else {
        // This call's entries in reverse order, ahead of the others.
        std::vector<SafeBinEntry> all(made.rbegin(), made.rend());
        all.insert(all.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
        saveError = commit(session, all);
    }
    if (!saveError || made.empty()) return results;

    // Unrecorded items would sit in the folder for ever: put them back.
    const QStringList stuck = putBack(session, arrived);
    // Items that could not go back keep their intents: the next change adopts them.
    if (stuck.isEmpty()) {
        clearJournal(session);
        for (const SafeBinEntry& entry : made) {
            if (entry.members) ::unlinkat(binFd, PathCodec::encode(entry.storedName).constData(), AT_REMOVEDIR);
        }
    }
    saveError->description += stuck.isEmpty()
                                  ? QStringLiteral(" The items were put back where they were.")
                                  : QStringLiteral(" Some items could not be put back and remain in the Safe Bin folder ") +
                                        FileError::quoted(bin) + QLatin1Char('.');
    for (SafeBinItemResult& result : results) {
        if (!result.entry) continue;
        const SafeBinEntry& entry = *result.entry;
        const bool held = std::any_of(stuck.begin(), stuck.end(), [&](const QString& path) {
            return path == entry.storedName || path.startsWith(entry.storedName + QLatin1Char('/'));
        });
        if (!held) result.entry.reset();
        for (const QString& path : std::as_const(result.moved)) result.failed.emplace_back(path, *saveError);
        if (!held) result.moved.clear();
    }
    if (callError) *callError = saveError;
    return results;
}

SafeBinMoveResult moveToSafeBin(const QStringList& paths) {
    std::vector<SafeBinItemRequest> requests;
    requests.reserve(size_t(paths.size()));
    for (const QString& path : paths) {
        SafeBinItemRequest request;
        request.members.append(SafeBinItemRequest::Member{path});
        requests.push_back(std::move(request));
    }
    std::optional<FileError> callError;
    const std::vector<SafeBinItemResult> results = moveItems(requests, &callError);
    SafeBinMoveResult result;
    std::vector<FileError> errors;
    for (const SafeBinItemResult& item : results) {
        if (item.entry) result.moved.push_back(*item.entry);
        for (const auto& [path, error] : item.failed) {
            errors.push_back(error);
            if (!item.entry && FileOperations::probe(path) != ENOENT && !result.stayed.contains(path)) result.stayed.append(path);
        }
    }
    if (callError) {
        result.error = callError;
    } else if (!errors.empty()) {
        result.error = combined(errors);
    }
    return result;
}

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

Destination openDestination(Session& session, const SafeBinEntry& entry, const QString& original) {
    Destination destination;
    const QString putBack = putBackText(entry);
    if (!original.startsWith(QLatin1Char('/')) || !namesAnItem(PathRules::lastPathComponent(original))) {
        destination.error = FileError::tarnwick(kInvalidPathCode, putBack + QStringLiteral(": its original location ") +
                                                                      FileError::quoted(original) +
                                                                      QStringLiteral(" is not the full path of an item."));
        return destination;
    }
    const FileError insideBin = FileError::tarnwick(
        kInvalidPathCode, putBack + QStringLiteral(": its original location ") + FileError::quoted(original) +
                              QStringLiteral(" is inside the Safe Bin."));
    if (touchesBin(original, session.bin)) {
        destination.error = insideBin;
        return destination;
    }
    destination.path = PathRules::standardizingPath(original);
    destination.folder = PathRules::deletingLastPathComponent(destination.path);
    destination.name = PathCodec::encode(PathRules::lastPathComponent(destination.path));
    int error = 0;
    QString failedAt;
    destination.parent = FileOperations::openFolderAsWritten(destination.folder, trustedPrefix(), error, true, &failedAt);
    if (error == ELOOP) {
        destination.error = FileError::tarnwick(kPathChangedCode, putBack + QStringLiteral(": the folder ") +
                                                                      FileError::quoted(failedAt) +
                                                                      QStringLiteral(" on its original path is now a link, so nothing was moved."));
    } else if (error) {
        destination.error = FileError::system(error, QStringLiteral("Could not create the folder ") + FileError::quoted(failedAt));
    } else {
        // The folder is open now: a link swapped in above it no longer matters.
        const QString kernel = FileOperations::kernelPath(destination.parent.get());
        if (!kernel.isEmpty() && touchesBin(PathRules::appendingPathComponent(kernel, PathCodec::decode(destination.name)), session.bin)) {
            destination.error = insideBin;
        }
    }
    return destination;
}

// Records that a copy for a restore is whole, just before it is put in place.
FileOperations::MoveOptions restoreOptions(Session& session, const SafeBinEntry& entry, const QString& storedPath,
                                           const QString& destination) {
    FileOperations::MoveOptions options;
    options.allowSpecialFiles = true;  // put back as it was moved in
    options.beforePlacing = [&session, id = entry.id, storedPath, destination](const struct stat& copy, const struct stat&) {
        return record(session, SafeBinJournal::identityLine(Journal::placed, id, storedPath, destination, copy));
    };
    return options;
}

bool sameContents(const struct stat& a, const struct stat& b) {
    return (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Completes a restore into what is left of the item's own original: moves
// what the original lacks, drops the bin's copies of what is still there
// unchanged, and keeps the rest (named in conflicts).
void mergeInto(Session& session, const SafeBinEntry& entry, int fromFolder, const QString& storedPath, int toFolder,
               const QString& destination, QStringList& conflicts) {
    std::vector<QByteArray> names;
    if (!listNames(fromFolder, names)) {
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
            const auto moved = FileOperations::moveAt(fromFolder, name, toFolder, name, itemPath(session.bin, childStored),
                                                      childDestination, QStringLiteral("put back ") + FileError::quoted(childDestination),
                                                      restoreTag(entry), restoreOptions(session, entry, childStored, childDestination));
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
            FileOperations::removeItemAt(fromFolder, name, itemPath(session.bin, childStored));
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
        const QString list = pathListText(occupied);
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
    FileError error = occupied.isEmpty() ? failures.front() : FileError::tarnwick(kAlreadyExistsCode, QString());
    error.description = texts.join(QLatin1Char(' '));
    return error;
}

std::optional<FileError> restoreGroup(Session& session, const Prepared& prepared, std::vector<SafeBinEntry>& entries,
                                      SafeBinEntry recorded) {
    const FileDescriptor group = openStoredFolder(session.fd(), recorded.storedName);
    if (!group.valid()) {
        finishUnchanged(session, prepared, entries);
        return FileError::system(errno, putBackText(recorded));
    }
    if (auto error = record(session, SafeBinJournal::entryLine(Journal::restore, recorded))) {
        finishUnchanged(session, prepared, entries);
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
        if (!isPlainName(member.storedName)) {
            keep(FileError::tarnwick(kInvalidRecordCode, putBackText(recorded) + QStringLiteral(": its record names no item of the Safe Bin.")));
            continue;
        }
        const QByteArray stored = PathCodec::encode(member.storedName);
        const QString storedPath = recorded.storedName + QLatin1Char('/') + member.storedName;
        if (const int state = probeAt(group.get(), stored)) {
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
            if (isRemains(member.remains, there) && to.valid() && from.valid() && ::fstat(from.get(), &source) == 0) {
                QStringList conflicts;
                mergeInto(session, recorded, from.get(), storedPath, to.get(), destination.path, conflicts);
                if (::unlinkat(group.get(), stored.constData(), AT_REMOVEDIR) == 0) {
                    ++putBack;
                } else {
                    SafeBinEntry::Member left = member;
                    left.size = allocatedSizeAt(group.get(), stored);
                    kept.push_back(left);
                    occupied.append(conflicts);
                }
                continue;
            }
            occupied.append(member.originalPath);
            kept.push_back(member);
            continue;
        }
        const FileOperations::MoveResult moved = FileOperations::moveAt(
            group.get(), stored, destination.parent.get(), destination.name, itemPath(session.bin, storedPath),
            member.originalPath, QStringLiteral("put back ") + FileError::quoted(member.originalPath),
            restoreTag(recorded, member.storedName), restoreOptions(session, recorded, storedPath, member.originalPath));
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
        // Back in place; a copy the bin could not wholly let go of is not offered again.
        if (moved.error) removeStoredPath(session, storedPath);
    }

    if (kept.empty()) {
        FileOperations::removeItemAt(session.fd(), PathCodec::encode(recorded.storedName),
                                     itemPath(session.bin, recorded.storedName));
        eraseRecord(entries, recorded);
    } else if (SafeBinEntry* held = findRecord(entries, recorded)) {
        held->size = sizeOfMembers(kept);
        held->members = std::move(kept);
    }
    if (auto error = commit(session, entries)) return error;
    if (occupied.isEmpty() && failures.empty()) return std::nullopt;
    return groupRefusal(recorded, putBack, occupied, failures);
}

std::optional<FileError> restoreSingle(Session& session, const Prepared& prepared, std::vector<SafeBinEntry>& entries,
                                       const SafeBinEntry& recorded) {
    auto refuse = [&](FileError error) -> std::optional<FileError> {
        if (prepared.changed) commit(session, entries);
        return error;
    };
    const QString destinationPath = recorded.originalPath;
    const QByteArray stored = PathCodec::encode(recorded.storedName);
    const QString source = itemPath(session.bin, recorded.storedName);
    const QString action = QStringLiteral("put back ") + FileError::quoted(recorded.displayName) + QStringLiteral(" at ") +
                           FileError::quoted(destinationPath);
    Destination destination;
    if (!destinationPath.startsWith(QLatin1Char('/')) || !namesAnItem(PathRules::lastPathComponent(destinationPath)) ||
        touchesBin(destinationPath, session.bin)) {
        return refuse(*openDestination(session, recorded, destinationPath).error);
    }
    if (const int state = probeAt(session.fd(), stored)) {
        return refuse(FileError::system(state, QStringLiteral("Could not ") + action));
    }
    destination = openDestination(session, recorded, destinationPath);
    if (destination.error) return refuse(*destination.error);

    struct stat there {};
    if (::fstatat(destination.parent.get(), destination.name.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
        // Only what is left of this item's own original is completed; anything else stays as it is.
        struct stat held {};
        if (isRemains(recorded.remains, there) && !S_ISDIR(there.st_mode) &&
            ::fstatat(session.fd(), stored.constData(), &held, AT_SYMLINK_NOFOLLOW) == 0 && sameContents(held, there)) {
            // A file whose original was never removed: it is back already.
            if (auto error = record(session, SafeBinJournal::entryLine(Journal::destroy, recorded))) return refuse(*error);
            if (auto error = removeStored(session, recorded.storedName)) {
                finishUnchanged(session, prepared, entries);
                return error;
            }
            eraseRecord(entries, recorded);
            return commit(session, entries);
        }
        const FileDescriptor to(::openat(destination.parent.get(), destination.name.constData(),
                                         O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        const FileDescriptor from(::openat(session.fd(), stored.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!isRemains(recorded.remains, there) || !to.valid() || !from.valid()) return refuse(FileError::alreadyExists());
        if (auto error = record(session, SafeBinJournal::entryLine(Journal::restore, recorded))) return refuse(*error);
        QStringList conflicts;
        mergeInto(session, recorded, from.get(), recorded.storedName, to.get(), destination.path, conflicts);
        if (::unlinkat(session.fd(), stored.constData(), AT_REMOVEDIR) == 0) {
            eraseRecord(entries, recorded);
            return commit(session, entries);
        }
        if (SafeBinEntry* held = findRecord(entries, recorded)) held->size = allocatedSizeAt(session.fd(), stored);
        if (auto error = commit(session, entries)) return error;
        return groupRefusal(recorded, 1, conflicts, {});
    }

    if (auto error = record(session, SafeBinJournal::entryLine(Journal::restore, recorded))) return refuse(*error);
    const FileOperations::MoveResult moved =
        FileOperations::moveAt(session.fd(), stored, destination.parent.get(), destination.name, source, destinationPath,
                               action, restoreTag(recorded), restoreOptions(session, recorded, recorded.storedName, destinationPath));
    if (!moved.arrived) {
        finishUnchanged(session, prepared, entries);
        if (moved.error && moved.error->isSystem(EEXIST)) return FileError::alreadyExists();
        return moved.error;
    }
    if (moved.error) {
        // Back in place, but the bin could not wholly let go of its copy:
        // what is left of it is removed, never offered again.
        removeStored(session, recorded.storedName);
    }
    eraseRecord(entries, recorded);
    return commit(session, entries);
}

}  // namespace

std::optional<FileError> restore(const SafeBinEntry& entry) {
    Session session;
    Prepared prepared = prepare(session, kExpiryDays, false);
    if (prepared.error) return prepared.error;
    std::vector<SafeBinEntry> entries = std::move(prepared.entries);
    sortNewestFirst(entries);
    auto refuse = [&](FileError error) -> std::optional<FileError> {
        if (prepared.changed) commit(session, entries);
        return error;
    };
    if (!isPlainStoredName(entry.storedName)) {
        return refuse(FileError::tarnwick(kInvalidRecordCode, putBackText(entry) + QStringLiteral(": its record names no item of the Safe Bin.")));
    }
    const SafeBinEntry* recorded = findRecord(entries, entry);
    if (!recorded) {
        return refuse(FileError::tarnwick(kInvalidRecordCode, putBackText(entry) + QStringLiteral(": it is no longer in the Safe Bin.")));
    }
    // The manifest's own record: a group may hold fewer members than a copy the caller kept.
    const SafeBinEntry current = *recorded;
    if (current.members) return restoreGroup(session, prepared, entries, current);
    return restoreSingle(session, prepared, entries, current);
}

std::optional<FileError> destroy(const SafeBinEntry& entry) {
    Session session;
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
        if (auto error = record(session, SafeBinJournal::entryLine(Journal::destroy, entry))) {
            if (prepared.changed) commit(session, entries);
            return error;
        }
        if (auto error = removeStored(session, entry.storedName)) {
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
