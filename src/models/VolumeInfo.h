#pragma once

#include <QHashFunctions>
#include <QString>

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

    friend bool operator==(const VolumeInfo&, const VolumeInfo&) = default;
};

inline size_t qHash(const VolumeInfo& volume, size_t seed = 0) noexcept {
    return qHashMulti(seed, volume.id, volume.name, volume.path, volume.scanPath, volume.totalBytes,
                      volume.freeBytes, volume.isRoot);
}

}  // namespace tarnwick
