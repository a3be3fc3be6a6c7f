#include "platform/FileIdentity.h"

#include "platform/PathCodec.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace tarnwick {

FileIdentity FileIdentity::fromStat(const struct stat& st) {
    FileIdentity identity;
    identity.device = static_cast<quint64>(st.st_dev);
    identity.inode = static_cast<quint64>(st.st_ino);
    identity.isDirectory = S_ISDIR(st.st_mode);
    identity.size = static_cast<qint64>(st.st_size);
    identity.modifiedNSecs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return identity;
}

std::optional<FileIdentity> FileIdentity::at(int directoryFd, const QByteArray& name) {
    struct stat st {};
    if (::fstatat(directoryFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return fromStat(st);
}

std::optional<FileIdentity> FileIdentity::of(const QString& path) {
    return at(AT_FDCWD, PathCodec::encode(path));
}

bool FileIdentity::matches(const FileIdentity& now) const {
    if (device != now.device || inode != now.inode || isDirectory != now.isDirectory) return false;
    return isDirectory || (size == now.size && modifiedNSecs == now.modifiedNSecs);
}

}  // namespace tarnwick
