#include "platform/Environment.h"

#include "TestSupport.h"

#include <QSettings>
#include <gtest/gtest.h>

using namespace tarnwick;

TEST(Environment, ResolvesSystemAndHomePathsThroughItsPrefixes) {
    Environment e;
    e.homeDirectory = QStringLiteral("/h/u");
    e.rootPrefix = QStringLiteral("/fake/");
    EXPECT_EQ(e.systemPath(QStringLiteral("/Applications")), QStringLiteral("/fake/Applications"));
    EXPECT_EQ(e.homePath(QStringLiteral("~/Library/Caches")), QStringLiteral("/h/u/Library/Caches"));
    EXPECT_EQ(e.homePath(QStringLiteral("~")), QStringLiteral("/h/u"));
    e.toolPaths.insert(QStringLiteral("/usr/sbin/diskutil"), QStringLiteral("/opt/fake-diskutil"));
    EXPECT_EQ(e.toolPath(QStringLiteral("/usr/sbin/diskutil")), QStringLiteral("/opt/fake-diskutil"));
    EXPECT_EQ(e.toolPath(QStringLiteral("/bin/ps")), QStringLiteral("/fake/bin/ps"));
    e.rootPrefix.clear();
    EXPECT_EQ(e.systemPath(QStringLiteral("/Applications")), QStringLiteral("/Applications"));
}

TEST(Environment, AScopeInstallsItsClockAndSettingsAndRestoresTheOldOne) {
    const QString before = Environment::current().homeDirectory;
    {
        test::FakeEnvironment env;
        const QDateTime fixed(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
        env.setNow(fixed);
        EXPECT_EQ(Environment::current().now(), fixed);
        EXPECT_TRUE(Environment::current().settings()->fileName().startsWith(env.path()));
    }
    EXPECT_EQ(Environment::current().homeDirectory, before);
}
