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

ProtectionFinding threat(const QString& title, const QString& path, Severity severity, bool selected) {
    ProtectionFinding finding;
    finding.title = title;
    finding.path = path;
    finding.severity = severity;
    finding.isSelected = selected;
    return finding;
}

PrivacyItem residue(const QString& title, const QString& path, qint64 size, bool selected) {
    PrivacyItem item;
    item.title = title;
    item.path = path;
    item.size = size;
    item.isSelected = selected;
    return item;
}

// The threat and privacy scans of AppState over finders the test holds.
class AppStateProtectionScanTest : public ::testing::Test {
protected:
    AppStateProtectionScanTest() {
        ModuleServices modules = test::quietModules();
        modules.protectionScan = threats.finder();
        modules.privacyScan = privacy.finder();
        state = std::make_unique<AppState>(test::testServices(), modules);
    }

    test::FakeEnvironment env;
    test::HeldFinders<ProtectionFinding> threats{{QStringLiteral("Scanning startup entries\u2026"),
                                                  QStringLiteral("Checking adware locations\u2026")}};
    test::HeldFinders<PrivacyItem> privacy{{QStringLiteral("Scanning recent items\u2026")}};
    std::unique_ptr<AppState> state;
};

TEST_F(AppStateProtectionScanTest, ScansKeepTheFindersLastLabelAndPublishTrimmedLists) {
    state->runProtectionScan();
    EXPECT_TRUE(state->isProtectionScanning());
    EXPECT_EQ(state->protectionProgressLabel(), "Scanning threats\u2026");
    state->runPrivacyScan();
    EXPECT_EQ(state->privacyProgressLabel(), "Scanning privacy residue\u2026");
    EXPECT_EQ(state->protectionStatusText(), "Scanning threats\u2026") << "the threat scan's label first";

    auto threatCall = threats.waitFor(0);
    ASSERT_TRUE(threatCall);
    QList<ProtectionFinding> many;
    for (int i = 0; i < 45; ++i) many.append(threat(QString::number(i), "/x/" + QString::number(i), Severity::low, false));
    many.append(threat("high", "/x/high", Severity::high, false));
    threatCall->release(many);
    ASSERT_TRUE(test::waitUntil([&] { return !state->isProtectionScanning(); }));
    EXPECT_EQ(state->protectionFindings().size(), 40) << "the threat budget";
    EXPECT_EQ(state->protectionFindings().front().title, "high") << "high findings are kept first";
    EXPECT_EQ(state->protectionProgressLabel(), "Checking adware locations\u2026") << "no final label";
    ASSERT_TRUE(test::waitUntil([&] { return state->privacyProgressLabel() == "Scanning recent items\u2026"; }));
    EXPECT_EQ(state->protectionStatusText(), "Scanning recent items\u2026") << "then the privacy scan's";

    auto privacyCall = privacy.waitFor(0);
    privacyCall->release({residue("small", "/p/small", 20'000, false), residue("big", "/p/big", 90'000, false),
                          residue("picked", "/p/picked", 15'000, true)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPrivacyScanning(); }));
    QStringList order;
    for (const PrivacyItem& item : state->privacyItems()) order.append(item.title);
    EXPECT_EQ(order, (QStringList{"picked", "big", "small"})) << "selected first, then largest first";
    EXPECT_EQ(state->protectionStatusText(), "40 threat findings \u00B7 3 privacy items");
}

TEST_F(AppStateProtectionScanTest, OpeningTheSectionStartsEachEmptyScanOnce) {
    state->openSection(AppSection::protection);
    ASSERT_TRUE(threats.waitFor(0));
    ASSERT_TRUE(privacy.waitFor(0));
    state->openSection(AppSection::protection);  // the screen's rule, or a second visit, while both run
    test::spin(30);
    EXPECT_EQ(threats.count(), 1u);
    EXPECT_EQ(privacy.count(), 1u);
    threats.at(0)->release({threat("a", "/x/a", Severity::high, true)});
    privacy.at(0)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isProtectionScanning() && !state->isPrivacyScanning(); }));
    EXPECT_EQ(state->protectionStatusText(), "1 threat findings \u00B7 0 privacy items");

    // Only the empty list is scanned again.
    state->openSection(AppSection::home);
    state->openSection(AppSection::protection);
    ASSERT_TRUE(privacy.waitFor(1));
    EXPECT_EQ(threats.count(), 1u);
    privacy.at(1)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isPrivacyScanning(); }));
}

