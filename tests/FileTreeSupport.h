#pragma once

// Small helpers for tests that build file trees for the finders.

#include "platform/PathCodec.h"

#include "TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace tarnwick::test {

// A file of logical length bytes without data blocks (a sparse file): cheap
// for sizes that only the logical length matters for. With written, its
// first written bytes are data ('s'), the rest a hole.
inline QString writeSparse(const QString& path, qint64 bytes, qint64 written = 0) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd = ::open(PathCodec::encode(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const std::string data(static_cast<size_t>(written), 's');
        if (written > 0 && ::write(fd, data.data(), data.size()) != written) {}
        if (::ftruncate(fd, bytes) != 0) {}
        ::close(fd);
    }
    return path;
}

// A file of bytes real bytes: fill, or with tail written over its last
// byte(s) so that files alike in the start differ at the end.
inline QString writeFilled(const QString& path, qint64 bytes, char fill = 'a', const QByteArray& tail = {}) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const int fd = ::open(PathCodec::encode(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return path;
    const std::string chunk(1 << 20, fill);
    qint64 done = 0;
    while (done < bytes) {
        const qint64 size = std::min<qint64>(bytes - done, static_cast<qint64>(chunk.size()));
        if (::write(fd, chunk.data(), static_cast<size_t>(size)) != size) break;
        done += size;
    }
    if (!tail.isEmpty() && bytes >= tail.size()) {
        if (::pwrite(fd, tail.constData(), static_cast<size_t>(tail.size()), bytes - tail.size()) < 0) {}
    }
    ::close(fd);
    return path;
}

// Sets the modification time (the link itself for a link).
inline void setModified(const QString& path, const QDateTime& when) {
    struct timespec times[2];
    const qint64 ms = when.toMSecsSinceEpoch();
    times[0].tv_sec = times[1].tv_sec = ms / 1000;
    times[0].tv_nsec = times[1].tv_nsec = (ms % 1000) * 1000000;
    ::utimensat(AT_FDCWD, PathCodec::encode(path).constData(), times, AT_SYMLINK_NOFOLLOW);
}

inline void makeLink(const QString& target, const QString& link) {
    QDir().mkpath(QFileInfo(link).absolutePath());
    if (::symlink(PathCodec::encode(target).constData(), PathCodec::encode(link).constData()) != 0) {}
}

}  // namespace tarnwick::test
