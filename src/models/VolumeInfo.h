#pragma once

#include <QHashFunctions>
#include <QString>

#include <algorithm>
#include <optional>

namespace tarnwick {

// One mounted volume the user can scan, with how full it is.
struct VolumeInfo {
    QString id;        // the mount path; equal to path
    QString name;      // the trimmed volume name, or the mount path's last component
    QString path;      // absolute mount path
    QString scanPath;  // where a scan of the volume starts
    qint64 totalBytes = 0;  // at least 1
    qint64 freeBytes = 0;
    bool isRoot = false;    // holds the root file system
    // Bytes in use, as df counts them: total less the free blocks (reserved
    // blocks stay free here, though only the superuser may write them).
    // Absent where the platform tells no free-block figure.
    std::optional<qint64> usedBytes;

    // The bytes in use: usedBytes when known, else total less free; never negative.
    qint64 used() const { return std::max<qint64>(usedBytes.value_or(totalBytes - freeBytes), 0); }

    friend bool operator==(const VolumeInfo&, const VolumeInfo&) = default;
};

inline size_t qHash(const VolumeInfo& volume, size_t seed = 0) noexcept {
    return qHashMulti(seed, volume.id, volume.name, volume.path, volume.scanPath, volume.totalBytes,
                      volume.freeBytes, volume.isRoot, volume.usedBytes.value_or(-1));
}

}  // namespace tarnwick
