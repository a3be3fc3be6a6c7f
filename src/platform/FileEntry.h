#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

struct stat;

namespace tarnwick {

// One item of the file system as a finder sees it: what lstat says about it,
// never about what a link points to.
struct FileEntry {
    enum class Type { directory, regularFile, symbolicLink, other };

    QString path;  // absolute path, decoded losslessly (PathCodec)
    QString name;  // last path component
    Type type = Type::other;
    qint64 logicalSize = 0;    // st_size
    qint64 allocatedSize = 0;  // st_blocks × 512
    qint64 modifiedMSecs = 0;  // content modification time, ms since 1970 (UTC)
    // Status change time (st_ctime), ms since 1970 (UTC): unlike the
    // modification time it cannot be set back, so it tells that something
    // was made, replaced or written however old its modification time reads.
    qint64 changedMSecs = 0;
    quint32 owner = 0;         // st_uid
    quint32 permissions = 0;   // the mode's permission bits (07777)
    quint64 device = 0;
    quint64 inode = 0;
    quint64 linkCount = 0;

    bool isDirectory() const { return type == Type::directory; }
    bool isRegularFile() const { return type == Type::regularFile; }
    bool isSymbolicLink() const { return type == Type::symbolicLink; }
    // Names that start with "." are hidden.
    bool isHidden() const { return name.startsWith(QLatin1Char('.')); }
    // A folder has neither a file size nor an allocated size; everything
    // else has both (a link's are those of the link itself).
    std::optional<qint64> fileSize() const;
    std::optional<qint64> totalAllocatedSize() const;
    QDateTime modified() const;
    // Same device and inode: two names of one file.
    bool isSameFile(const FileEntry& other) const { return device == other.device && inode == other.inode; }

    // Fills the values from a stat buffer (path and name are left alone).
    void setValues(const struct stat& st);

    // What is at path, without following a link there; nothing when nothing
    // is there or it cannot be looked at.
    static std::optional<FileEntry> at(const QString& path);
};

}  // namespace tarnwick
