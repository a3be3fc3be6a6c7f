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

    // The process's own table always holds the root.
    EXPECT_TRUE(MountTable::current().mountPoints().contains(QStringLiteral("/")));
}