TEST_F(AppStateProtectionScanTest, TogglesFlipOneEntryAndIgnoreUnknownIds) {
    AppStateTesting::setProtectionFindings(*state, {threat("a", "/x/a", Severity::high, true)});
    AppStateTesting::setPrivacyItems(*state, {residue("r", "/p/r", 20'000, false)});
    test::FieldLog log(*state);
    state->toggleProtection(state->protectionFindings()[0].id);
    state->togglePrivacy(state->privacyItems()[0].id);
    EXPECT_FALSE(state->protectionFindings()[0].isSelected);
    EXPECT_TRUE(state->privacyItems()[0].isSelected);
    state->toggleProtection(QUuid::createUuid());
    state->togglePrivacy(QUuid::createUuid());
    EXPECT_EQ(log.count(AppState::Field::protectionFindings), 1u);
    EXPECT_EQ(log.count(AppState::Field::privacyItems), 1u);
}

// The two cleans, into the real Safe Bin of a temporary support folder.
class AppStateProtectionCleanTest : public ::testing::Test {
protected:
    AppStateProtectionCleanTest() {
        state.start();
        EXPECT_TRUE(test::safeBinSettled(state));
    }
    QString file(const QString& relative, qint64 size = 10) {
        return test::writeFile(env.home() + "/" + relative, QByteArray(int(size), 'x'));
    }
    void settle() { ASSERT_TRUE(test::safeBinSettled(state)); }
    QStringList threatTitles() const {
        QStringList titles;
        for (const ProtectionFinding& finding : state.protectionFindings()) titles.append(finding.title);
        return titles;
    }
    QStringList privacyTitles() const {
        QStringList titles;
        for (const PrivacyItem& item : state.privacyItems()) titles.append(item.title);
        return titles;
    }

    test::FakeEnvironment env;
    AppState state{test::testServices(), test::quietModules()};
};

TEST_F(AppStateProtectionCleanTest, ThreatCleanMovesTheSelectionAndCountsNoBytes) {
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
    EXPECT_EQ(event.summary, "Quarantined 2 threat items");
    EXPECT_EQ(event.bytesFreed, 0);
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
    PrivacyItem recent = residue("Recent files", file(".local/share/recently-used.xbel", 20'000), 20'000, false);
    AppStateTesting::setPrivacyItems(state, {history, caches, recent});

    state.cleanSelectedPrivacy();
    settle();
    EXPECT_EQ(privacyTitles(), QStringList{"Recent files"});
    EXPECT_EQ(test::safeBinNames(state), (QStringList{"History", "History-shm", "History-wal", "firefox"}));
    EXPECT_FALSE(QFileInfo::exists(history.path + "-wal"));
    EXPECT_TRUE(QFileInfo(cache).isDir()) << "the cache folder stays, its entries moved";
    ASSERT_EQ(state.activityEvents().size(), 1);
    EXPECT_EQ(state.activityEvents()[0].kind, "Privacy");
    EXPECT_EQ(state.activityEvents()[0].summary, "Cleared 2 privacy items");
    EXPECT_EQ(state.activityEvents()[0].bytesFreed, 47'000) << "the sizes the finder measured";
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
    EXPECT_EQ(*state.errorMessage(), "\u201CFirefox History\u201D was not cleared while Firefox is running. "
                                     "Quit Firefox and clean it again.");
    ASSERT_EQ(state.activityEvents().size(), 1);
    EXPECT_EQ(state.activityEvents()[0].summary, "Cleared 1 privacy items");
    EXPECT_EQ(state.activityEvents()[0].bytesFreed, 20'000);

    // Firefox quit: the next clean moves it.
    ASSERT_TRUE(QDir(env.root() + "/proc").removeRecursively());
    state.clearErrorMessage();
    state.cleanSelectedPrivacy();
    settle();
    EXPECT_TRUE(state.privacyItems().isEmpty());
    EXPECT_FALSE(state.errorMessage());
    EXPECT_FALSE(QFileInfo::exists(places.path + "-wal"));
}

TEST_F(AppStateProtectionCleanTest, AFailedMoveLeavesBothListsAsTheyWere) {
    AppStateTesting::setProtectionFindings(state, {threat("a", file("a.sh"), Severity::medium, true)});
    AppStateTesting::setPrivacyItems(state, {residue("r", file("r.xbel", 20'000), 20'000, true)});
    test::FileFault fault([](std::string_view operation, const QString&) { return operation == "move" ? EACCES : 0; });
    state.cleanSelectedProtection();
    settle();
    state.cleanSelectedPrivacy();
    settle();
    EXPECT_EQ(threatTitles(), QStringList{"a"});
    EXPECT_EQ(privacyTitles(), QStringList{"r"});
    EXPECT_TRUE(state.protectionFindings()[0].isSelected);
    EXPECT_TRUE(state.errorMessage());
    EXPECT_TRUE(state.activityEvents().isEmpty());
}

}  // namespace
}  // namespace tarnwick
