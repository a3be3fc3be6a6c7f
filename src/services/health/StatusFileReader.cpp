#include "services/health/StatusFileReader.h"

#include "platform/FileDescriptor.h"
#include "platform/PathCodec.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::StatusFileReader {

std::optional<QByteArray> read(const QString& path, qsizetype limit) {
    const QByteArray encoded = PathCodec::encode(path);
    FileDescriptor fd(::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (!fd.valid()) return std::nullopt;
    struct stat info;
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;

    // Files of /proc and /sys report a size of 0 or one page whatever they
    // hold, so the size is found by reading to the end.
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (bytes.size() + n > limit) return std::nullopt;
        bytes.append(buffer, n);
    }
    return bytes;
}

std::optional<QByteArray> readLine(const QString& path) {
    std::optional<QByteArray> bytes = read(path, 64 * 1024);
    if (!bytes) return std::nullopt;
    const qsizetype end = bytes->indexOf('\n');
    return (end < 0 ? *bytes : bytes->left(end)).trimmed();
}

}  // namespace tarnwick::StatusFileReader
