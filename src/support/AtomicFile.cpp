#include "support/AtomicFile.h"

#include "platform/FileDescriptor.h"
#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "support/FileError.h"
#include "support/PathRules.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

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
    QFileInfo info(path);
    if (!info.exists() || !info.isFile()) return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    if (file.size() > maxBytes) return std::nullopt;
    QByteArray data = file.read(maxBytes + 1);
    if (data.size() > maxBytes || file.error() != QFile::NoError) return std::nullopt;
    return data;
}

}  // namespace tarnwick::AtomicFile
