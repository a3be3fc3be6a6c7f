#include "services/store/SafeBinService.h"

#include "platform/Environment.h"
#include "platform/FileDescriptor.h"
#include "platform/FileLock.h"
#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "services/store/TrashService.h"
#include "support/AppIdentity.h"
#include "support/AtomicFile.h"
#include "support/FlatJson.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinService {

namespace {

constexpr int kMaxNameBytes = 255;
constexpr int kMaxKeptExtensionBytes = 32;
constexpr int kMaxMeasuredEntries = 40000;
// Intents are written and synced for this many paths at a time, then those
// paths move: one sync per batch instead of one per item, and a crash still
// finds every item that moved announced in the journal.
constexpr qsizetype kIntentBatch = 256;

const QString kManifestName = QStringLiteral("manifest.json");
const QString kJournalName = QStringLiteral("manifest.journal");
const QString kLockName = QStringLiteral("manifest.lock");

QString manifestPath(const QString& bin) { return PathRules::appendingPathComponent(bin, kManifestName); }

QString itemPath(const QString& bin, const QString& storedName) { return bin + QLatin1Char('/') + storedName; }

std::mutex& storeMutex() {
    static std::mutex mutex;
    return mutex;
}

// A stored name from the manifest is only used when it names one entry of the
// Safe Bin folder itself: never a path, never the folder or its parent, never
// one of the store's own files.
bool isPlainStoredName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) && name != kManifestName &&
           name != kJournalName && name != kLockName &&
           !name.startsWith(QLatin1String(FileOperations::kPartialPrefix.data(),
                                          qsizetype(FileOperations::kPartialPrefix.size())));
}

// The last component of a path names an item (not "/", "." or "..").
bool namesAnItem(const QString& name) {
    return !name.isEmpty() && name != QLatin1String("/") && name != QLatin1String(".") && name != QLatin1String("..");
}

bool sameRecord(const SafeBinEntry& a, const SafeBinEntry& b) { return a.id == b.id && a.storedName == b.storedName; }

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

