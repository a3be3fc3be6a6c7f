#include "services/store/SafeBinService.h"

#include "platform/Environment.h"
#include "platform/FileOperations.h"
#include "support/AppIdentity.h"
#include "support/AtomicFile.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinService {

namespace {

constexpr int kMaxNameBytes = 255;
constexpr int kMaxKeptExtensionBytes = 32;
constexpr int kMaxMeasuredEntries = 40000;

QString manifestPath(const QString& bin) { return PathRules::appendingPathComponent(bin, QStringLiteral("manifest.json")); }

QString itemPath(const QString& bin, const QString& storedName) { return bin + QLatin1Char('/') + storedName; }

// A stored name from the manifest is only used when it names one entry of the
// Safe Bin folder itself: never a path, never the folder or its parent, never
// the manifest.
bool isPlainStoredName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) && name != QLatin1String("manifest.json");
}

// The last component of a path names an item (not "/", "." or "..").
bool namesAnItem(const QString& name) {
    return !name.isEmpty() && name != QLatin1String("/") && name != QLatin1String(".") && name != QLatin1String("..");
}

struct Manifest {
    std::vector<SafeBinEntry> entries;
    std::optional<FileError> error;  // there, but not readable or decodable
};

Manifest readManifest(const QString& bin) {
    Manifest manifest;
    const QString path = manifestPath(bin);
    const int state = FileOperations::probe(path);
    if (state == ENOENT || state == ENOTDIR) return manifest;  // no manifest yet
    const auto data = AtomicFile::read(path);
    auto entries = data ? SafeBinEntry::decodeManifest(*data) : std::nullopt;
    if (!entries) {
        manifest.error = FileError::tarnwick(
            kManifestUnreadableCode,
            QStringLiteral("The Safe Bin\u2019s list of items ") + FileError::quoted(path) +
                QStringLiteral(" cannot be read, so nothing was changed. The items in the Safe Bin are untouched."));
        return manifest;
    }
    manifest.entries = std::move(*entries);
    return manifest;
}

std::optional<FileError> save(const QString& bin, const std::vector<SafeBinEntry>& entries) {
    const QString path = manifestPath(bin);
    const QString what = QStringLiteral("Could not write the Safe Bin\u2019s list of items ") + FileError::quoted(path);
    if (const int fault = FileOperations::injectedFault("write", path)) return FileError::system(fault, what);
    QString reason;
    if (!AtomicFile::write(path, SafeBinEntry::encodeManifest(entries), &reason)) {
        return FileError{QStringLiteral("QFileDevice"), -1, what + QStringLiteral(": ") + reason + QLatin1Char('.')};
    }
    return std::nullopt;
}

void sortNewestFirst(std::vector<SafeBinEntry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const SafeBinEntry& a, const SafeBinEntry& b) { return a.removedAt > b.removedAt; });
}

void eraseEntry(std::vector<SafeBinEntry>& entries, const QUuid& id) {
    entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const SafeBinEntry& e) { return e.id == id; }),
                  entries.end());
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

QString truncatedUtf8(const QString& text, int maxBytes) {
    int bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype length =
            (text.at(end).isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate()) ? 2 : 1;
        const int size = static_cast<int>(QStringView(text).mid(end, length).toUtf8().size());
        if (bytes + size > maxBytes) break;
        bytes += size;
        end += length;
    }
    return text.left(end);
}

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

void purgeExpired(int days) {
    const QString bin = root();
    const Manifest manifest = readManifest(bin);
    if (manifest.error || manifest.entries.empty()) return;
    const QDateTime cutoff = Environment::current().now().addSecs(-qint64(days) * 86400);
    std::vector<SafeBinEntry> kept;
    bool dropped = false;
    for (const SafeBinEntry& entry : manifest.entries) {
        if (!(entry.removedAt < cutoff)) {
            kept.push_back(entry);
        } else if (!isPlainStoredName(entry.storedName)) {
            dropped = true;  // names nothing in the folder: there is nothing of ours to remove
        } else if (FileOperations::removeItem(itemPath(bin, entry.storedName))) {
            kept.push_back(entry);  // still on disk: keep the record, try again next time
        } else {
            dropped = true;
        }
    }
    if (dropped) save(bin, kept);
}

