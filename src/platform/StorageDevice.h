#pragma once

#include <QString>

#include <sys/types.h>

namespace tarnwick {

// What the kernel tells about the disk behind a file system, from its sysfs
// tree (/sys/dev/block/MAJOR:MINOR and the device folder it links to).
namespace StorageDevice {

// True when the queue of the block device of a file system (a stat's
// st_dev) is marked rotational (for a partition, its disk's queue). False
// when that cannot be told: file systems without a block device of their
// own, or no such entry.
bool isRotational(dev_t device, const QString& sysfsRoot = QStringLiteral("/sys"));

// True when the disk behind a file system really spins, so that reading it
// in parallel only makes its head seek: its queue is marked rotational and it
// is no virtual disk. A virtual machine's disks (paravirtual ones, and
// emulated disks that name a hypervisor as their maker) are marked
// rotational whatever stores them; they are told by the bus they hang from,
// their driver or their vendor and model. A stacked device (device mapper, RAID)
// spins when one of the disks below it does. False when nothing can be told.
bool spins(dev_t device, const QString& sysfsRoot);
// The same with the sysfs tree of the environment in force (its root prefix
// followed by /sys).
bool spins(dev_t device);

}  // namespace StorageDevice

}  // namespace tarnwick
