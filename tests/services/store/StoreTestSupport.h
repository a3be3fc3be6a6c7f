#pragma once

#include "platform/FileOperations.h"
#include "platform/PathCodec.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::test {

inline QByteArray nativePath(const QString& path) { return PathCodec::encode(path); }

// The file's bytes, opened by its own name (PathCodec), or "<missing>".
inline QByteArray contents(const QString& path) {
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return QByteArray("<missing>");
    QFile file;
    QByteArray data;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        data = file.readAll();
    } else {
        ::close(fd);
        data = QByteArray("<missing>");
    }
    return data;
}

inline struct stat lstatOf(const QString& path) {
    struct stat st {};
    ::lstat(nativePath(path).constData(), &st);
    return st;
}

inline QString linkTarget(const QString& path) {
    char buffer[4096] = {};
    const ssize_t length = ::readlink(nativePath(path).constData(), buffer, sizeof buffer - 1);
    return length < 0 ? QString() : PathCodec::decode(QByteArray(buffer, length));
}

// What the Safe Bin folder holds besides its lock file, its clock and an
// empty journal (all stay once made).
inline QStringList binContents(const QString& bin) {
    QStringList names =
        QDir(bin).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    names.removeAll(QStringLiteral("manifest.lock"));
    names.removeAll(QStringLiteral("manifest.clock"));
    struct stat journal {};
    if (::lstat(nativePath(bin + QStringLiteral("/manifest.journal")).constData(), &journal) == 0 && journal.st_size == 0) {
        names.removeAll(QStringLiteral("manifest.journal"));
    }
    return names;
}

}  // namespace tarnwick::test
