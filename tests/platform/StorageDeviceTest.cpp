#include "platform/StorageDevice.h"

#include "TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/sysmacros.h>
#include <unistd.h>

using namespace tarnwick;

TEST(StorageDevice, RotationalFromTheDisksQueueAlsoForPartitions) {
    // A small copy of the kernel's layout: /sys/dev/block/MAJOR:MINOR links to
    // the device; a partition is a folder inside its disk.
    QTemporaryDir dir;
    const QString sys = dir.path();
    test::writeFile(sys + "/devices/sda/queue/rotational", "1\n");
    test::makeDir(sys + "/devices/sda/sda1");
    test::writeFile(sys + "/devices/nvme0n1/queue/rotational", "0\n");
    test::makeDir(sys + "/devices/nvme0n1/nvme0n1p2");
    test::makeDir(sys + "/dev/block");
    for (const auto& [node, target] : {std::pair{"8:0", "sda"}, {"8:1", "sda/sda1"}, {"259:0", "nvme0n1"},
                                       {"259:2", "nvme0n1/nvme0n1p2"}}) {
        const QByteArray link = (sys + "/dev/block/" + node).toUtf8();
        ASSERT_EQ(::symlink((QByteArray("../../devices/") + target).constData(), link.constData()), 0);
    }
    EXPECT_TRUE(StorageDevice::isRotational(makedev(8, 0), sys));
    EXPECT_TRUE(StorageDevice::isRotational(makedev(8, 1), sys));
    EXPECT_FALSE(StorageDevice::isRotational(makedev(259, 0), sys));
    EXPECT_FALSE(StorageDevice::isRotational(makedev(259, 2), sys));
    EXPECT_FALSE(StorageDevice::isRotational(makedev(0, 45), sys));  // no block device (tmpfs, overlay)
}
