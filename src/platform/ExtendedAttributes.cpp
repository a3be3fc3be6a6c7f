#include "platform/ExtendedAttributes.h"

#include "platform/FileOperations.h"
#include "platform/PathCodec.h"

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
    if (::fsetxattr(fd, name.constData(), value.constData(), size_t(value.size()), 0) == 0) return 0;
    if (errno != EBADF) return errno;
    // Opened O_PATH: through the descriptor's own name, which leads to the item itself.
    const QByteArray own = "/proc/self/fd/" + QByteArray::number(fd);
    return ::setxattr(own.constData(), name.constData(), value.constData(), size_t(value.size()), 0) == 0 ? 0 : errno;
}

}  // namespace tarnwick::ExtendedAttributes
