#include "support/AtomicFile.h"

#include "platform/FileDescriptor.h"
#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "support/FileError.h"
#include "support/PathRules.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::AtomicFile {

namespace {

int writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;  // no progress and no reason: never loop for ever
        data += written;
        size -= written;
    }
    return 0;
}

}  // namespace

bool write(const QString& path, const QByteArray& data, QString* error, int* errorNumber) {
    auto fail = [&](int code) {
        if (error) *error = FileError::systemText(code);
        if (errorNumber) *errorNumber = code;
        return false;
    };
    const QString folder = PathRules::deletingLastPathComponent(path);
    const QByteArray folderBytes = PathCodec::encode(folder.isEmpty() ? QStringLiteral(".") : folder);
    FileDescriptor directory(::open(folderBytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory.valid()) return fail(errno);

    const QByteArray target = PathCodec::encode(PathRules::lastPathComponent(path));
    QByteArray temporary;
    FileDescriptor file;
    for (int attempt = 0; attempt < 16 && !file.valid(); ++attempt) {
        temporary = "." + target + ".tmp-" + QByteArray::number(QRandomGenerator::global()->generate(), 16);
        file.reset(::openat(directory.get(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            0666));
        if (!file.valid() && errno != EEXIST) return fail(errno);
    }
    if (!file.valid()) return fail(EEXIST);
    auto discard = [&](int code) {
        file.reset();
        ::unlinkat(directory.get(), temporary.constData(), 0);
        return fail(code);
    };

    if (const int fault = FileOperations::injectedFault("write", path)) return discard(fault);
    if (const int code = writeAll(file.get(), data.constData(), data.size())) return discard(code);
    if (const int fault = FileOperations::injectedFault("sync", path)) return discard(fault);
    // Space is only promised once the data has reached the disk: a full file
    // system may accept the bytes into the cache and refuse them here.
    if (::fsync(file.get()) != 0) return discard(errno);
    struct stat written {};
    if (::fstat(file.get(), &written) != 0) return discard(errno);
    if (written.st_size != data.size()) return discard(EIO);
    if (const int code = file.close()) {
        ::unlinkat(directory.get(), temporary.constData(), 0);
        return fail(code);
    }
    if (::renameat(directory.get(), temporary.constData(), directory.get(), target.constData()) != 0) {
        const int code = errno;
        ::unlinkat(directory.get(), temporary.constData(), 0);
        return fail(code);
    }
    // The new name itself lives in the folder: make it durable too. The file
    // is in place by now, so a failure here is no reason to report failure.
    (void)::fsync(directory.get());
    return true;
}

std::optional<QByteArray> read(const QString& path, qint64 maxBytes) {
    if (maxBytes < 0) return std::nullopt;
    // O_NONBLOCK keeps a FIFO in the file's place from holding the open.
    FileDescriptor file(::open(PathCodec::encode(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid()) return std::nullopt;
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes) return std::nullopt;
    return readOpened(file.get(), maxBytes, st.st_size);
}

FileDescriptor openForReading(int dirFd, const QByteArray& name, struct stat* st, int* error) {
    struct stat own {};
    struct stat& seen = st ? *st : own;
    auto fail = [&](int code) {
        if (error) *error = code;
        return FileDescriptor();
    };
    FileDescriptor file(::openat(dirFd, name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!file.valid()) return fail(errno);
    if (::fstat(file.get(), &seen) != 0) return fail(errno);
    if (!S_ISREG(seen.st_mode)) return fail(EINVAL);
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return fail(errno);
    if (error) *error = 0;
    return file;
}

std::optional<QByteArray> readOpened(int fd, qint64 maxBytes, qint64 sizeHint) {
    if (maxBytes < 0) return std::nullopt;
    // Room for what the file holds now and one byte more, so that the end of
    // the file shows without growing. The cap bounds the memory, not the
    // size: a file that grows while it is read grows the buffer, but never
    // past one byte over the cap, which is then refused.
    const qint64 limit = std::min<qint64>(maxBytes, std::numeric_limits<qsizetype>::max() - 1) + 1;
    QByteArray data(std::min<qint64>(std::max<qint64>(sizeHint, 0) + 1, limit), Qt::Uninitialized);
    qint64 size = 0;
    for (;;) {
        if (size == data.size()) {
            if (size >= limit) return std::nullopt;
            data.resize(std::min<qint64>(limit, std::max<qint64>(size * 2, size + 64 * 1024)));
        }
        const ssize_t got = ::read(fd, data.data() + size, static_cast<size_t>(data.size() - size));
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (got == 0) break;
        size += got;
    }
    data.truncate(size);
    return data;
}

}  // namespace tarnwick::AtomicFile
