#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarnwick {

// The mount points of this process's mount namespace, as the kernel lists them
// in /proc/self/mountinfo (octal escapes such as \040 decoded; names that are
// not UTF-8 kept through PathCodec). A rename within one file system carries
// a mount inside the renamed folder with it, and a bind mount of a folder of
// the same file system shares its device number, so a move asks this table
// before it renames a folder, and a walk before it enters one.
class MountTable {
public:
    // Reads the table now; empty when it cannot be read.
    static MountTable current();
    // The table of mountinfo text (one mount a line, the mount point in the fifth field).
    static MountTable parse(const QByteArray& mountinfo);

    const QStringList& mountPoints() const { return mountPoints_; }
    // The first mount point (in table order) that is path itself or lies below
    // it; path is in the kernel's form (links resolved).
    std::optional<QString> mountAtOrBelow(const QString& path) const;
    // Whether path (the kernel's form, absolute, without a trailing slash) is
    // a mount point: one hash lookup.
    bool isMountPoint(const QString& path) const { return points_.contains(path); }
    // Whether some mount point's last component is name: one hash lookup on a
    // folder's name alone, which rules out most folders before a walk puts
    // their path together.
    bool namesMountPoint(const QString& name) const { return lastNames_.contains(name); }
    // The mount point path lies on: the deepest one that is path itself or
    // lies above it; empty when the table holds none of them.
    QString mountOf(const QString& path) const;

    // For tests: replaces what current() reads; an empty function restores /proc.
    using Source = std::function<std::optional<QByteArray>()>;
    static void setSourceForTesting(Source source);

private:
    QStringList mountPoints_;
    QSet<QString> points_;
    QSet<QString> lastNames_;
};

}  // namespace tarnwick
