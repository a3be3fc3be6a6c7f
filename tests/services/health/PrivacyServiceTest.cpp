#include "services/health/PrivacyService.h"

#include "platform/PathCodec.h"

#include "support/PathRules.h"

#include "FileTreeSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {
namespace {

using test::makeDir;
using test::writeFile;

const PrivacyItem* named(const QList<PrivacyItem>& items, const QString& title) {
    for (const PrivacyItem& item : items) {
        if (item.title == title) return &item;
    }
    return nullptr;
}

// Files a test writes count as changed an hour and more before the scan, so
// that cache folders offer them (what changed within the hour is in use).
QDateTime twoHoursOn() {
    return QDateTime::currentDateTimeUtc().addSecs(7200);
}

class PrivacyServiceTest : public ::testing::Test {
protected:
    PrivacyServiceTest() { env.setNow(twoHoursOn()); }

    QString home(const QString& relative) const { return env.home() + "/" + relative; }
    QList<PrivacyItem> scan() { return PrivacyService::scan({}); }
    QString sized(const QString& relative, qint64 bytes) { return test::writeSparse(home(relative), bytes); }

    test::FakeEnvironment env;
};

TEST_F(PrivacyServiceTest, EveryRowWithItsTitleSelectionAndSizeLargestFirst) {
    sized(".local/share/recently-used.xbel", 20'000);
    sized(".config/google-chrome/Default/History", 300'000);
    sized(".config/google-chrome/Default/History-wal", 50'000);
    sized(".config/google-chrome/Default/Cookies", 40'000);  // the old place, used while Network/ has none
    sized(".config/chromium/Default/History", 30'000);
    sized(".config/chromium/Default/Cookies", 1'000'000);              // left for the newer file
    sized(".config/chromium/Default/Network/Cookies", 60'000);
    sized(".config/BraveSoftware/Brave-Browser/Default/History", 70'000);
    sized(".config/microsoft-edge/Default/Cookies", 80'000);
    sized(".cache/google-chrome/Default/Cache/data_1", 2'000'000);
    sized(".cache/chromium/Default/Cache/data_1", 900'000);
    sized(".cache/mozilla/firefox/x.default/cache2/entries/A", 5'000'000);
    sized(".cache/thumbnails/large/b.png", 4'000'000);

    const QList<PrivacyItem> items = scan();
    EXPECT_EQ(test::titlesOf(items), (QStringList{"Firefox caches", "Thumbnail cache", "Chrome caches", "Chromium caches",
                                          "Chrome History", "Edge Cookies", "Brave History", "Chromium Cookies",
                                          "Chrome Cookies", "Chromium History", "Recent files"}));
    struct Expect {
        QString title;
        QString relative;
        qint64 size;
        bool selected;
    };
    for (const Expect& e : {Expect{"Recent files", ".local/share/recently-used.xbel", 20'000, true},
                            Expect{"Chrome History", ".config/google-chrome/Default/History", 350'000, false},
                            Expect{"Chrome Cookies", ".config/google-chrome/Default/Cookies", 40'000, false},
                            Expect{"Chromium Cookies", ".config/chromium/Default/Network/Cookies", 60'000, false},
                            Expect{"Chrome caches", ".cache/google-chrome", 2'000'000, true},
                            Expect{"Firefox caches", ".cache/mozilla", 5'000'000, true},
                            Expect{"Thumbnail cache", ".cache/thumbnails", 4'000'000, false}}) {
        const PrivacyItem* item = named(items, e.title);
        ASSERT_TRUE(item) << e.title.toStdString();
        EXPECT_EQ(item->path, home(e.relative)) << e.title.toStdString();
        EXPECT_EQ(item->detail, "~/" + e.relative);
        EXPECT_EQ(item->size, e.size) << e.title.toStdString();
        EXPECT_EQ(item->isSelected, e.selected) << e.title.toStdString();
    }
    // What a clean of each kind of row moves, and what it must wait for.
    const PrivacyItem* history = named(items, "Chrome History");
    EXPECT_EQ(history->companionPaths, PrivacyService::companionsOf(history->path));
    EXPECT_EQ(history->owner.browser, "Chrome");
    EXPECT_EQ(history->owner.lockLinks, QStringList{home(".config/google-chrome/SingletonLock")});
    EXPECT_FALSE(history->scope.contentsOnly);
    const PrivacyItem* caches = named(items, "Chrome caches");
    EXPECT_TRUE(caches->scope.contentsOnly) << "a cache folder stays, its entries move";
    EXPECT_TRUE(caches->owner.isEmpty());
    EXPECT_TRUE(named(items, "Recent files")->companionPaths.isEmpty());
}

// Firefox's history database holds the bookmarks too: it is never offered.
TEST_F(PrivacyServiceTest, FirefoxProfilesComeFromProfilesIniAndTheirHistoryIsNeverOffered) {
    const QString absolute = makeDir(env.path("elsewhere/work"));
    writeFile(home(".mozilla/firefox/profiles.ini"),
              "[Install4F96D1932A9F858E]\nDefault=ab.default-release\n\n"
              "[Profile1]\nName=default-release\nIsRelative=1\nPath=ab.default-release\n\n"
              "[Profile0]\nName=work\nIsRelative=0\nPath=" + absolute.toUtf8() + "\n\n"
              "[Profile2]\nName=escape\nIsRelative=1\nPath=../../..\n\n"
              "[Profile3]\nName=again\nIsRelative=1\nPath=./ab.default-release\n");
    sized(".mozilla/firefox/ab.default-release/places.sqlite", 20'000'000);
    sized(".mozilla/firefox/ab.default-release/places.sqlite-wal", 1'000'000);
    sized(".mozilla/firefox/ab.default-release/cookies.sqlite", 500'000);
    sized(".mozilla/firefox/ab.default-release/cookies.sqlite-wal", 100'000);
    test::writeSparse(absolute + "/places.sqlite", 3'000'000);
    test::writeSparse(absolute + "/cookies.sqlite", 300'000);
    sized("cookies.sqlite", 9'000'000);  // where the climbing profile would point

    const QList<PrivacyItem> items = scan();
    ASSERT_EQ(test::titlesOf(items), (QStringList{"Firefox Cookies", "Firefox Cookies"}));
    EXPECT_EQ(items[0].path, home(".mozilla/firefox/ab.default-release/cookies.sqlite"));
    EXPECT_EQ(items[0].size, 600'000) << "with its write-ahead log";
    EXPECT_EQ(items[0].companionPaths, PrivacyService::companionsOf(items[0].path));
    EXPECT_EQ(items[1].path, absolute + "/cookies.sqlite");
    EXPECT_EQ(items[0].owner.browser, "Firefox");
    EXPECT_EQ(items[0].owner.lockLinks, QStringList{home(".mozilla/firefox/ab.default-release/lock")});
    EXPECT_EQ(items[0].owner.lockFiles, QStringList{home(".mozilla/firefox/ab.default-release/.parentlock")});
    EXPECT_EQ(items[1].owner.lockFiles, QStringList{absolute + "/.parentlock"});

    // One byte that is not UTF-8 hides no profile, and a profile named with
    // it names its own folder.
    const QString latin1 = PathCodec::decode(QByteArray(".mozilla/firefox/caf\xe9.old"));
    ASSERT_EQ(::mkdir(PathCodec::encode(home(latin1)).constData(), 0755), 0);
    sized(latin1 + "/cookies.sqlite", 4'000'000);
    writeFile(home(".mozilla/firefox/profiles.ini"),
              "[Profile0]\nName=caf\xe9\nPath=ab.default-release\n\xff\n[Profile1]\nPath=caf\xe9.old\n");
    const QList<PrivacyItem> withBadByte = scan();
    ASSERT_EQ(test::titlesOf(withBadByte), (QStringList{"Firefox Cookies", "Firefox Cookies"}));
    EXPECT_EQ(withBadByte[0].path, home(latin1 + "/cookies.sqlite"));
    EXPECT_EQ(::access(PathCodec::encode(withBadByte[0].path).constData(), F_OK), 0) << "its own bytes";
}

TEST_F(PrivacyServiceTest, NoRowLiesInsideAnother) {
    // The cache folder set to the configuration folder: the browser's cache
    // row would hold its history and cookies rows.
    env.environment().variables.insert("XDG_CACHE_HOME", home(".config"));
    env.apply();
    sized(".config/google-chrome/Default/History", 300'000);
    sized(".config/google-chrome/Default/Cache/data", 5'000'000);
    sized(".config/thumbnails/a.png", 40'000);

    const QList<PrivacyItem> items = scan();
    EXPECT_EQ(test::titlesOf(items), (QStringList{"Chrome History", "Thumbnail cache"}));
    for (const PrivacyItem& a : items) {
        for (const PrivacyItem& b : items) {
            if (&a != &b) {
                EXPECT_FALSE(PathRules::isSameOrBelow(a.path, b.path)) << a.path.toStdString();
            }
        }
    }
}

TEST_F(PrivacyServiceTest, FolderTotalsCountRegularFilesOfTheFirstTwentyThousandEntries) {
    const QString folder = makeDir(env.path("many"));
    for (int i = 0; i < 20'010; ++i) writeFile(folder + QStringLiteral("/f%1").arg(i, 5, 10, QLatin1Char('0')), "x");
    EXPECT_EQ(PrivacyService::dirSize(folder), 20'000);

    const QString mixed = makeDir(env.path("mixed"));
    writeFile(mixed + "/.hidden", QByteArray(10, 'h'));
    writeFile(mixed + "/sub/file", QByteArray(5, 'f'));
    test::makeLink(folder + "/f00000", mixed + "/link");
    EXPECT_EQ(PrivacyService::dirSize(mixed), 15) << "hidden files count, links add nothing";
    EXPECT_EQ(PrivacyService::dirSize(mixed + "/.hidden"), 10);
    EXPECT_EQ(PrivacyService::dirSize(env.path("none")), 0);
}

}  // namespace
}  // namespace tarnwick
