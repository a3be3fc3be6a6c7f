#include "services/store/SafeBinMover.h"

#include "platform/PathCodec.h"
#include "services/store/SafeBinService.h"

#include "TestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

using namespace tarnwick;

namespace {

TEST(SafeBinMover, FolderEntriesAreSortedWithoutTheKeptOnes) {
    test::FakeEnvironment env;
    const QString folder = test::makeDir(env.home() + "/.cache");
    for (const char* name : {"zeta", "alpha", ".hidden", "models", "tools"}) test::writeFile(folder + "/" + name + "/x");
    // Not UTF-8: the entry still names its own file.
    const QByteArray odd = PathCodec::encode(folder) + "/caf\xe9";
    const int fd = ::creat(odd.constData(), 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);

    int error = 0;
    const auto entries =
        SafeBinMover::folderEntries(folder, {folder + "/models", folder + "/tools/deep/finding"}, &error);
    ASSERT_TRUE(entries);
    QStringList names;
    for (const QString& path : *entries) names.append(path.section('/', -1));
    ::unlink(odd.constData());  // before anything can fail: the temporary folder cannot remove it
    ASSERT_EQ(names.size(), 4) << names.join(',').toStdString();
    EXPECT_EQ((QStringList{names[0], names[1], names[3]}), (QStringList{".hidden", "alpha", "zeta"}));
    EXPECT_TRUE(PathCodec::hasEscapedBytes(names[2]));
    EXPECT_EQ(PathCodec::encode(entries->at(2)), odd);

    EXPECT_FALSE(SafeBinMover::folderEntries(folder + "/missing", {}, &error));
    EXPECT_EQ(error, ENOENT);
    ASSERT_EQ(::symlink(PathCodec::encode(folder).constData(), PathCodec::encode(env.home() + "/link").constData()), 0);
    EXPECT_FALSE(SafeBinMover::folderEntries(env.home() + "/link", {}, &error)) << "a link is never followed";
}

TEST(SafeBinMover, PathListNamesAFewWithHomeAsTilde) {
    test::FakeEnvironment env;
    const QString h = env.home();
    EXPECT_EQ(SafeBinMover::pathListText({h + "/a"}), "\u201C~/a\u201D");
    EXPECT_EQ(SafeBinMover::pathListText({h + "/a", "/b", h + "/c", "/d", "/e"}),
              "\u201C~/a\u201D, \u201C/b\u201D, \u201C~/c\u201D and 2 more");
}

TEST(SafeBinMover, UnreadableFolderKeepsItsFindingAndSaysSo) {
    test::FakeEnvironment env;
    // A file where the folder was: it cannot be listed (and is not taken for the folder).
    const QString locked = test::writeFile(env.home() + "/locked", "not a folder");
    const QString other = test::writeFile(env.home() + "/other.log", "x");
    const SafeBinMover::Outcome outcome =
        SafeBinMover::move({{{locked, MoveScope{true, {}}}}, {{other, MoveScope{}}}});
    ASSERT_EQ(outcome.findings.size(), 2u);
    EXPECT_FALSE(outcome.findings[0].cleaned);
    EXPECT_FALSE(outcome.findings[0].moved);
    EXPECT_TRUE(outcome.findings[1].cleaned);
    EXPECT_TRUE(outcome.findings[1].moved);
    EXPECT_GT(outcome.findings[1].movedBytes, 0);
    EXPECT_EQ(outcome.movedPaths, QStringList{other});
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.error->startsWith("Could not read \u201C~/locked\u201D")) << outcome.error->toStdString();
    EXPECT_TRUE(QFileInfo::exists(locked));
}

}  // namespace
