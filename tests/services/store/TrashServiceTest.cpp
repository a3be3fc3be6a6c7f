#include "services/store/TrashService.h"

#include "TestSupport.h"
#include "platform/PathCodec.h"
#include "support/AppIdentity.h"

#include <QFile>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace tarnwick;
using TrashService::canCollect;

namespace {

bool link(const QString& target, const QString& at) {
    return ::symlink(PathCodec::encode(target).constData(), PathCodec::encode(at).constData()) == 0;
}

}  // namespace

TEST(TrashService, RootHomeAndTheSystemTableAreRefused) {
    test::FakeEnvironment env;
    EXPECT_FALSE(canCollect(QStringLiteral("/")));
    EXPECT_FALSE(canCollect(env.home()));
    EXPECT_FALSE(canCollect(QStringLiteral("~")));
    EXPECT_FALSE(canCollect(env.home() + QStringLiteral("/./")));
    EXPECT_TRUE(canCollect(QStringLiteral("~/Documents")));
    EXPECT_TRUE(canCollect(env.home() + QStringLiteral("/Library/Caches")));

    for (const char* refused : {"/System", "/System/Library/Fonts", "/usr/bin/true", "/usr/local", "/bin", "/sbin/x",
                                "/Library/Preferences", "/Applications/Tarnwick.app",
                                "/Applications/Tarnwick.app/Contents/MacOS/Tarnwick", "/Applications/Taldovane.app",
                                "/private/var/db", "/private/var/db/receipts", "//usr//lib/"}) {
        EXPECT_FALSE(canCollect(QString::fromUtf8(refused))) << refused;
    }
    for (const char* allowed : {"/Applications/Utilities", "/Users/Shared", "/Applications/Other.app", "/usrlocal",
                                "/usr/../Users/x", "/Applications/Tarnwick.application", "/private/var/folders/x",
                                "/Libraryx"}) {
        EXPECT_TRUE(canCollect(QString::fromUtf8(allowed))) << allowed;
    }

    // A home folder given with a trailing slash is compared standardised.
    env.environment().homeDirectory = env.home() + QLatin1Char('/');
    env.apply();
    EXPECT_FALSE(canCollect(env.home().chopped(1)));
    EXPECT_FALSE(canCollect(QStringLiteral("~")));
}

TEST(TrashService, LinuxSystemFoldersAndOwnSupportFoldersAreRefused) {
    test::FakeEnvironment env;
    for (const char* refused : {"/etc", "/etc/passwd", "/boot/vmlinuz", "/lib", "/lib32/x", "/lib64/ld.so", "/proc/1",
                                "/sys/kernel", "/dev/null", "/run/lock", "/var/lib", "/var/lib/dpkg/status"}) {
        EXPECT_FALSE(canCollect(QString::fromUtf8(refused))) << refused;
    }
    for (const char* allowed : {"/etcetera", "/var/library", "/devices", "/runner/x", "/home/someone/.cache"}) {
        EXPECT_TRUE(canCollect(QString::fromUtf8(allowed))) << allowed;
    }

    const QString support = AppIdentity::supportDirectory();
    const QString legacy = AppIdentity::legacySupportDirectory();
    EXPECT_FALSE(canCollect(support));
    EXPECT_FALSE(canCollect(support + QStringLiteral("/SafeBin/ABC-x")));
    EXPECT_FALSE(canCollect(legacy));
    EXPECT_FALSE(canCollect(legacy + QStringLiteral("/activity.json")));
    EXPECT_TRUE(canCollect(env.support() + QStringLiteral("/OtherProgram")));
    EXPECT_TRUE(canCollect(support + QStringLiteral("-old")));

    // Nothing to judge: refused.
    EXPECT_FALSE(canCollect(QString()));
    EXPECT_FALSE(canCollect(QStringLiteral("Documents/x")));
    EXPECT_FALSE(canCollect(QStringLiteral("~someone/x")));
}

TEST(TrashService, LinksInTheFoldersAreResolvedButTheLastComponentIsJudgedAsItself) {
    test::FakeEnvironment env;
    ASSERT_TRUE(link(QStringLiteral("/etc"), env.home() + QStringLiteral("/etc-link")));
    ASSERT_TRUE(link(QStringLiteral("/var/lib"), env.home() + QStringLiteral("/lib-link")));
    ASSERT_TRUE(link(env.path(QStringLiteral("home")), env.path(QStringLiteral("homes"))));
    ASSERT_TRUE(link(AppIdentity::supportDirectory(), env.path(QStringLiteral("support-link"))));

    EXPECT_TRUE(canCollect(env.home() + QStringLiteral("/etc-link")));  // moving the link moves only the link
    EXPECT_FALSE(canCollect(env.home() + QStringLiteral("/etc-link/passwd")));
    EXPECT_FALSE(canCollect(QStringLiteral("~/etc-link/ssh/../passwd")));
    EXPECT_FALSE(canCollect(QStringLiteral("~/lib-link/dpkg")));
    EXPECT_FALSE(canCollect(env.path(QStringLiteral("homes/user"))));
    EXPECT_TRUE(canCollect(env.path(QStringLiteral("homes/user/Documents"))));
    EXPECT_FALSE(canCollect(env.path(QStringLiteral("support-link/SafeBin"))));
    EXPECT_TRUE(canCollect(env.path(QStringLiteral("support-link"))));

    // A home folder reached through a link is refused in its real place too.
    env.environment().homeDirectory = env.path(QStringLiteral("homes/user"));
    env.apply();
    EXPECT_FALSE(canCollect(env.path(QStringLiteral("home/user"))));
    EXPECT_FALSE(canCollect(QStringLiteral("~")));
    EXPECT_TRUE(canCollect(QStringLiteral("~/Music")));
}

TEST(TrashService, NamesThatAreNotUtf8AreJudgedByTheirOwnBytes) {
    test::FakeEnvironment env;
    const QString odd = PathCodec::decode(QByteArray("/d\xff"));
    EXPECT_TRUE(canCollect(env.home() + odd));
    EXPECT_FALSE(canCollect(QStringLiteral("/etc") + odd));
    EXPECT_FALSE(canCollect(AppIdentity::supportDirectory() + odd));
    // A link with such a name leading into a protected folder is seen through.
    ASSERT_TRUE(link(AppIdentity::supportDirectory(), env.home() + odd));
    EXPECT_TRUE(canCollect(env.home() + odd));
    EXPECT_FALSE(canCollect(env.home() + odd + QStringLiteral("/SafeBin")));
}