void addSizes(int directoryFd, qint64& total, int& visited, bool& stopped) {
    const int copy = ::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (++visited > kMaxMeasuredEntries) {
            stopped = true;
            break;
        }
        struct stat st {};
        if (::fstatat(directoryFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
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
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return 0;
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

// ---- The lock and the journal ----

// One change of the bin, from start to end: the in-process mutex, the bin's
// lock file and the open bin folder.
struct Session {
    std::unique_lock<std::mutex> guard{storeMutex()};
    QString bin = root();
    FileDescriptor binFd;
    std::optional<FileLock> lock;
    std::optional<FileError> error;

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
        }
    }
    QByteArray journalName() const { return PathCodec::encode(kJournalName); }
    // The journal stays in place once made and is emptied when settled, so
    // recording an intent never has to make (and sync) a new folder entry.
    bool hasJournal() const {
        struct stat st {};
        return ::fstatat(binFd.get(), journalName().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_size > 0;
    }
};

enum class IntentKind { move, restore, destroy };

struct Intent {
    IntentKind kind = IntentKind::move;
    SafeBinEntry entry;  // for a restore, originalPath is where the item goes
};

const char* kindText(IntentKind kind) {
    switch (kind) {
    case IntentKind::move: return "move";
    case IntentKind::restore: return "restore";
    case IntentKind::destroy: return "destroy";
    }
    return "move";
}

// Appends the intents as lines of the journal and syncs them to the disk
// before anything they announce happens.
std::optional<FileError> recordIntents(Session& session, const std::vector<Intent>& intents) {
    if (intents.empty()) return std::nullopt;
    QByteArray lines;
    for (const Intent& intent : intents) {
        QByteArray object;
        intent.entry.appendJson(object);
        lines.append("{\"intent\":\"");
        lines.append(kindText(intent.kind));
        lines.append("\",");
        lines.append(object.constData() + 1, object.size() - 1);  // the entry's own keys follow
        lines.append('\n');
    }
    const QString journalPath = PathRules::appendingPathComponent(session.bin, kJournalName);
    auto failure = [&](int code) {
        FileError error = FileError::system(code, QStringLiteral("Could not record the change in the Safe Bin\u2019s journal ") +
                                                      FileError::quoted(journalPath));
        error.description += QStringLiteral(" Nothing more was changed.");
        return error;
    };
    const bool existed = probeAt(session.binFd.get(), session.journalName()) == 0;
    FileDescriptor fd(::openat(session.binFd.get(), session.journalName().constData(),
                               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) return failure(errno);
    const off_t before = ::lseek(fd.get(), 0, SEEK_END);
    int code = FileOperations::injectedFault("write", journalPath);
    for (qsizetype done = 0; code == 0 && done < lines.size();) {
        const ssize_t written = ::write(fd.get(), lines.constData() + done, size_t(lines.size() - done));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            code = written < 0 ? errno : EIO;
            break;
        }
        done += written;
    }
    if (code == 0 && ::fdatasync(fd.get()) != 0) code = errno;
    if (code != 0) {
        // A torn line is ignored on reading, but leave none behind.
        if (before >= 0) (void)::ftruncate(fd.get(), before);
        return failure(code);
    }
    if (!existed) (void)::fsync(session.binFd.get());
    return std::nullopt;
}

std::vector<Intent> readIntents(const Session& session) {
    std::vector<Intent> intents;
    const auto data = AtomicFile::read(PathRules::appendingPathComponent(session.bin, kJournalName));
    if (!data) return intents;
    FlatJson::Object object;
    for (const QByteArray& line : data->split('\n')) {
        if (line.trimmed().isEmpty()) continue;
        FlatJson::Reader reader(line);
        if (!reader.readObject(object) || !reader.atEnd()) continue;  // torn by a crash mid-write
        const FlatJson::Value* kind = FlatJson::find(object, QLatin1StringView("intent"));
        auto entry = SafeBinEntry::fromObject(object);
        if (!kind || kind->type != FlatJson::Value::Type::string || !entry) continue;
        Intent intent;
        if (kind->string == QLatin1String("move")) {
            intent.kind = IntentKind::move;
        } else if (kind->string == QLatin1String("restore")) {
            intent.kind = IntentKind::restore;
        } else if (kind->string == QLatin1String("destroy")) {
            intent.kind = IntentKind::destroy;
        } else {
            continue;
        }
        intent.entry = std::move(*entry);
        intents.push_back(std::move(intent));
    }
    return intents;
}

void clearJournal(const Session& session) {
    const int fd = ::openat(session.binFd.get(), session.journalName().constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    if (::ftruncate(fd, 0) == 0) (void)::fdatasync(fd);
    ::close(fd);
}

// Removes the partial copies of moves into the bin that never finished, and
// temporary manifests of writes that never finished. Only under the lock: no
// other change is under way then.
void removeLeftovers(const Session& session) {
    const int copy = ::fcntl(session.binFd.get(), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return;
    }
    ::rewinddir(dir);
    std::vector<QByteArray> leftovers;
    const QByteArray temporaryPrefix = "." + PathCodec::encode(kManifestName) + ".tmp-";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.starts_with(FileOperations::kPartialPrefix) ||
            name.starts_with(std::string_view(temporaryPrefix.constData(), size_t(temporaryPrefix.size())))) {
            leftovers.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    for (const QByteArray& name : leftovers) {
        FileOperations::removeItemAt(session.binFd.get(), name,
                                     PathRules::appendingPathComponent(session.bin, PathCodec::decode(name)));
    }
}

// Settles the intents a crash left in the journal against the entries read
// from the manifest. Returns true when the entries changed. The journal stays
// until a manifest holding the outcome has been written.
bool settleIntents(Session& session, std::vector<SafeBinEntry>& entries) {
    bool changed = false;
    for (const Intent& intent : readIntents(session)) {
        const SafeBinEntry& entry = intent.entry;
        if (!isPlainStoredName(entry.storedName)) continue;
        const QByteArray stored = PathCodec::encode(entry.storedName);
        const bool held = probeAt(session.binFd.get(), stored) == 0;
        const bool recorded = std::any_of(entries.begin(), entries.end(),
                                          [&](const SafeBinEntry& e) { return sameRecord(e, entry); });
        switch (intent.kind) {
        case IntentKind::move:
            // Held but not recorded: the move went through and the process
            // died before the manifest said so. Not held: it never arrived.
            if (held && !recorded) {
                SafeBinEntry adopted = entry;
                adopted.size = allocatedSizeAt(session.binFd.get(), stored);
                entries.insert(entries.begin(), adopted);
                changed = true;
            }
            break;
        case IntentKind::restore: {
            // A copy on its way to the original place (across file systems)
            // is incomplete; the item itself is still whole in the bin then.
            const QString destination = entry.originalPath;
            if (destination.startsWith(QLatin1Char('/'))) {
                const QString partial = PathRules::appendingPathComponent(
                    PathRules::deletingLastPathComponent(destination),
                    PathCodec::decode(FileOperations::partialName(JsonCoding::uuidText(entry.id))));
                FileOperations::removeItem(partial);
            }
            if (!held && recorded) changed = eraseRecord(entries, entry) || changed;
            break;
        }
        case IntentKind::destroy:
            if (held && FileOperations::removeItemAt(session.binFd.get(), stored, itemPath(session.bin, entry.storedName))) {
                break;  // still there: keep the record
            }
            if (recorded) changed = eraseRecord(entries, entry) || changed;
            break;
        }
    }
    return changed;
}

// Drops the entries older than days, removing their items. Returns true when
// an entry was dropped.
bool purgeEntries(Session& session, std::vector<SafeBinEntry>& entries, int days) {
    const QDateTime cutoff = Environment::current().now().addSecs(-qint64(days) * 86400);
    bool dropped = false;
    std::vector<SafeBinEntry> kept;
    kept.reserve(entries.size());
    for (SafeBinEntry& entry : entries) {
        if (!(entry.removedAt < cutoff)) {
            kept.push_back(std::move(entry));
        } else if (!isPlainStoredName(entry.storedName)) {
            dropped = true;  // names nothing in the folder: there is nothing of ours to remove
        } else if (FileOperations::removeItemAt(session.binFd.get(), PathCodec::encode(entry.storedName),
                                                itemPath(session.bin, entry.storedName))) {
            kept.push_back(std::move(entry));  // still on disk: keep the record, try again next time
        } else {
            dropped = true;
        }
    }
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
    const bool journal = session.hasJournal();
    std::optional<QDateTime> skimBefore;
    if (skim && !journal && !removeStrays && purgeDays >= 0) {
        skimBefore = Environment::current().now().addSecs(-qint64(purgeDays) * 86400);
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

// An item of this call on its way in.
struct Moving {
    SafeBinEntry entry;
    QString resolvedFolder;  // the folder it came from, links resolved: where it goes back to
    QByteArray name;
};

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
    if (!session.hasJournal()) {
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

SafeBinMoveResult moveToSafeBin(const QStringList& paths) {
    SafeBinMoveResult result;
    Session session;
    Prepared prepared = prepare(session, kExpiryDays, false, true);
    if (prepared.error) {
        result.error = prepared.error;
        return result;
    }
    std::vector<SafeBinEntry> entries = std::move(prepared.entries);
    const bool sortedAsRead = !prepared.decoded || isNewestFirst(entries);
    sortNewestFirst(entries);
    const QString& bin = session.bin;
    const int binFd = session.binFd.get();

    std::vector<Moving> moving;  // what arrived, in order
    qsizetype next = 0;
    while (next < paths.size() && !result.error) {
        // Announce a batch of paths, then move them one by one.
        std::vector<Intent> batch;
        std::optional<FileError> invalid;
        for (; next < paths.size() && qsizetype(batch.size()) < kIntentBatch; ++next) {
            const QString& path = paths[next];
            const QString name = PathRules::lastPathComponent(path);
            if (!path.startsWith(QLatin1Char('/')) || !namesAnItem(name)) {
                invalid = refusal(kInvalidPathCode, path, QStringLiteral("it is not the full path of an item."));
                next = paths.size();
                break;
            }
            const QUuid id = QUuid::createUuid();
            batch.push_back({IntentKind::move, SafeBinEntry::create(id, path, storedNameFor(id, name), name, 0,
                                                                    Environment::current().now())});
        }
        if (auto error = recordIntents(session, batch)) {
            result.error = error;
            break;
        }
        for (Intent& intent : batch) {
            SafeBinEntry& entry = intent.entry;
            const QString& path = entry.originalPath;
            const int present = FileOperations::probe(path);
            if (present == ENOENT || present == ENOTDIR) continue;  // nothing there: skipped
            if (touchesBin(path, bin)) {
                result.error = refusal(kInvalidPathCode, path, QStringLiteral("it holds or is part of the Safe Bin itself."));
                break;
            }
            if (!TrashService::canCollect(path)) {
                result.error = refusal(kProtectedPathCode, path, QStringLiteral("it is a protected location."));
                break;
            }
            // Open the folder the guard approved, as it approved it: its links
            // resolved, then every component opened without following one.
            const QString standard = PathRules::standardizingPath(path);
            const QString folder = FileOperations::resolvingAllLinks(PathRules::deletingLastPathComponent(standard));
            const QByteArray name = PathCodec::encode(PathRules::lastPathComponent(standard));
            if (const int fault = FileOperations::injectedFault("check", path)) {
                result.error = FileError::system(fault, QStringLiteral("Could not ") + movedInAction(path));
                break;
            }
            int openError = 0;
            const FileDescriptor parent = FileOperations::openFolderNoFollow(folder, openError);
            if (openError == ENOENT) continue;  // gone meanwhile: nothing to move
            if (openError == ELOOP || openError == ENOTDIR) {
                result.error = refusal(kPathChangedCode, path,
                                       QStringLiteral("a folder on its path was replaced after it was checked, so "
                                                      "nothing was moved."));
                break;
            }
            if (openError) {
                result.error = FileError::system(openError, QStringLiteral("Could not ") + movedInAction(path));
                break;
            }
            const int there = probeAt(parent.get(), name);
            if (there == ENOENT) continue;
            const QByteArray stored = PathCodec::encode(entry.storedName);
            const FileOperations::MoveResult moved =
                FileOperations::moveAt(parent.get(), name, binFd, stored, path, itemPath(bin, entry.storedName),
                                       movedInAction(path), JsonCoding::uuidText(entry.id));
            if (moved.arrived) {
                entry.size = allocatedSizeAt(binFd, stored);
                entry.removedAt = Environment::current().now();
                result.moved.push_back(entry);
                moving.push_back({entry, folder, name});
            }
            if (moved.error) {
                result.error = moved.error;
                break;
            }
        }
        if (!result.error && invalid) result.error = invalid;
    }
    if (result.moved.empty() && !prepared.changed) {
        clearJournal(session);
        return result;
    }

    // In the usual case the entries read are all kept in their order: the
    // file as read follows the new entries.
    const bool onlyAdded = !prepared.decoded || (!prepared.changed && sortedAsRead && !prepared.text.isEmpty());
    std::optional<FileError> saveError;
    if (onlyAdded) {
        saveError = commitText(session, prependedManifest(prepared.text, result.moved));
    } else {
        // This call's entries in reverse order of the paths, ahead of the others.
        std::vector<SafeBinEntry> all(result.moved.rbegin(), result.moved.rend());
        all.insert(all.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
        saveError = commit(session, all);
    }
    if (!saveError || result.moved.empty()) return result;
    // Unrecorded items would sit in the folder for ever: put them back.
    std::vector<SafeBinEntry> stuck;
    for (auto it = moving.rbegin(); it != moving.rend(); ++it) {
        int openError = 0;
        const FileDescriptor parent = FileOperations::openFolderNoFollow(it->resolvedFolder, openError);
        const auto back = parent.valid()
                              ? FileOperations::moveAt(binFd, PathCodec::encode(it->entry.storedName), parent.get(),
                                                       it->name, itemPath(bin, it->entry.storedName),
                                                       it->entry.originalPath,
                                                       QStringLiteral("put back ") + FileError::quoted(it->entry.originalPath),
                                                       JsonCoding::uuidText(it->entry.id))
                              : FileOperations::MoveResult{};
        if (!back.arrived) stuck.insert(stuck.begin(), it->entry);
    }
    // Items that could not go back keep their intents: the next change adopts them.
    if (stuck.empty()) clearJournal(session);
    saveError->description += stuck.empty()
                                  ? QStringLiteral(" The items were put back where they were.")
                                  : QStringLiteral(" Some items could not be put back and remain in the Safe Bin folder ") +
                                        FileError::quoted(bin) + QLatin1Char('.');
    result.moved = std::move(stuck);
    result.error = saveError;
    return result;
}

std::optional<FileError> restore(const SafeBinEntry& entry) {
    Session session;
    Prepared prepared = prepare(session, kExpiryDays, false);
    if (prepared.error) return prepared.error;
    std::vector<SafeBinEntry> entries = std::move(prepared.entries);
    sortNewestFirst(entries);
    // Keep what the purge or a settled crash changed, whatever happens next.
    auto refuse = [&](FileError error) -> std::optional<FileError> {
        if (prepared.changed) commit(session, entries);
        return error;
    };
    const QString& bin = session.bin;
    const QString putBack = QStringLiteral("Could not put back ") + FileError::quoted(entry.displayName);

    if (!isPlainStoredName(entry.storedName)) {
        return refuse(FileError::tarnwick(kInvalidRecordCode, putBack + QStringLiteral(": its record names no item of the Safe Bin.")));
    }
    if (std::none_of(entries.begin(), entries.end(), [&](const SafeBinEntry& e) { return sameRecord(e, entry); })) {
        return refuse(FileError::tarnwick(kInvalidRecordCode, putBack + QStringLiteral(": it is no longer in the Safe Bin.")));
    }
    const QString destination = entry.originalPath;
    if (!destination.startsWith(QLatin1Char('/')) || !namesAnItem(PathRules::lastPathComponent(destination))) {
        return refuse(FileError::tarnwick(kInvalidPathCode, putBack + QStringLiteral(": its original location ") +
                                                                FileError::quoted(destination) +
                                                                QStringLiteral(" is not the full path of an item.")));
    }
    if (touchesBin(destination, bin)) {
        return refuse(FileError::tarnwick(kInvalidPathCode, putBack + QStringLiteral(": its original location ") +
                                                                FileError::quoted(destination) +
                                                                QStringLiteral(" is inside the Safe Bin.")));
    }

    const QByteArray stored = PathCodec::encode(entry.storedName);
    const QString source = itemPath(bin, entry.storedName);
    const QString action = QStringLiteral("put back ") + FileError::quoted(entry.displayName) + QStringLiteral(" at ") +
                           FileError::quoted(destination);
    if (const int state = probeAt(session.binFd.get(), stored)) {
        return refuse(FileError::system(state, QStringLiteral("Could not ") + action));
    }
    const QString standard = PathRules::standardizingPath(destination);
    const QString parentPath = PathRules::deletingLastPathComponent(standard);
    if (auto error = FileOperations::makePath(parentPath)) return refuse(*error);
    if (FileOperations::itemExists(destination)) return refuse(FileError::alreadyExists());

    const QString folder = FileOperations::resolvingAllLinks(parentPath);
    int openError = 0;
    const FileDescriptor parent = FileOperations::openFolderNoFollow(folder, openError);
    if (!parent.valid()) return refuse(FileError::system(openError, QStringLiteral("Could not ") + action));
    // The folder is open now: a link swapped in above it no longer matters.
    if (touchesBin(PathRules::appendingPathComponent(folder, PathRules::lastPathComponent(standard)), bin)) {
        return refuse(FileError::tarnwick(kInvalidPathCode, putBack + QStringLiteral(": its original location ") +
                                                                FileError::quoted(destination) +
                                                                QStringLiteral(" is inside the Safe Bin.")));
    }
    if (auto error = recordIntents(session, {Intent{IntentKind::restore, entry}})) return refuse(*error);

    const FileOperations::MoveResult moved =
        FileOperations::moveAt(session.binFd.get(), stored, parent.get(), PathCodec::encode(PathRules::lastPathComponent(standard)),
                               source, destination, action, JsonCoding::uuidText(entry.id));
    if (!moved.arrived) {
        if (prepared.changed) {
            commit(session, entries);
        } else {
            clearJournal(session);
        }
        if (moved.error && moved.error->isSystem(EEXIST)) return FileError::alreadyExists();
        return moved.error;
    }
    if (moved.error) {
        // Back in place, but the stored copy remains: keep its record.
        if (prepared.changed) {
            commit(session, entries);
        } else {
            clearJournal(session);
        }
        return moved.error;
    }
    eraseRecord(entries, entry);
    return commit(session, entries);
}

std::optional<FileError> destroy(const SafeBinEntry& entry) {
    Session session;
    Prepared prepared = prepare(session, kExpiryDays, false);
    if (prepared.error) return prepared.error;
    std::vector<SafeBinEntry> entries = std::move(prepared.entries);
    sortNewestFirst(entries);
    const bool recorded =
        std::any_of(entries.begin(), entries.end(), [&](const SafeBinEntry& e) { return sameRecord(e, entry); });
    if (!recorded) {
        if (prepared.changed) commit(session, entries);
        return FileError::tarnwick(kInvalidRecordCode, QStringLiteral("Could not delete ") + FileError::quoted(entry.displayName) +
                                                           QStringLiteral(": it is no longer in the Safe Bin."));
    }

    if (isPlainStoredName(entry.storedName)) {
        if (auto error = recordIntents(session, {Intent{IntentKind::destroy, entry}})) {
            if (prepared.changed) commit(session, entries);
            return error;
        }
        if (auto error = FileOperations::removeItemAt(session.binFd.get(), PathCodec::encode(entry.storedName),
                                                      itemPath(session.bin, entry.storedName))) {
            // The failure is the outcome: nothing is retried behind the user's back.
            if (prepared.changed) {
                commit(session, entries);
            } else {
                clearJournal(session);
            }
            error->description = QStringLiteral("Could not delete ") + FileError::quoted(entry.displayName) +
                                 QStringLiteral(" from the Safe Bin. ") + error->description;
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
    const QString prefix = JsonCoding::uuidText(id) + QLatin1Char('-');
    const int budget = kMaxNameBytes - byteLength(prefix);
    if (byteLength(displayName) <= budget) return prefix + displayName;
    const QString extension = PathRules::pathExtension(displayName);
    if (!extension.isEmpty()) {
        const QString tail = QLatin1Char('.') + extension;
        const int tailBytes = byteLength(tail);
        if (tailBytes <= kMaxKeptExtensionBytes) {
            const QString stem = displayName.left(displayName.size() - tail.size());
            return prefix + truncatedToBytes(stem, budget - tailBytes) + tail;
        }
    }
    return prefix + truncatedToBytes(displayName, budget);
}

}  // namespace tarnwick::SafeBinService
