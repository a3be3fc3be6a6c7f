#include "services/scan/WalkRules.h"

#include "platform/PathCodec.h"
#include "platform/StorageDevice.h"
#include "support/AppIdentity.h"

#include <QDir>
#include <QSet>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>

namespace tarnwick::WalkRules {

namespace {

const QSet<QString>& skipList() {
    static const QSet<QString> paths = {
        QStringLiteral("/dev"),
        QStringLiteral("/proc"),
        QStringLiteral("/sys"),
        QStringLiteral("/net"),
        QStringLiteral("/Network"),
        QStringLiteral("/automount"),
        QStringLiteral("/private/var/vm"),
        QStringLiteral("/System/Volumes/Data/private/var/vm"),
        QStringLiteral("/System/Volumes/Preboot"),
        QStringLiteral("/System/Volumes/VM"),
        QStringLiteral("/System/Volumes/Update"),
        QStringLiteral("/System/Volumes/xarts"),
        QStringLiteral("/System/Volumes/iSCPreboot"),
        QStringLiteral("/System/Volumes/Hardware"),
        QStringLiteral("/System/Volumes/Recovery"),
        QStringLiteral("/System/Volumes/BaseSystem"),
    };
    return paths;
}

const QString kVolumes = QStringLiteral("/Volumes/");

}  // namespace

bool shouldSkipDirectory(const QString& path) {
    if (skipList().contains(path)) return true;
    return path.startsWith(kVolumes) && path.indexOf(QLatin1String("com.apple.TimeMachine"), kVolumes.size()) >= 0;
}

PathFacts PathFacts::of(const QString& path) {
    return {path.size(), path == QLatin1String("/Volumes") || path.startsWith(kVolumes)};
}

PathFacts PathFacts::child(QStringView name) const {
    // Walked paths end with a slash only when they are "/".
    const qsizetype separator = length > 1 ? 1 : 0;
    return {length + separator + name.size(), inVolumes || (length == 1 && name == QLatin1String("Volumes"))};
}

QString displayName(const QString& path) {
    const QString last = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return last.isEmpty() ? path : last;
}

QString normalizedRoot(const QString& rootPath) {
    if (rootPath.isEmpty()) return rootPath;
    QString path = QDir::isAbsolutePath(rootPath) ? rootPath : QDir::current().absoluteFilePath(rootPath);
    return QDir::cleanPath(path);
}

QString joinPath(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/'))) return folder + name;
    QString path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    path += QLatin1Char('/');
    path += name;
    return path;
}

qint64 allocatedSize(const struct stat& st) {
    constexpr qint64 kMaxBlocks = std::numeric_limits<qint64>::max() / 512;
    const qint64 blocks = static_cast<qint64>(st.st_blocks);
    if (blocks <= 0) return 0;
    return blocks > kMaxBlocks ? std::numeric_limits<qint64>::max() : blocks * 512;
}

qint64 modifiedMSecs(const struct stat& st) {
    return static_cast<qint64>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

EntryLook lookAt(int folderFd, unsigned char type, const char* name) {
    EntryLook look;
    bool isLink = type == DT_LNK;  // a link known from the listing needs only its target's values
    if (!isLink) {
        if (::fstatat(folderFd, name, &look.values, AT_SYMLINK_NOFOLLOW) == 0) {
            look.known = true;
            isLink = S_ISLNK(look.values.st_mode);
        } else if (errno == ENOENT) {
            return look;  // gone since the listing
        }
    }
    if (isLink) {
        if (::fstatat(folderFd, name, &look.values, 0) == 0 && S_ISDIR(look.values.st_mode)) {
            look.kind = EntryLook::Kind::linkedFolder;
        }
        return look;
    }
    if (look.known) {
        if (S_ISDIR(look.values.st_mode)) {
            look.kind = EntryLook::Kind::folder;
            return look;
        }
        look.kind = EntryLook::Kind::file;
        look.size = allocatedSize(look.values);
        look.modified = modifiedMSecs(look.values);
        return look;
    }
    // Its own values are unreadable: what it leads to decides, and its blocks
    // are the only size there is; there is no date.
    look.kind = EntryLook::Kind::file;
    if (::fstatat(folderFd, name, &look.values, 0) == 0) {
        if (S_ISDIR(look.values.st_mode)) {
            look.kind = EntryLook::Kind::probedFolder;
        } else {
            look.size = allocatedSize(look.values);
        }
    }
    return look;
}

int openRoot(const QString& rootPath, struct stat* st) {
    const QByteArray encoded = PathCodec::encode(rootPath);
    if (encoded.isEmpty()) return -1;
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && st && ::fstat(fd, st) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool readListing(int fd, char* buffer, size_t bufferSize, std::vector<char>& arena, size_t* entryCount) {
    const size_t start = arena.size();
    size_t count = 0;
    for (;;) {
        const ssize_t read = ::getdents64(fd, buffer, bufferSize);
        if (read < 0) {
            if (errno == EINTR) continue;
            arena.resize(start);
            return false;
        }
        if (read == 0) break;
        for (ssize_t at = 0; at < read;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
            const size_t length = std::strlen(name);
            arena.push_back(static_cast<char>(entry->d_type));
            arena.insert(arena.end(), name, name + length + 1);
            ++count;
        }
    }
    *entryCount = count;
    return true;
}

FileIdSet folderAndAncestors(int rootFd) {
    FileIdSet ids;
    struct stat st{};
    if (::fstat(rootFd, &st) != 0) return ids;
    ids.insert(fileId(st));
    int current = ::openat(rootFd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int steps = 0; current >= 0 && steps < 4096; ++steps) {
        struct stat up{};
        if (::fstat(current, &up) != 0 || !ids.insert(fileId(up)).second) break;  // the top is its own parent
        const int next = ::openat(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(current);
        current = next;
    }
    if (current >= 0) ::close(current);
    return ids;
}

bool countedElsewhere(int fd, const struct stat& st, const FileId& rootId, const FileIdSet& linkTargets) {
    FileId id = fileId(st);
    if (id == rootId || linkTargets.contains(id)) return true;
    bool counted = false;
    int current = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int steps = 0; current >= 0 && steps < 4096; ++steps) {
        struct stat up{};
        if (::fstat(current, &up) != 0) break;
        const FileId upId = fileId(up);
        if (upId == rootId || linkTargets.contains(upId)) {
            counted = true;
            break;
        }
        if (upId == id) break;  // the top, which is its own parent
        id = upId;
        const int next = ::openat(current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(current);
        current = next;
    }
    if (current >= 0) ::close(current);
    return counted;
}

FileIdSet supportFolders() {
    FileIdSet ids;
    for (const QString& folder : {AppIdentity::supportDirectory(), AppIdentity::legacySupportDirectory()}) {
        struct stat st{};
        if (::stat(PathCodec::encode(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode)) ids.insert(fileId(st));
    }
    return ids;
}

QString openedPath(int fd) {
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link, target, sizeof target);
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof target) || target[0] != '/') return {};
    return PathCodec::decode(std::string_view(target, static_cast<size_t>(length)));
}

int defaultThreads(dev_t device) {
    if (StorageDevice::spins(device)) return 1;
    int cores = 0;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) cores = CPU_COUNT(&set);
    if (cores <= 0) cores = static_cast<int>(std::thread::hardware_concurrency());
    // A walk of folders not yet in memory waits on the disk far more than it
    // computes: several requests in flight per core keep a solid-state or
    // virtual disk busy, which cuts a cold walk by about 40 % for a few
    // percent on a warm one.
    return std::clamp(cores * 4, 1, 32);
}

}  // namespace tarnwick::WalkRules
