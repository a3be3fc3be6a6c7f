#include "platform/StorageDevice.h"

#include "SysfsSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/sysmacros.h>

using namespace tarnwick;

namespace {

TEST(StorageDevice, OnlyADiskThatReallySpinsSpinsAndPartitionsAndStacksAskTheirDisks) {
    QTemporaryDir dir;
    test::FakeSysfs sys(dir.path());
    const QString ata = "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda";
    sys.disk("8:0", ata, true, "sd", "ATA", "WDC WD10EZEX-08W");
    sys.partition("8:1", ata, "sda1");
    sys.disk("259:0", "pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1", false);
    sys.partition("259:2", "pci0000:00/0000:00:1d.0/nvme/nvme0/nvme0n1", "nvme0n1p2");
    // Virtual machines' disks, all marked rotational.
    sys.disk("254:0", "pci0000:00/0000:00:02.0/virtio1/block/vda", true, "virtio_blk", "0x1af4");
    sys.partition("254:1", "pci0000:00/0000:00:02.0/virtio1/block/vda", "vda1");
    sys.disk("8:16", "pci0000:00/0000:00:03.0/virtio2/host2/target2:0:0/2:0:0:0/block/sdb", true, "sd", "QEMU",
             "QEMU HARDDISK");
    sys.disk("8:32", "pci0000:00/0000:00:10.0/host3/target3:0:0/3:0:0:0/block/sdc", true, "sd", "VMware",
             "Virtual disk");
    sys.disk("8:48", "pci0000:00/0000:00:0d.0/ata4/host4/target4:0:0/4:0:0:0/block/sdd", true, "sd", "ATA",
             "VBOX HARDDISK");
    sys.disk("202:0", "vbd-51712/block/xvda", true, "vbd");
    sys.disk("8:64", "LNXSYSTM:00/VMBUS:00/f8b3781a/host5/target5:0:0/5:0:0:0/block/sde", true, "sd", "Msft",
             "Virtual Disk");
    // A volume group on the spinning disk's partition, and one on the virtual disk.
    sys.stacked("253:0", "dm-0", {ata + "/sda1"});
    sys.stacked("253:1", "dm-1", {"pci0000:00/0000:00:02.0/virtio1/block/vda/vda1"});
    const QString root = sys.root();

    EXPECT_TRUE(StorageDevice::spins(makedev(8, 0), root));
    EXPECT_TRUE(StorageDevice::spins(makedev(8, 1), root)) << "a partition of it";
    EXPECT_TRUE(StorageDevice::spins(makedev(253, 0), root)) << "a stack on it";
    EXPECT_FALSE(StorageDevice::spins(makedev(259, 0), root));
    EXPECT_FALSE(StorageDevice::spins(makedev(259, 2), root));
    for (const auto& [major, minor] : {std::pair{254, 0}, {254, 1}, {8, 16}, {8, 32}, {8, 48}, {202, 0}, {8, 64},
                                        {253, 1}}) {
        EXPECT_FALSE(StorageDevice::spins(makedev(major, minor), root)) << major << ":" << minor;
    }
    EXPECT_FALSE(StorageDevice::spins(makedev(0, 45), root)) << "no block device (tmpfs, overlay)";

    // The queue's flag alone: as the kernel says, virtual or not.
    EXPECT_TRUE(StorageDevice::isRotational(makedev(8, 1), root));
    EXPECT_TRUE(StorageDevice::isRotational(makedev(254, 0), root));
    EXPECT_FALSE(StorageDevice::isRotational(makedev(259, 2), root));
}

}  // namespace
