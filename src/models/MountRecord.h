#pragma once

#include <QString>

#include <optional>

namespace tarnwick {

// What the platform tells about one mount: where it is, what it is, and the
// figures read along with the list. An absent figure is one the platform
// could not give.
struct MountRecord {
    QString path;            // the mount point
    QString device;          // the mounted device or source ("/dev/sda1", "proc")
    QString fileSystemType;  // "ext4", "tmpfs", ...
    std::optional<QString> name;                   // the volume label
    std::optional<qint64> totalBytes;              // capacity
    std::optional<qint64> importantAvailableBytes; // room for important data, where the platform knows it
    std::optional<qint64> availableBytes;          // room the user can still write to
    std::optional<qint64> freeBytes;               // blocks in use by nothing, reserved ones included
    bool isReady = true;             // false: the figures could not be read
    std::optional<bool> isRoot;      // holds the root file system
};

}  // namespace tarnwick
