#include "platform/StorageDevice.h"

#include "platform/Environment.h"
#include "platform/PathCodec.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tarnwick::StorageDevice {

namespace {

// Stacked devices nest a few levels at most (a volume group on a RAID on partitions).
constexpr int kMostStackLevels = 8;

// The first line of a small sysfs file, without its line end; empty when it cannot be read.
QString firstLine(const QString& path) {
    const int fd = ::open(PathCodec::encode(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char text[256];
    const ssize_t got = ::read(fd, text, sizeof text);
    ::close(fd);
    if (got <= 0) return {};
    QString line = QString::fromLatin1(text, got);
    const qsizetype end = line.indexOf(QLatin1Char('\n'));
    return end < 0 ? line : line.left(end);
}

QString nodeOf(const QString& sysfsRoot, dev_t device) {
    return QStringLiteral("%1/dev/block/%2:%3").arg(sysfsRoot).arg(major(device)).arg(minor(device));
}

// The folder of the disk a block device node stands for: the node's own
// folder, or for a partition the disk's folder above it. Empty when there is none.
QString diskFolder(const QString& node) {
    const QString folder = QFileInfo(node).canonicalFilePath();
    if (folder.isEmpty()) return {};
    if (QFileInfo::exists(folder + QStringLiteral("/partition"))) return QFileInfo(folder).path();
    return folder;
}

// Whether the disk is one a virtual machine is given.
bool isVirtualDisk(const QString& sysfs, const QString& disk) {
    // The buses and the kernel's own devices: virtio (also its SCSI
    // adapter), Xen's block front end, Hyper-V's VMBus, and devices without
    // hardware (loop, zram, ram disks).
    const QString inside = disk.startsWith(sysfs + QLatin1Char('/')) ? disk.mid(sysfs.size()) : disk;
    for (const QString& part : inside.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("virtual") || part.startsWith(QLatin1String("virtio")) ||
            part.startsWith(QLatin1String("vbd-")) || part.startsWith(QLatin1String("xen")) ||
            part.startsWith(QLatin1String("VMBUS"), Qt::CaseInsensitive)) {
            return true;
        }
    }
    const QString driver = QFileInfo(QFileInfo(disk + QStringLiteral("/device/driver")).canonicalFilePath()).fileName();
    if (driver.startsWith(QLatin1String("virtio")) || driver.startsWith(QLatin1String("xen")) ||
        driver == QLatin1String("vbd") || driver.startsWith(QLatin1String("hv_"))) {
        return true;
    }
    // The emulated disks of hypervisors name their maker.
    const QString identity = (firstLine(disk + QStringLiteral("/device/vendor")) + QLatin1Char(' ') +
                              firstLine(disk + QStringLiteral("/device/model")))
                                 .toLower();
    for (const char* maker : {"qemu", "vmware", "vbox", "virtual", "msft", "xen", "bochs", "google", "parallels"}) {
        if (identity.contains(QLatin1String(maker))) return true;
    }
    return false;
}

bool diskSpins(const QString& sysfs, const QString& disk, int level) {
    if (disk.isEmpty() || level > kMostStackLevels) return false;
    // A stacked device is as good as the disks below it.
    const QStringList below =
        QDir(disk + QStringLiteral("/slaves")).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    if (!below.isEmpty()) {
        for (const QString& name : below) {
            if (diskSpins(sysfs, diskFolder(disk + QStringLiteral("/slaves/") + name), level + 1)) return true;
        }
        return false;
    }
    if (firstLine(disk + QStringLiteral("/queue/rotational")) != QLatin1String("1")) return false;
    return !isVirtualDisk(sysfs, disk);
}

}  // namespace

bool isRotational(dev_t device, const QString& sysfsRoot) {
    const QString node = nodeOf(sysfsRoot, device);
    // A partition has no queue of its own; its disk is the folder above (the
    // kernel resolves the link before the "..").
    for (const QString& queue : {node + QStringLiteral("/queue/rotational"), node + QStringLiteral("/../queue/rotational")}) {
        const int fd = ::open(PathCodec::encode(queue).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char value = 0;
        const ssize_t read = ::read(fd, &value, 1);
        ::close(fd);
        return read == 1 && value == '1';
    }
    return false;
}

bool spins(dev_t device, const QString& sysfsRoot) {
    return diskSpins(QFileInfo(sysfsRoot).canonicalFilePath(), diskFolder(nodeOf(sysfsRoot, device)), 0);
}

bool spins(dev_t device) {
    return spins(device, Environment::current().systemPath(QStringLiteral("/sys")));
}

}  // namespace tarnwick::StorageDevice