SafeBinMoveResult moveToSafeBin(const QStringList& paths) {
    SafeBinMoveResult result;
    purgeExpired(kExpiryDays);
    const QString bin = root();
    Manifest manifest = readManifest(bin);
    if (manifest.error) {
        result.error = manifest.error;
        return result;
    }
    std::vector<SafeBinEntry> entries = std::move(manifest.entries);
    sortNewestFirst(entries);

    for (const QString& path : paths) {
        const QString name = PathRules::lastPathComponent(path);
        if (!path.startsWith(QLatin1Char('/')) || !namesAnItem(name)) {
            result.error = FileError::tarnwick(kInvalidPathCode, QStringLiteral("Could not move ") + FileError::quoted(path) +
                                                                     QStringLiteral(" into the Safe Bin: it is not the full path of an item."));
            break;
        }
        if (!FileOperations::itemExists(path)) continue;
        if (touchesBin(path, bin)) {
            result.error = FileError::tarnwick(kInvalidPathCode, QStringLiteral("Could not move ") + FileError::quoted(path) +
                                                                     QStringLiteral(" into the Safe Bin: it holds or is part of the Safe Bin itself."));
            break;
        }
        const QUuid id = QUuid::createUuid();
        const QString storedName = storedNameFor(id, name);
        const QString target = itemPath(bin, storedName);
        const FileOperations::MoveResult moved = FileOperations::moveItem(
            path, target, QStringLiteral("move ") + FileError::quoted(path) + QStringLiteral(" into the Safe Bin"));
        if (moved.arrived) {
            const SafeBinEntry entry = SafeBinEntry::create(id, path, storedName, name, allocatedSize(target),
                                                            Environment::current().now());
            entries.insert(entries.begin(), entry);
            result.moved.push_back(entry);
        }
        if (moved.error) {
            result.error = moved.error;
            break;
        }
    }
    if (result.moved.empty()) return result;

    if (auto saveError = save(bin, entries)) {
        // Unrecorded items would sit in the folder for ever: put them back.
        std::vector<SafeBinEntry> stuck;
        for (auto it = result.moved.rbegin(); it != result.moved.rend(); ++it) {
            const auto back = FileOperations::moveItem(itemPath(bin, it->storedName), it->originalPath,
                                                       QStringLiteral("put back ") + FileError::quoted(it->originalPath));
            if (!back.arrived) stuck.insert(stuck.begin(), *it);
        }
        saveError->description += stuck.empty()
                                      ? QStringLiteral(" The items were put back where they were.")
                                      : QStringLiteral(" Some items could not be put back and remain in the Safe Bin folder ") +
                                            FileError::quoted(bin) + QLatin1Char('.');
        result.moved = std::move(stuck);
        result.error = saveError;
    }
    return result;
}

std::optional<FileError> restore(const SafeBinEntry& entry) {
    purgeExpired(kExpiryDays);
    const QString bin = root();
    Manifest manifest = readManifest(bin);
    if (manifest.error) return manifest.error;
    if (!isPlainStoredName(entry.storedName)) {
        return FileError::tarnwick(kInvalidRecordCode, QStringLiteral("Could not put back ") + FileError::quoted(entry.displayName) +
                                                           QStringLiteral(": its record names no item of the Safe Bin."));
    }
    const QString destination = entry.originalPath;
    if (!destination.startsWith(QLatin1Char('/')) || !namesAnItem(PathRules::lastPathComponent(destination))) {
        return FileError::tarnwick(kInvalidPathCode, QStringLiteral("Could not put back ") + FileError::quoted(entry.displayName) +
                                                         QStringLiteral(": its original location ") + FileError::quoted(destination) +
                                                         QStringLiteral(" is not the full path of an item."));
    }
    std::vector<SafeBinEntry> entries = std::move(manifest.entries);
    sortNewestFirst(entries);

    const QString source = itemPath(bin, entry.storedName);
    const QString action = QStringLiteral("put back ") + FileError::quoted(entry.displayName) + QStringLiteral(" at ") +
                           FileError::quoted(destination);
    if (const int state = FileOperations::probe(source)) return FileError::system(state, QStringLiteral("Could not ") + action);
    if (auto error = FileOperations::makePath(PathRules::deletingLastPathComponent(destination))) return error;
    if (FileOperations::itemExists(destination)) return FileError::alreadyExists();

    const FileOperations::MoveResult moved = FileOperations::moveItem(source, destination, action);
    if (!moved.arrived) {
        if (moved.error && moved.error->isSystem(EEXIST)) return FileError::alreadyExists();
        return moved.error;
    }
    if (moved.error) return moved.error;  // back in place, but the stored copy remains: keep its record

    eraseEntry(entries, entry.id);
    return save(bin, entries);
}

std::optional<FileError> destroy(const SafeBinEntry& entry) {
    purgeExpired(kExpiryDays);
    const QString bin = root();
    Manifest manifest = readManifest(bin);
    if (manifest.error) return manifest.error;
    std::vector<SafeBinEntry> entries = std::move(manifest.entries);
    sortNewestFirst(entries);

    if (isPlainStoredName(entry.storedName)) {
        if (auto error = FileOperations::removeItem(itemPath(bin, entry.storedName))) {
            error->description = QStringLiteral("Could not delete ") + FileError::quoted(entry.displayName) +
                                 QStringLiteral(" from the Safe Bin. ") + error->description;
            return error;
        }
    }
    eraseEntry(entries, entry.id);
    return save(bin, entries);
}

qint64 allocatedSize(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) return 0;
    if (!S_ISDIR(st.st_mode)) return static_cast<qint64>(st.st_blocks) * 512;
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return 0;
    qint64 total = 0;
    int visited = 0;
    bool stopped = false;
    addSizes(fd, total, visited, stopped);
    ::close(fd);
    return total;
}

QString storedNameFor(const QUuid& id, const QString& displayName) {
    const QString prefix = JsonCoding::uuidText(id) + QLatin1Char('-');
    const int budget = kMaxNameBytes - static_cast<int>(prefix.toUtf8().size());
    if (displayName.toUtf8().size() <= budget) return prefix + displayName;
    const QString extension = PathRules::pathExtension(displayName);
    if (!extension.isEmpty()) {
        const QString tail = QLatin1Char('.') + extension;
        const int tailBytes = static_cast<int>(tail.toUtf8().size());
        if (tailBytes <= kMaxKeptExtensionBytes) {
            const QString stem = displayName.left(displayName.size() - tail.size());
            return prefix + truncatedUtf8(stem, budget - tailBytes) + tail;
        }
    }
    return prefix + truncatedUtf8(displayName, budget);
}

}  // namespace tarnwick::SafeBinService
