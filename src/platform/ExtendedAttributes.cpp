#include "platform/ExtendedAttributes.h"

#include "platform/FileDescriptor.h"
#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "support/PathRules.h"

#include <QList>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>

#include <cerrno>

namespace tarnwick::ExtendedAttributes {

std::optional<QByteArray> value(const QString& path, const QString& name, qint64 maxBytes) {
    const QByteArray file = PathCodec::encode(path);
    const QByteArray key = name.toUtf8();
    // The value may change between asking its size and reading it: a value
    // that grew is read again with the new size, a few times at most.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::lgetxattr(file.constData(), key.constData(), nullptr, 0);
        if (size < 0 || size > maxBytes) return std::nullopt;
        QByteArray data(qsizetype(size), Qt::Uninitialized);
        if (size == 0) return data;
        const ssize_t got = ::lgetxattr(file.constData(), key.constData(), data.data(), size_t(size));
        if (got >= 0) {
            data.truncate(qsizetype(got));
            return data;
        }
        if (errno != ERANGE) return std::nullopt;
    }
    return std::nullopt;
}

bool set(const QString& path, const QString& name, const QByteArray& value) {
    return ::lsetxattr(PathCodec::encode(path).constData(), name.toUtf8().constData(), value.constData(),
                       size_t(value.size()), 0) == 0;
}

int setOn(int fd, const QByteArray& name, const QByteArray& value, const QString& path) {
    if (const int fault = FileOperations::injectedFault("attribute", path + QLatin1Char(':') + QString::fromUtf8(name))) {
        return fault;
    }
    return ::fsetxattr(fd, name.constData(), value.constData(), size_t(value.size()), 0) == 0 ? 0 : errno;
}

bool cannotHold(int error, int fd, qint64 valueBytes) {
    if (error == ENOTSUP || error == EOPNOTSUPP || error == E2BIG || error == ERANGE) return true;
    if (error != ENOSPC) return false;
    // Full only when what is left would not take the value many times over.
    struct statvfs space {};
    if (::fstatvfs(fd, &space) != 0) return false;
    const qint64 free = qint64(space.f_bavail) * qint64(space.f_frsize);
    return free > (qint64(1) << 20) + 16 * valueBytes;
}

FileError unheldError(int error, const QString& what, qint64 valueBytes) {
    if (error == ENOTSUP || error == EOPNOTSUPP) {
        return FileError{FileError::kSystemDomain, ENOTSUP, what + QStringLiteral(": the file system there keeps no such attributes.")};
    }
    return FileError{FileError::kSystemDomain, E2BIG,
                     what + QStringLiteral(": its value (") + QString::number(valueBytes) +
                         QStringLiteral(" bytes) is larger than the file system there takes.")};
}

std::optional<FileError> setBelow(int dirFd, const QByteArray& name, const QString& path,
                                  const std::vector<Attribute>& attributes) {
    for (const Attribute& attribute : attributes) {
        QString itemPath = path;
        const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        FileDescriptor item(::openat(dirFd, name.constData(), flags));
        if (!attribute.item.isEmpty()) {
            for (const QByteArray& part : attribute.item.split('/')) {
                if (!item.valid()) break;
                item.reset(::openat(item.get(), part.constData(), flags));
                itemPath = PathRules::appendingPathComponent(itemPath, PathCodec::decode(part));
            }
        }
        struct stat st {};
        if (!item.valid() || ::fstat(item.get(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) continue;
        const int error = setOn(item.get(), attribute.name, attribute.value, itemPath);
        if (error == 0) continue;
        const QString what = QStringLiteral("Could not give ") + FileError::quoted(itemPath) + QStringLiteral(" its attribute ") +
                             FileError::quoted(QString::fromUtf8(attribute.name));
        if (cannotHold(error, item.get(), attribute.value.size())) return unheldError(error, what, attribute.value.size());
        return FileError::system(error, what);
    }
    return std::nullopt;
}

}  // namespace tarnwick::ExtendedAttributes
