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

// The locale is the process's, picked as the C library picks it.
TEST(Environment, TheMessagesLocaleComesFromTheProcessInThePosixOrder) {
    using Value = std::optional<QByteArray>;
    auto localeWith = [](Value all, Value messages, Value lang) {
        const test::ProcessVariable a("LC_ALL", all), m("LC_MESSAGES", messages), l("LANG", lang);
        return Environment::system().messagesLocale();
    };
    EXPECT_EQ(localeWith({}, {}, "de_DE.UTF-8"), "de_DE.UTF-8");
    EXPECT_EQ(localeWith({}, "fr_FR.UTF-8", "de_DE.UTF-8"), "fr_FR.UTF-8");
    EXPECT_EQ(localeWith("C", "fr_FR.UTF-8", "de_DE.UTF-8"), "C");
    EXPECT_EQ(localeWith("", "", "de_DE.UTF-8"), "de_DE.UTF-8") << "an empty value counts as unset";
    EXPECT_EQ(localeWith({}, {}, {}), "");
    EXPECT_EQ(localeWith("", {}, ""), "");
}
