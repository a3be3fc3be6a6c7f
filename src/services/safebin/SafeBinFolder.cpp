#include "services/safebin/SafeBinFolder.h"

#include "platform/Environment.h"
#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "services/safebin/SafeBinAttributes.h"
#include "support/AppIdentity.h"
#include "support/JsonCoding.h"
#include "support/PathRules.h"

#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinFolder {

namespace {

constexpr int kMaxNameBytes = 255;
constexpr int kMaxKeptExtensionBytes = 32;

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

// A short, stable tag from a text (FNV-1a), for the names of partial copies.
QString shortTag(const QString& text) {
    quint64 hash = 1469598103934665603ull;
    for (const char byte : PathCodec::encode(text)) {
        hash ^= quint64(static_cast<unsigned char>(byte));
        hash *= 1099511628211ull;
    }
    return QString::number(hash, 16);
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

QString manifestPath(const QString& bin) { return PathRules::appendingPathComponent(bin, kManifestName); }

QString itemPath(const QString& bin, const QString& storedName) { return bin + QLatin1Char('/') + storedName; }

QString prefixText(std::string_view prefix) { return QString::fromLatin1(prefix.data(), qsizetype(prefix.size())); }

// A name inside the bin (or inside a group's folder) that is one entry of
// that folder: never a path, never the folder or its parent.
bool isPlainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) &&
           !name.startsWith(prefixText(FileOperations::kPartialPrefix)) && !name.startsWith(prefixText(kRemovingPrefix)) &&
           !name.startsWith(prefixText(SafeBinAttributes::kPrefix));
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

// The only folder whose own links are resolved when a path is opened.
QString trustedPrefix() { return Environment::current().homeDirectory; }

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

QString storedNameFor(const QUuid& id, const QString& displayName) {
    return nameWithPrefix(JsonCoding::uuidText(id) + QLatin1Char('-'), displayName);
}

QString memberStoredNameFor(int position, const QString& name) {
    return nameWithPrefix(QString::number(position) + QLatin1Char('-'), name);
}

// 0 when the folder holds an entry of that name (a dangling link counts), else errno.
int probeAt(int dirFd, const QByteArray& name) {
    struct stat st {};
    return ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

// The tag of the partial copy a restore makes beside an item's destination.
QString restoreTag(const SafeBinEntry& entry, const QString& memberName) {
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
}  // namespace tarnwick::SafeBinFolder
