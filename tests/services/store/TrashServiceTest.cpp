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

TEST(TrashService, RootHomeSystemFoldersAndOwnFoldersAreRefused) {
    test::FakeEnvironment env;
    const QString support = AppIdentity::supportDirectory();
    const QString legacy = AppIdentity::legacySupportDirectory();
    for (const QString& refused :
         {QString("/"), env.home(), QString("~"), env.home() + "/./", QString(), QString("Documents/x"),
          QString("~someone/x"), QString("/System"), QString("/System/Library/Fonts"), QString("/usr/bin/true"),
          QString("/usr/local"), QString("/bin"), QString("/sbin/x"), QString("/Library/Preferences"),
          QString("/Applications/Tarnwick.app"), QString("/Applications/Tarnwick.app/Contents/MacOS/Tarnwick"),
          QString("/Applications/Taldovane.app"), QString("/private/var/db"), QString("/private/var/db/receipts"),
          QString("//usr//lib/"), QString("/etc"), QString("/etc/passwd"), QString("/boot/vmlinuz"), QString("/lib"),
          QString("/lib32/x"), QString("/lib64/ld.so"), QString("/proc/1"), QString("/sys/kernel"),
          QString("/dev/null"), QString("/run/lock"), QString("/var/lib"), QString("/var/lib/dpkg/status"), support,
          support + "/SafeBin/ABC-x", legacy, legacy + "/activity.json"}) {
        EXPECT_FALSE(canCollect(refused)) << refused.toStdString();
    }
    for (const QString& allowed :
         {QString("~/Documents"), env.home() + "/Library/Caches", QString("/Applications/Utilities"),
          QString("/Users/Shared"), QString("/Applications/Other.app"), QString("/usrlocal"), QString("/usr/../Users/x"),
          QString("/Applications/Tarnwick.application"), QString("/private/var/folders/x"), QString("/Libraryx"),
          QString("/etcetera"), QString("/var/library"), QString("/devices"), QString("/runner/x"),
          QString("/home/someone/.cache"), env.support() + "/OtherProgram", support + "-old"}) {
        EXPECT_TRUE(canCollect(allowed)) << allowed.toStdString();
    }
    // A home folder given with a trailing slash is compared standardised.
    env.environment().homeDirectory = env.home() + '/';
    env.apply();
    EXPECT_FALSE(canCollect(env.home().chopped(1)));
    EXPECT_FALSE(canCollect("~"));
}

TEST(TrashService, LinksInTheFoldersAreResolvedButTheLastComponentIsJudgedAsItself) {
    test::FakeEnvironment env;
    ASSERT_TRUE(link("/etc", env.home("etc-link")));
    ASSERT_TRUE(link("/var/lib", env.home("lib-link")));
    ASSERT_TRUE(link(env.path("home"), env.path("homes")));
    ASSERT_TRUE(link(AppIdentity::supportDirectory(), env.path("support-link")));
    EXPECT_TRUE(canCollect(env.home("etc-link"))) << "moving the link moves only the link";
    EXPECT_FALSE(canCollect(env.home("etc-link/passwd")));
    EXPECT_FALSE(canCollect("~/etc-link/ssh/../passwd"));
    EXPECT_FALSE(canCollect("~/lib-link/dpkg"));
    EXPECT_FALSE(canCollect(env.path("homes/user")));
    EXPECT_TRUE(canCollect(env.path("homes/user/Documents")));
    EXPECT_FALSE(canCollect(env.path("support-link/SafeBin")));
    EXPECT_TRUE(canCollect(env.path("support-link")));

    // Names that are not UTF-8 are judged by their own bytes, through links too.
    const QString odd = PathCodec::decode(QByteArray("/d\xff"));
    EXPECT_FALSE(canCollect("/etc" + odd));
    EXPECT_FALSE(canCollect(AppIdentity::supportDirectory() + odd));
    ASSERT_TRUE(link(AppIdentity::supportDirectory(), env.home() + odd));
    EXPECT_TRUE(canCollect(env.home() + odd));
    EXPECT_FALSE(canCollect(env.home() + odd + "/SafeBin"));

    // A home folder reached through a link is refused in its real place too.
    env.environment().homeDirectory = env.path("homes/user");
    env.apply();
    EXPECT_FALSE(canCollect(env.path("home/user")));
    EXPECT_FALSE(canCollect("~"));
    EXPECT_TRUE(canCollect("~/Music"));
}
