#include "platform/MountTable.h"

#include "platform/PathCodec.h"

#include <gtest/gtest.h>

using namespace tarnwick;

TEST(MountTable, ReadsEscapedMountPointsAndFindsThoseAtOrBelowAPath) {
    const QByteArray text =
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
        "30 27 254:0 /src /home/u/.cache/app/my\\040mnt rw - ext4 /dev/vda rw\n"
        "31 27 0:40 / /home/u/tab\\011and\\134back rw - tmpfs t rw\n"
        "32 27 0:41 / /home/u/caf\\351 rw - tmpfs t rw\n"
        "a line that is no mount\n";
    const MountTable table = MountTable::parse(text);
    ASSERT_EQ(table.mountPoints().size(), 4);
    EXPECT_EQ(table.mountPoints()[1], QStringLiteral("/home/u/.cache/app/my mnt"));
    EXPECT_EQ(table.mountPoints()[2], QStringLiteral("/home/u/tab\tand\\back"));
    EXPECT_EQ(PathCodec::encode(table.mountPoints()[3]), QByteArray("/home/u/caf\xe9")) << "not UTF-8: its own bytes";

    EXPECT_EQ(table.mountAtOrBelow(QStringLiteral("/home/u/.cache")), QStringLiteral("/home/u/.cache/app/my mnt"));
    EXPECT_EQ(table.mountAtOrBelow(QStringLiteral("/home/u/.cache/app/my mnt")), QStringLiteral("/home/u/.cache/app/my mnt"));
    EXPECT_FALSE(table.mountAtOrBelow(QStringLiteral("/home/u/.cache/app/my")));
    EXPECT_FALSE(table.mountAtOrBelow(QStringLiteral("/home/u/.cache/app/my mnt/inside")));
    EXPECT_FALSE(table.mountAtOrBelow(QStringLiteral("/home/u/Documents")));

    // One lookup tells a mount point, and its last name alone rules out most folders.
    EXPECT_TRUE(table.isMountPoint(QStringLiteral("/home/u/.cache/app/my mnt")));
    EXPECT_FALSE(table.isMountPoint(QStringLiteral("/home/u/.cache/app")));
    EXPECT_TRUE(table.namesMountPoint(QStringLiteral("my mnt")));
    EXPECT_TRUE(table.namesMountPoint(QStringLiteral("proc")));
    EXPECT_FALSE(table.namesMountPoint(QStringLiteral("app")));
    // The mount a path lies on is the deepest mount point at or above it.
    EXPECT_EQ(table.mountOf(QStringLiteral("/home/u/.cache/app/my mnt/inside")), QStringLiteral("/home/u/.cache/app/my mnt"));
    EXPECT_EQ(table.mountOf(QStringLiteral("/proc")), QStringLiteral("/proc"));
    EXPECT_TRUE(table.mountOf(QStringLiteral("/home/u/.cache/app/my")).isEmpty()) << "no \"/\" in this table";
    EXPECT_EQ(MountTable::parse("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n").mountOf(QStringLiteral("/home/u")), QStringLiteral("/"));

    // The process's own table always holds the root.
    EXPECT_TRUE(MountTable::current().mountPoints().contains(QStringLiteral("/")));
}
