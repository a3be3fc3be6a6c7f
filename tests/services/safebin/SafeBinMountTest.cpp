// Mount points inside what the Safe Bin moves, holds and removes: another
// file system's files never move, and never go for good.
#include "services/safebin/SafeBinService.h"

#include "SafeBinTestSupport.h"
#include "platform/MountTable.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

class SafeBinMountTest : public SafeBinTest {
protected:
    ~SafeBinMountTest() override { MountTable::setSourceForTesting({}); }
};

}  // namespace

TEST_F(SafeBinMountTest, AFolderHoldingAMountPointIsRefusedByNameAndTheRestMoves) {
    // The table as the kernel writes it: a space in a name as \040.
    const QString app = makeDir(home(".cache/my app"));
    writeFile(app + "/mnt point/x", "mounted");
    const QString other = writeFile(home("other.log"), "o");
    const QByteArray mountPoint = nativePath(app + "/mnt point").replace(" ", "\\040");
    MountTable::setSourceForTesting([&] { return std::optional<QByteArray>("40 27 0:50 / " + mountPoint + " rw - tmpfs t rw\n"); });

    const SafeBinMoveResult result = SafeBinService::moveToSafeBin({app, other, app + "/mnt point"});
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, SafeBinService::kMountPointCode);
    EXPECT_TRUE(result.error->description.contains(QStringLiteral("holds the mount point \u201C") + app + "/mnt point\u201D"))
        << result.error->description.toStdString();
    ASSERT_EQ(result.moved.size(), 1u);
    EXPECT_EQ(result.moved[0].originalPath, other);
    EXPECT_EQ(result.stayed, (QStringList{app, app + "/mnt point"}));
    EXPECT_EQ(contents(app + "/mnt point/x"), QByteArray("mounted"));
}

TEST_F(SafeBinMountTest, RealMountsAreNeverMovedNorDeletedThrough) {
    const QString elsewhere = writeFile(env.path("elsewhere/precious.txt"), "keep");
    const QString folder = makeDir(home(".cache/app"));
    writeFile(folder + "/own.txt", "own");
    makeDir(folder + "/mnt");
    std::optional<BindMount> bind;
    bind.emplace(env.path("elsewhere"), folder + "/mnt");
    if (!bind->ok()) GTEST_SKIP() << "bind mounts need root";

    // A rename would carry the mount along (same file system): refused.
    SafeBinMoveResult result = SafeBinService::moveToSafeBin({folder});
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, SafeBinService::kMountPointCode);
    EXPECT_TRUE(result.error->description.contains(folder + "/mnt"));
    EXPECT_EQ(SafeBinService::moveToSafeBin({folder + "/mnt"}).error->code, SafeBinService::kMountPointCode);
    EXPECT_EQ(contents(folder + "/mnt/precious.txt"), QByteArray("keep"));
    EXPECT_TRUE(SafeBinService::list().empty());

    // A mount that turns up inside an item the bin holds: neither "Delete
    // forever" nor the expiry goes through it, even with the table hidden.
    bind.reset();
    result = SafeBinService::moveToSafeBin({folder});
    ASSERT_FALSE(result.error) << result.error->description.toStdString();
    const SafeBinEntry entry = result.moved.at(0);
    BindMount inside(env.path("elsewhere"), held(entry) + "/mnt");
    ASSERT_TRUE(inside.ok());
    auto refused = SafeBinService::destroy(entry);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->code, SafeBinService::kMountPointCode);
    MountTable::setSourceForTesting([] { return std::optional<QByteArray>(QByteArray()); });
    refused = SafeBinService::destroy(entry);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->description.contains(QStringLiteral("mount point")));
    env.setNow(QDateTime::currentDateTimeUtc().addDays(31));
    SafeBinService::purgeExpired(30);
    EXPECT_EQ(SafeBinService::list(), std::vector<SafeBinEntry>{entry});
    EXPECT_EQ(contents(elsewhere), QByteArray("keep"));
    EXPECT_EQ(contents(held(entry) + "/own.txt"), QByteArray("own")) << "what it holds stays whole under its name";
}
