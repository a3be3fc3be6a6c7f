#include "platform/FileOperations.h"

#include "TestSupport.h"
#include "platform/PathCodec.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwick;

namespace {

QByteArray native(const QString& path) { return PathCodec::encode(path); }

}  // namespace

TEST(FileOperations, PathsOpenAsWrittenWithOnlyTheTrustedFolderResolved) {
    test::FakeEnvironment env;
    const QString home = env.home();
    const QString outside = test::makeDir(env.path("outside"));
    test::makeDir(home + "/Work");
    ASSERT_EQ(::symlink(native(outside).constData(), native(home + "/Work/d").constData()), 0);

    // A link on the way is never followed, and the failure names it.
    int error = 0;
    QString failedAt;
    EXPECT_FALSE(FileOperations::openFolderAsWritten(home + "/Work/d", home, error, false, &failedAt).valid());
    EXPECT_EQ(error, ELOOP);
    EXPECT_EQ(failedAt, home + "/Work/d");
    EXPECT_FALSE(FileOperations::openFolderAsWritten(home + "/Work/d/sub", home, error, true).valid());
    EXPECT_FALSE(QFile::exists(outside + "/sub")) << "nothing is made through the link";

    // The trusted folder itself may be reached through a link.
    const QString homeLink = env.path("home-link");
    ASSERT_EQ(::symlink(native(home).constData(), native(homeLink).constData()), 0);
    EXPECT_TRUE(FileOperations::openFolderAsWritten(homeLink + "/Work", homeLink, error).valid());
    EXPECT_FALSE(FileOperations::openFolderAsWritten(homeLink + "/Work", home, error).valid());

    // Missing folders are made, a file in the way is named, and a path far
    // longer than the system's limit for one path works all the same.
    const QString blocker = test::writeFile(home + "/blocker", "b");
    EXPECT_FALSE(FileOperations::openFolderAsWritten(blocker + "/x", home, error, true, &failedAt).valid());
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_EQ(failedAt, blocker);
    QString deep = home + "/deep";
    while (deep.size() < PATH_MAX + 500) deep += "/" + QString(200, QLatin1Char('d'));
    const FileDescriptor made = FileOperations::openFolderAsWritten(deep, home, error, true);
    ASSERT_TRUE(made.valid()) << error;
    EXPECT_TRUE(FileOperations::openFolderAsWritten(deep, home, error).valid());
    EXPECT_FALSE(FileOperations::removeItem(home + "/deep"));
    EXPECT_FALSE(QFile::exists(home + "/deep"));
}

TEST(FileOperations, RemovalNeverCrossesIntoAMount) {
    test::FakeEnvironment env;
    const QString elsewhere = test::writeFile(env.path("elsewhere/precious.txt"), "keep");
    const QString folder = test::makeDir(env.home() + "/folder/mnt");
    test::writeFile(env.home() + "/folder/own.txt", "own");
    test::BindMount bind(env.path("elsewhere"), folder);
    if (!bind.ok()) GTEST_SKIP() << "bind mounts need root";

    const FileOperations::TreeReport report =
        FileOperations::inspectTree(AT_FDCWD, native(env.home() + "/folder"), env.home() + "/folder", -1, false);
    EXPECT_EQ(report.mountPoint, folder);
    const auto error = FileOperations::removeItem(env.home() + "/folder");
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->description.contains(folder)) << error->description.toStdString();
    EXPECT_FALSE(QFile::exists(env.home() + "/folder/own.txt"));
    QFile precious(elsewhere);
    ASSERT_TRUE(precious.open(QIODevice::ReadOnly));
    EXPECT_EQ(precious.readAll(), QByteArray("keep"));
}
