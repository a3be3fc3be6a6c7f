#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "services/store/ActivityService.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>

namespace tarnwick {
namespace {

using Severity = ProtectionFinding::Severity;
using test::residue;
using test::threat;

// The two cleans, into the real Safe Bin of a temporary support folder.
class AppStateProtectionCleanTest : public ::testing::Test {
protected:
    AppStateProtectionCleanTest() { EXPECT_TRUE(test::startAndRestore(state) && test::safeBinSettled(state)); }
    QString file(const QString& relative, qint64 size = 10) {
        return test::writeFile(env.home(relative), QByteArray(int(size), 'x'));
    }
    void settle() { ASSERT_TRUE(test::safeBinSettled(state)); }
    QStringList threatTitles() const { return test::titlesOf(state.protectionFindings()); }
    QStringList privacyTitles() const { return test::titlesOf(state.privacyItems()); }

    test::FakeEnvironment env;
    AppState state{test::testServices(), test::quietModules()};
};

TEST_F(AppStateProtectionCleanTest, ThreatCleanMovesTheSelectionAndCountsWhatReachedTheSafeBin) {
    const QString agent = file(".config/autostart/evil.desktop", 300);
    AppStateTesting::setProtectionFindings(
        state, {threat("evil", agent, Severity::high, true), threat("evil again", agent, Severity::high, false),
                threat("adware", test::makeDir(env.home() + "/Library/Application Support/MyCleanPC"), Severity::high,
                       true),
                threat("ext", file(".config/chromium/Default/Extensions/abc/manifest.json"), Severity::low, false)});
    state.cleanSelectedProtection();
    settle();
    EXPECT_EQ(threatTitles(), QStringList{"ext"}) << "the same path found twice leaves with the selected one";
    EXPECT_EQ(test::safeBinNames(state), (QStringList{"MyCleanPC", "evil.desktop"}));
    ASSERT_EQ(state.activityEvents().size(), 1);
    const ActivityEvent& event = state.activityEvents()[0];
    EXPECT_EQ(event.kind, "Protection");
    EXPECT_EQ(event.bytesFreed, test::safeBinBytes(state));
    EXPECT_EQ(event.itemsAffected, 2);
    EXPECT_FALSE(state.errorMessage());

    state.cleanSelectedProtection();  // nothing selected now
    EXPECT_FALSE(state.hasSafeBinWork());
    EXPECT_EQ(ActivityService::list(10).size(), 1);
}

TEST_F(AppStateProtectionCleanTest, PrivacyCleanMovesDatabasesWithTheirJournalsAndCacheEntries) {
    PrivacyItem history = residue("Chrome History", file(".config/google-chrome/Default/History", 5000), 7000, true);
    file(".config/google-chrome/Default/History-wal", 1500);
    file(".config/google-chrome/Default/History-shm", 500);
    history.companionPaths = {history.path + "-journal", history.path + "-wal", history.path + "-shm"};
    const QString cache = test::makeDir(env.home() + "/.cache/mozilla");
    file(".cache/mozilla/firefox/cache2/entry", 40'000);
    PrivacyItem caches = residue("Firefox caches", cache, 40'000, true);
    caches.scope.contentsOnly = true;
    caches.scope.measured = QList<ScopeEntry>{{cache + "/firefox", *FileIdentity::of(cache + "/firefox")}};
    PrivacyItem recent = residue("Recent files", file(".local/share/recently-used.xbel", 20'000), 20'000, false);
    AppStateTesting::setPrivacyItems(state, {history, caches, recent});

    state.cleanSelectedPrivacy();
    settle();
    EXPECT_EQ(privacyTitles(), QStringList{"Recent files"});
    EXPECT_EQ(test::safeBinNames(state), (QStringList{"History", "mozilla"})) << "one Safe Bin item per finding";
    EXPECT_FALSE(QFileInfo::exists(history.path + "-wal"));
    EXPECT_TRUE(QFileInfo(cache).isDir()) << "the cache folder stays, its entries moved";
    ASSERT_EQ(state.activityEvents().size(), 1);
    EXPECT_EQ(state.activityEvents()[0].kind, "Privacy");
    EXPECT_EQ(state.activityEvents()[0].bytesFreed, test::safeBinBytes(state)) << "what reached the Safe Bin";
    EXPECT_EQ(state.activityEvents()[0].itemsAffected, 2);
}

TEST_F(AppStateProtectionCleanTest, ADatabaseStaysWhileItsBrowserRuns) {
    const QString profile = test::makeDir(env.home() + "/.mozilla/firefox/p.default");
    PrivacyItem places = residue("Firefox History", file(".mozilla/firefox/p.default/places.sqlite", 30'000), 30'000,
                                 true);
    places.companionPaths = {places.path + "-wal"};
    file(".mozilla/firefox/p.default/places.sqlite-wal", 100);
    places.owner = BrowserUse{"Firefox", {"firefox"}, {profile + "/lock"}, {profile + "/.parentlock"}};
    PrivacyItem recent = residue("Recent files", file(".local/share/recently-used.xbel", 20'000), 20'000, true);
    AppStateTesting::setPrivacyItems(state, {places, recent});
    // Firefox runs: a process of the user by that name.
    test::writeFile(env.root() + "/proc/777/stat",
                    "777 (firefox) S 1 1 1 0 -1 4194560 0 0 0 0 5 6 0 0 20 0 1 0 777 1000 50 0\n");

    state.cleanSelectedPrivacy();
    settle();
    EXPECT_EQ(privacyTitles(), QStringList{"Firefox History"}) << "the database stays in the list";
    EXPECT_TRUE(state.privacyItems()[0].isSelected);
    EXPECT_TRUE(QFileInfo::exists(places.path));
    EXPECT_TRUE(QFileInfo::exists(places.path + "-wal")) << "its journal stays with it";
    EXPECT_EQ(test::safeBinNames(state), QStringList{"recently-used.xbel"});
    ASSERT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.errorMessage()->contains("Firefox History") && state.errorMessage()->contains("Firefox is running"));
    ASSERT_EQ(state.activityEvents().size(), 1);
    EXPECT_EQ(state.activityEvents()[0].bytesFreed, test::safeBinBytes(state));

    // Firefox quit: the next clean moves it.
    ASSERT_TRUE(QDir(env.root() + "/proc").removeRecursively());
    state.clearErrorMessage();
    state.cleanSelectedPrivacy();
    settle();
    EXPECT_TRUE(state.privacyItems().isEmpty());
    EXPECT_FALSE(state.errorMessage());
    EXPECT_FALSE(QFileInfo::exists(places.path + "-wal"));
}

}  // namespace
}  // namespace tarnwick
