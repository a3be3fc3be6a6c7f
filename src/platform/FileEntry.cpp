#include "platform/FileEntry.h"

#include "platform/PathCodec.h"

#include <sys/stat.h>

namespace tarnwick {

std::optional<qint64> FileEntry::fileSize() const {
    if (isDirectory()) return std::nullopt;
    return logicalSize;
}

std::optional<qint64> FileEntry::totalAllocatedSize() const {
    if (isDirectory()) return std::nullopt;
    return allocatedSize;
}

QDateTime FileEntry::modified() const {
    return QDateTime::fromMSecsSinceEpoch(modifiedMSecs, Qt::UTC);
}

void FileEntry::setValues(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) {
        type = Type::directory;
    } else if (S_ISREG(st.st_mode)) {
        type = Type::regularFile;
    } else if (S_ISLNK(st.st_mode)) {
        type = Type::symbolicLink;
    } else {
        type = Type::other;
    }
    logicalSize = static_cast<qint64>(st.st_size);
    allocatedSize = static_cast<qint64>(st.st_blocks) * 512;
    modifiedMSecs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    changedMSecs = static_cast<qint64>(st.st_ctim.tv_sec) * 1000 + st.st_ctim.tv_nsec / 1000000;
    owner = static_cast<quint32>(st.st_uid);
    permissions = static_cast<quint32>(st.st_mode & 07777);
    device = static_cast<quint64>(st.st_dev);
    inode = static_cast<quint64>(st.st_ino);
    linkCount = static_cast<quint64>(st.st_nlink);
}

std::optional<FileEntry> FileEntry::at(const QString& givenPath) {
    // A trailing slash would make lstat look through a link.
    QString path = givenPath;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
    if (path.isEmpty()) return std::nullopt;
    struct stat st {};
    if (::lstat(PathCodec::encode(path).constData(), &st) != 0) return std::nullopt;
    FileEntry entry;
    entry.path = path;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    entry.name = slash < 0 ? path : path.mid(slash + 1);
    entry.setValues(st);
    return entry;
}

}  // namespace tarnwick
