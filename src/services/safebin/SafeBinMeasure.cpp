#include "services/safebin/SafeBinMeasure.h"

#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "support/PathRules.h"

#include <cstring>
#include <limits>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::SafeBinMeasure {

namespace {

constexpr int kMaxMeasuredEntries = 40000;

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

}  // namespace

qint64 allocatedSize(const QString& path) {
    const QString folder = PathRules::deletingLastPathComponent(path);
    const int dirFd = ::open(PathCodec::encode(folder.isEmpty() ? QStringLiteral(".") : folder).constData(),
                             O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return 0;
    const qint64 size = allocatedSizeAt(dirFd, PathCodec::encode(PathRules::lastPathComponent(path)));
    ::close(dirFd);
    return size;
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

qint64 sizeOfMembers(const std::vector<SafeBinEntry::Member>& members) {
    qint64 total = 0;
    for (const SafeBinEntry::Member& member : members) total += member.size;
    return total;
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

}  // namespace tarnwick::SafeBinMeasure
