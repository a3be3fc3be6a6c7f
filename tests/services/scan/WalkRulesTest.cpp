#include "services/scan/WalkRules.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <limits>

using namespace tarnwick;

TEST(WalkRules, SubfolderSkipTestAgreesWithTheFullPathTest) {
    // The walks decide from a folder's facts and the name, building the path
    // only when it is short enough to be on the list.
    const QStringList folders = {"/", "/System", "/System/Volumes", "/System/Volumes/Data/private/var",
                                 "/private/var", "/Volumes", "/Volumes/Backup", "/Volumes/Backup/x", "/home/user",
                                 "/Volumesque", "/a/very/long/path/that/cannot/be/on/the/list/at/all"};
    const QStringList names = {"dev", "proc", "sys", "home", "vm", "Preboot", "Data", "Volumes", "x",
                               "com.apple.TimeMachine.localsnapshots", "Backups.backupdb.com.apple.TimeMachine"};
    for (const QString& folder : folders) {
        const WalkRules::PathFacts facts = WalkRules::PathFacts::of(folder);
        for (const QString& name : names) {
            const QString path = WalkRules::joinPath(folder, name);
            EXPECT_EQ(facts.child(name).length, path.size()) << path.toStdString();
            EXPECT_EQ(WalkRules::skipsSubfolder(facts, name, [&] { return folder; }),
                      WalkRules::shouldSkipDirectory(path))
                << path.toStdString();
        }
    }
    EXPECT_TRUE(WalkRules::skipsSubfolder(WalkRules::PathFacts::of("/"), "proc", [] { return QString("/"); }));
    EXPECT_FALSE(WalkRules::skipsSubfolder(WalkRules::PathFacts::of("/home"), "dev", [] { return QString("/home"); }));
}

TEST(WalkRules, AllocatedSizeIsTheBlocksEvenWhenThereAreNone) {
    struct stat st{};
    st.st_size = qint64(50) << 30;  // a 50 GiB file of holes
    st.st_blocks = 0;
    EXPECT_EQ(WalkRules::allocatedSize(st), 0);
    st.st_blocks = 8;
    EXPECT_EQ(WalkRules::allocatedSize(st), 4096);
    st.st_blocks = std::numeric_limits<blkcnt_t>::max();  // what a broken file system may claim
    EXPECT_EQ(WalkRules::allocatedSize(st), std::numeric_limits<qint64>::max());
}
