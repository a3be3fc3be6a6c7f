#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

struct stat;

namespace tarnwick {

// What a finder saw of an item when it found it: enough to tell, when the
// item is about to move, that its name still names that same item and that
// a file has not changed since. A folder is the same folder while device and
// inode match (its contents are judged entry by entry, or moved whole).
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    bool isDirectory = false;
    qint64 size = 0;           // st_size; not compared for folders
    qint64 modifiedNSecs = 0;  // st_mtim in ns since 1970; not compared for folders

    static FileIdentity fromStat(const struct stat& st);
    // What is there now, never following a link at the last component.
    static std::optional<FileIdentity> at(int directoryFd, const QByteArray& name);
    static std::optional<FileIdentity> of(const QString& path);

    // True when now is still the item this identity was taken of.
    bool matches(const FileIdentity& now) const;

    bool operator==(const FileIdentity&) const = default;
};

}  // namespace tarnwick
