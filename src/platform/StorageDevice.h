#pragma once

#include <QString>

#include <sys/types.h>

namespace tarnwick {

// What the kernel tells about the disk behind a file system.
namespace StorageDevice {

// True when the block device of a file system (a stat's st_dev) is a
// rotational disk, as /sys/dev/block/MAJOR:MINOR/queue/rotational says (for a
// partition, its disk's queue). False when that cannot be told: file systems
// without a block device of their own, or no such entry.
bool isRotational(dev_t device, const QString& sysfsRoot = QStringLiteral("/sys"));

}  // namespace StorageDevice

}  // namespace tarnwick
