#include "platform/WalkBoundary.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

MountTable tableOf(const QStringList& points) {
    QByteArray text;
    int id = 20;
    for (const QString& point : points) {
        text += QByteArray::number(id++) + " 1 8:1 / " + point.toUtf8() + " rw - ext4 /dev/sda1 rw\n";
    }
    return MountTable::parse(text);
}

}  // namespace

TEST(WalkBoundary, MapsPathsBelowTheRootToTheKernelsFormAndFindsTheMountPointsThere) {
    const MountTable table = tableOf({"/", "/data", "/data/a/bind", "/data/ab", "/other/bind"});
    // The root as the walk names it (through a link) and as the kernel does.
    const WalkBoundary boundary(table, QStringLiteral("/home/u/link"), QStringLiteral("/data/a"));
    EXPECT_FALSE(boundary.rootIsMountPoint());
    EXPECT_TRUE(boundary.holdsMountPoint());
    EXPECT_TRUE(boundary.isMountPointBelow(QStringLiteral("/home/u/link/bind")));
    EXPECT_FALSE(boundary.isMountPointBelow(QStringLiteral("/home/u/link/other")));
    EXPECT_FALSE(boundary.isMountPointBelow(QStringLiteral("/home/u/linkb"))) << "a sibling sharing the root's prefix";
    EXPECT_FALSE(boundary.isMountPointBelow(QStringLiteral("/other/bind"))) << "not below the root as named";
    EXPECT_TRUE(boundary.onRootMount(QStringLiteral("/data/x/y")));
    EXPECT_FALSE(boundary.onRootMount(QStringLiteral("/other/bind/y")));
    EXPECT_FALSE(boundary.onRootMount(QStringLiteral("/home/u")));

    // The root of everything is a mount point itself and holds the others.
    const WalkBoundary whole(table, QStringLiteral("/"), QStringLiteral("/"));
    EXPECT_TRUE(whole.rootIsMountPoint());
    EXPECT_TRUE(whole.isMountPointBelow(QStringLiteral("/data")));
    EXPECT_TRUE(whole.isMountPointBelow(QStringLiteral("/other/bind")));

    // A root whose kernel path is unknown holds none; nor does an empty table.
    EXPECT_FALSE(WalkBoundary(table, QStringLiteral("/data/a"), QString()).isMountPointBelow(QStringLiteral("/data/a/bind")));
    EXPECT_FALSE(WalkBoundary().isMountPointBelow(QStringLiteral("/data/a/bind")));
}

TEST(WalkBoundary, PutsAFoldersKernelPathTogetherOnlyWhenAMountPointBearsTheName) {
    const WalkBoundary boundary(tableOf({"/", "/srv/bind"}), QStringLiteral("/srv"), QStringLiteral("/srv"));
    int asked = 0;
    auto folder = [&](const QString& path) {
        return [&asked, path] {
            ++asked;
            return path;
        };
    };
    EXPECT_FALSE(boundary.isMountPoint(QStringLiteral("plain"), folder(QStringLiteral("/srv"))));
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(boundary.isMountPoint(QStringLiteral("bind"), folder(QStringLiteral("/srv"))));
    EXPECT_FALSE(boundary.isMountPoint(QStringLiteral("bind"), folder(QStringLiteral("/elsewhere"))));
    EXPECT_FALSE(boundary.isMountPoint(QStringLiteral("bind"), folder(QStringLiteral("/")))) << "no doubled slash";
    EXPECT_EQ(asked, 3);
}

TEST(WalkBoundary, ResolvesTheLinksOfARootItIsGivenByName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString real = QFileInfo(test::makeDir(dir.filePath(QStringLiteral("real")))).canonicalFilePath();
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(real, link));
    test::makeDir(real + QStringLiteral("/m"));
    const MountTable table = tableOf({"/", real + QStringLiteral("/m")});

    const WalkBoundary boundary = WalkBoundary::resolving(table, link);
    EXPECT_EQ(boundary.kernelRoot(), real);
    EXPECT_TRUE(boundary.isMountPointBelow(link + QStringLiteral("/m")));
    EXPECT_TRUE(WalkBoundary::resolving(table, real + QStringLiteral("/m")).rootIsMountPoint());
    // A root that is not there resolves to nothing: no mount point below it.
    const WalkBoundary gone = WalkBoundary::resolving(table, dir.filePath(QStringLiteral("gone")));
    EXPECT_FALSE(gone.rootIsMountPoint());
    EXPECT_FALSE(gone.holdsMountPoint());
}
