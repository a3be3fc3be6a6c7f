#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "services/ActivityService.h"
#include "services/SafeBinService.h"
#include "services/ScanCache.h"
#include "support/AtomicFile.h"

#include <QSettings>
#include <gtest/gtest.h>

namespace tarnwick {
namespace {

const QDateTime kNow(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

class AppStateStartupTest : public ::testing::Test {
protected:
    AppStateStartupTest() { env.setNow(kNow); }

    void storeSetting(const QString& key, const QVariant& value) {
        auto settings = Environment::current().settings();
        settings->setValue(key, value);
        settings->sync();
    }
    int startedHour() {
        AppState state(test::testServices());
        state.start();
        return state.scheduleHour();
    }
    // A Safe Bin entry with its stored file, moved in at `when`.
    SafeBinEntry storedEntry(const QString& name, const QDateTime& when) {
        const QUuid id = QUuid::createUuid();
        const QString storedName = SafeBinService::storedNameFor(id, name);
        test::writeFile(SafeBinService::root() + "/" + storedName, "x");
        return SafeBinEntry::create(id, env.home() + "/" + name, storedName, name, 4096, when);
    }

    test::FakeEnvironment env;
};

TEST_F(AppStateStartupTest, FreshInstallationStartsAtHomeWithNothingLoaded) {
    AppState state(test::testServices());
    test::FieldLog log(state);
    state.start();
    EXPECT_FALSE(state.scheduleEnabled());
    EXPECT_EQ(state.scheduleHour(), 0);
    EXPECT_EQ(state.screen(), AppState::Screen::idle);
    EXPECT_EQ(state.section(), AppSection::home);
    EXPECT_EQ(state.rootNode(), nullptr);
    EXPECT_EQ(state.focusNode(), nullptr);
    EXPECT_FALSE(state.hasCachedScan());
    EXPECT_FALSE(state.lastScanSummary());
    EXPECT_EQ(state.insights(), ScanInsights::empty());
    EXPECT_TRUE(state.safeBinItems().empty());
    EXPECT_TRUE(state.activityEvents().isEmpty());
    ASSERT_EQ(state.volumes().size(), 2u);
    EXPECT_EQ(state.volumes()[1].name, "Backup");
    EXPECT_EQ(state.maintenanceTasks().size(), 6);
    EXPECT_EQ(state.analysisTab(), AnalysisTab::map);
    EXPECT_EQ(state.mapStyle(), MapStyle::sunburst);
    EXPECT_EQ(state.cleanupProgressLabel(), QStringLiteral("Scanning\u2026"));
    EXPECT_EQ(state.vidurAdedProgress(), QStringLiteral("Starting\u2026"));
    EXPECT_EQ(state.progress().currentPath, QString());
    // Only the volume list changed: fields already at their start value stay silent.
    EXPECT_EQ(log.fields, std::vector<AppState::Field>{AppState::Field::volumes});
}

TEST_F(AppStateStartupTest, ScheduleSettingsAreReadWithTheirRange) {
    storeSetting("taldo.schedule.enabled", true);
    storeSetting("taldo.schedule.hour", 23);
    {
        AppState state(test::testServices());
        state.start();
        EXPECT_TRUE(state.scheduleEnabled());
        EXPECT_EQ(state.scheduleHour(), 23);
    }
    storeSetting("taldo.schedule.hour", 24);
    EXPECT_EQ(startedHour(), 10);
    storeSetting("taldo.schedule.hour", -1);
    EXPECT_EQ(startedHour(), 10);
    storeSetting("taldo.schedule.hour", 0);
    EXPECT_EQ(startedHour(), 0);
}

TEST_F(AppStateStartupTest, SafeBinIsPurgedThenListedNewestFirst) {
    const SafeBinEntry old = storedEntry("old.txt", kNow.addDays(-31));
    const SafeBinEntry recent = storedEntry("recent.txt", kNow.addDays(-2));
    const SafeBinEntry newest = storedEntry("newest.txt", kNow.addSecs(-60));
    ASSERT_TRUE(AtomicFile::write(SafeBinService::root() + "/manifest.json",
                                  SafeBinEntry::encodeManifest({recent, old, newest})));

    AppState state(test::testServices());
    state.start();
    ASSERT_EQ(state.safeBinItems().size(), 2u);
    EXPECT_EQ(state.safeBinItems()[0].displayName, "newest.txt");
    EXPECT_EQ(state.safeBinItems()[1].displayName, "recent.txt");
    EXPECT_FALSE(QFileInfo::exists(SafeBinService::root() + "/" + old.storedName));
}

TEST_F(AppStateStartupTest, MalformedSafeBinManifestGivesAnEmptyListAndKeepsTheFiles) {
    const SafeBinEntry entry = storedEntry("kept.txt", kNow.addDays(-1));
    QByteArray manifest = SafeBinEntry::encodeManifest({entry});
    manifest.replace("[", "[{\"id\":\"broken\"},");
    ASSERT_TRUE(AtomicFile::write(SafeBinService::root() + "/manifest.json", manifest));

    AppState state(test::testServices());
    state.start();
    EXPECT_TRUE(state.safeBinItems().empty());
    EXPECT_TRUE(QFileInfo::exists(SafeBinService::root() + "/" + entry.storedName));
}

TEST_F(AppStateStartupTest, NewestActivityEventsAreLoaded) {
    for (int i = 0; i < 120; ++i) ActivityService::log("Junk", QString("run %1").arg(i), 10, 1);
    AppState state(test::testServices());
    state.start();
    EXPECT_EQ(state.activityEvents().size(), 100);
}

TEST_F(AppStateStartupTest, CachedScanIsRestoredButHomeStaysOpen) {
    auto file = ScanNode::create(QUuid::createUuid(), "big.iso", "/data/big.iso", NodeKind::file, 5'000'000);
    auto root = ScanNode::create(QUuid::createUuid(), "data", "/data", NodeKind::dir, 5'000'000, {file});
    ScanInsights insights;
    insights.fileCount = 1;
    insights.totalFileBytes = 5'000'000;
    ScanCache::save("/data", "Data", root, insights);

    AppState state(test::testServices());
    state.start();
    ASSERT_NE(state.rootNode(), nullptr);
    EXPECT_EQ(state.rootNode()->path, "/data");
    EXPECT_EQ(state.rootNode()->id, root->id);
    EXPECT_EQ(state.focusNode(), state.rootNode());
    EXPECT_EQ(state.insights().fileCount, 1);
    EXPECT_EQ(state.scanRootPath(), "/data");
    EXPECT_EQ(state.scanRootName(), "Data");
    EXPECT_EQ(state.lastScanDate(), kNow);
    EXPECT_TRUE(state.hasCachedScan());
    EXPECT_EQ(state.section(), AppSection::home);
    EXPECT_EQ(state.screen(), AppState::Screen::idle);
    EXPECT_EQ(state.lastScanSummary(), QStringLiteral("Data \u00B7 in 0 sec."));
}

TEST_F(AppStateStartupTest, AFinishedScanIsThereAtTheNextStart) {
    const QString folder = test::makeDir(env.path("Projects"));
    test::writeFile(folder + "/video.mov", QByteArray(400 * 1024, 'v'));
    {
        AppState state(test::testServices());
        state.start();
        state.startScan(folder);
        ASSERT_TRUE(test::waitUntil([&] { return state.screen() == AppState::Screen::idle; }));
    }  // waits for the cache save
    AppState next(test::testServices());
    next.start();
    ASSERT_NE(next.rootNode(), nullptr);
    EXPECT_EQ(next.scanRootPath(), folder);
    EXPECT_EQ(next.scanRootName(), "Projects");
    EXPECT_NE(test::childNamed(next.rootNode(), "video.mov"), nullptr);
    EXPECT_EQ(next.section(), AppSection::home);
}

}  // namespace
}  // namespace tarnwick
