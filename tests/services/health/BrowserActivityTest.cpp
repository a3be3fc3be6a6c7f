#include "services/health/BrowserActivity.h"

#include "platform/PathCodec.h"

#include "FileTreeSupport.h"
#include "ProcStatLines.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace tarnwick {
namespace {

using test::makeDir;
using test::writeFile;

// A browser whose profile is in the fake home; /proc is the fake root's.
class BrowserActivityTest : public ::testing::Test {
protected:
    BrowserActivityTest() {
        profile = makeDir(env.home() + "/.mozilla/firefox/p.default");
        use = BrowserUse{"Firefox", {"firefox", "firefox-esr"}, {profile + "/lock"}, {profile + "/.parentlock"}};
    }
    // A process of the user as /proc shows it.
    void process(qint32 pid, const QByteArray& name, const QString& exe = {}) {
        const QString folder = makeDir(env.root() + QStringLiteral("/proc/%1").arg(pid));
        writeFile(folder + "/stat", test::statLine(pid, name, 4194560, 777));
        if (!exe.isEmpty()) test::makeLink(exe, folder + "/exe");
    }

    test::FakeEnvironment env;
    QString profile;
    BrowserUse use;
};

TEST_F(BrowserActivityTest, ABrowserRunsWhileItsProcessRunsUnderEitherName) {
    PrivacyItem item;
    item.title = "Firefox History";
    EXPECT_FALSE(BrowserActivity::refusal(item)) << "no browser to wait for";
    item.owner = use;
    EXPECT_FALSE(BrowserActivity::refusal(item));
    EXPECT_FALSE(BrowserActivity::isRunning(BrowserUse{}));
    process(300, "gnome-shell", "/usr/bin/gnome-shell");
    EXPECT_FALSE(BrowserActivity::isRunning(use));
    writeFile(profile + "/.parentlock");  // left behind by an earlier run, unlocked
    EXPECT_FALSE(BrowserActivity::isRunning(use));

    // A process runs under its command or its program's name.
    process(400, "firefox-esr");
    EXPECT_EQ(BrowserActivity::refusal(item).value_or(QString()),
              "\u201CFirefox History\u201D was not cleared while Firefox is running. Quit Firefox and clean it again.");
    ASSERT_TRUE(QDir(env.root() + "/proc/400").removeRecursively());
    EXPECT_FALSE(BrowserActivity::isRunning(use));
    process(401, "GeckoMain", "/usr/lib/firefox/firefox (deleted)");
    EXPECT_TRUE(BrowserActivity::isRunning(use)) << "the program's name, even after an update replaced it";
}

TEST_F(BrowserActivityTest, ALockLinkIsHeldWhileItsProcessLives) {
    struct Case {
        QString target;
        bool running;
    };
    const QString host = QSysInfo::machineHostName();
    process(4242, "something-else");
    for (const Case& c : {Case{"127.0.1.1:+4242", true}, Case{"127.0.1.1:+4343", false},
                          Case{host + "-4242", true}, Case{host + "-4343", false},
                          Case{"another-host.example-4343", true}, Case{"garbage", true}}) {
        QFile::remove(profile + "/lock");
        test::makeLink(c.target, profile + "/lock");
        EXPECT_EQ(BrowserActivity::isRunning(use), c.running) << c.target.toStdString();
    }
}

TEST_F(BrowserActivityTest, ALockFileIsHeldWhileSomeoneLocksIt) {
    const QString lock = writeFile(profile + "/.parentlock");
    const int fd = ::open(PathCodec::encode(lock).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct flock hold {};
    hold.l_type = F_WRLCK;
    hold.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &hold) != 0) {
        ::close(fd);
        GTEST_SKIP() << "no open-file-description locks here";
    }
    EXPECT_TRUE(BrowserActivity::isRunning(use));
    ::close(fd);  // releases it
    EXPECT_FALSE(BrowserActivity::isRunning(use));
}

}  // namespace
}  // namespace tarnwick
