#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"
#include "services/care/ScheduleService.h"
#include "services/health/SystemMonitor.h"
#include "services/store/ActivityService.h"

#include <QFileInfo>
#include <QSettings>
#include <gtest/gtest.h>

#include <cerrno>

namespace tarnwick {
namespace {

const QString kStarting = QStringLiteral("Starting Vidur Aded\u2026");

template <class Item>
ModuleServices::Finder<Item> returning(QList<Item> items) {
    return [items](const ModuleServices::Progress&, std::stop_token) { return items; };
}

QList<CleanupItem> junkItems(int count, int selected) {
    QList<CleanupItem> items;
    for (int i = 0; i < count; ++i) {
        CleanupItem item;
        item.title = QStringLiteral("junk %1").arg(i);
        item.path = QStringLiteral("/nowhere/junk%1").arg(i);
        item.size = 1000 + i;
        item.isSelected = item.isSafeDefault = i < selected;
        items.append(item);
    }
    return items;
}

// Vidur Aded on AppState with finders the test holds or fixes.
class AppStateVidurAdedTest : public ::testing::Test {
protected:
    AppStateVidurAdedTest() { env.setNow(now); }

    static std::unique_ptr<AppState> makeState(ModuleServices modules) { return test::startedState(std::move(modules)); }
    // Waits for the pass to end and for its event to be written.
    static bool passEnded(AppState& state) {
        return test::waitUntil([&] { return !state.isVidurAdedRunning(); }) && test::safeBinSettled(state);
    }
    static QList<ActivityEvent> eventsOfKind(const QString& kind) {
        QList<ActivityEvent> found;
        for (const ActivityEvent& event : ActivityService::list(100)) {
            if (event.kind == kind) found.append(event);
        }
        return found;
    }
    // Quiet modules with the junk finder held by `junk`.
    ModuleServices heldJunk() {
        ModuleServices modules = test::quietModules();
        modules.cleanupScan = junk.finder();
        return modules;
    }
    static QVariant setting(const QString& key) { return Environment::current().settings()->value(key); }

    test::FakeEnvironment env;
    test::HeldFinders<CleanupItem> junk;
    const QDateTime now = QDateTime(QDate(2024, 5, 2), QTime(10, 15), Qt::UTC);
};

TEST_F(AppStateVidurAdedTest, APassThatFindsNothingFinishesInFull) {
    auto state = makeState(test::quietModules());
    AppStateTesting::setInstalledApps(*state, {InstalledApp{}});
    test::FieldLog fields(*state);
    state->runVidurAded();
    EXPECT_TRUE(state->isVidurAdedRunning());
    EXPECT_EQ(state->vidurAdedProgress(), kStarting);
    EXPECT_TRUE(state->installedApps().isEmpty()) << "the apps list goes at the start";
    ASSERT_TRUE(passEnded(*state));

    ASSERT_TRUE(state->vidurAdedResult());
    EXPECT_EQ(state->vidurAdedResult()->healthScore, 100);
    EXPECT_EQ(setting(SystemMonitor::healthScoreKey()).toInt(), 100);
    ASSERT_TRUE(ScheduleService::lastRun());
    EXPECT_EQ(*ScheduleService::lastRun(), now);
    ASSERT_EQ(state->activityEvents().size(), 1);
    EXPECT_EQ(state->activityEvents()[0].kind, "Vidur Aded");
    EXPECT_EQ(state->activityEvents()[0].bytesFreed, 0);
    EXPECT_EQ(fields.count(AppState::Field::isVidurAdedRunning), 2u);
}

TEST_F(AppStateVidurAdedTest, ModulesLandInTheirListsAndTheFinishCutsThem) {
    ModuleServices modules = test::quietModules();
    modules.cleanupScan = returning(junkItems(30, 5));
    QList<ClutterItem> clutter(12);
    for (int i = 0; i < 5; ++i) clutter[i].isSelected = true;
    modules.clutterScan = returning(clutter);
    QList<ProtectionFinding> findings(9);
    findings[0].severity = ProtectionFinding::Severity::high;
    findings[1].isSelected = true;
    modules.protectionScan = returning(findings);
    modules.privacyScan = returning(QList<PrivacyItem>(5));
    modules.updatesScan = returning(QList<AppUpdateItem>(40));
    QList<PerformanceItem> performance(3);
    performance[1].kind = PerformanceItem::Kind::launchAgent;
    performance[1].path = "/a";
    modules.performanceScan = returning(performance);
    auto state = makeState(modules);

    // What the pass handed on before the governor's cuts.
    std::map<AppState::Field, qsizetype> firstSizes;
    QObject context;
    QObject::connect(state.get(), &AppState::changed, &context, [&](AppState::Field field) {
        if (firstSizes.count(field)) return;
        if (field == AppState::Field::cleanupItems) firstSizes[field] = state->cleanupItems().size();
        if (field == AppState::Field::appUpdates) firstSizes[field] = state->appUpdates().size();
    });
    state->runVidurAded();
    ASSERT_TRUE(passEnded(*state));
    EXPECT_EQ(firstSizes[AppState::Field::cleanupItems], 30);
    EXPECT_EQ(firstSizes[AppState::Field::appUpdates], 30) << "the pass hands on 30 update candidates";

    EXPECT_EQ(state->cleanupItems().size(), 5) << "30 junk items, 5 selected: the selected stay";
    EXPECT_EQ(state->clutterItems().size(), 12) << "12 items, 5 selected: cutting 7 is not worth it";
    EXPECT_EQ(state->protectionFindings().size(), 2) << "the selected and the high one";
    EXPECT_EQ(state->privacyItems().size(), 5);
    EXPECT_EQ(state->appUpdates().size(), 30);
    EXPECT_EQ(state->performanceItems().size(), 3);
    const VidurAdedResult& result = *state->vidurAdedResult();
    EXPECT_EQ(result.junkCount, 5);
    EXPECT_EQ(result.protectionCount, 9);
    EXPECT_EQ(result.performanceIssues, 1);
    EXPECT_EQ(setting(SystemMonitor::healthScoreKey()).toInt(), result.healthScore);
    EXPECT_EQ(state->activityEvents()[0].itemsAffected, 5 + 5 + 9) << "junk, clutter and protection";
    EXPECT_EQ(state->cleanupProgressLabel(), "Scanning\u2026") << "the modules' own labels are not touched";
}

TEST_F(AppStateVidurAdedTest, EachListIsPublishedBeforeTheNextFinderStarts) {
    test::HeldFinders<ClutterItem> clutter;
    ModuleServices modules = test::quietModules();
    modules.cleanupScan = returning(junkItems(3, 1));
    modules.clutterScan = clutter.finder();
    auto state = makeState(modules);
    state->runVidurAded();
    ASSERT_TRUE(clutter.waitFor(0));
    ASSERT_TRUE(test::waitUntil([&] { return state->vidurAdedProgress() == "Vidur Aded \u00B7 Clutter\u2026"; }));
    EXPECT_EQ(state->cleanupItems().size(), 3) << "junk landed while clutter still runs";
    EXPECT_TRUE(state->isVidurAdedRunning());
    clutter.at(0)->release({});
    ASSERT_TRUE(passEnded(*state));
}

TEST_F(AppStateVidurAdedTest, AReplacedPassDeliversNothing) {
    auto state = makeState(heldJunk());

    state->runVidurAded();
    auto first = junk.waitFor(0);
    ASSERT_TRUE(first);
    state->runVidurAded();
    auto second = junk.waitFor(1);
    ASSERT_TRUE(second);
    ASSERT_TRUE(test::waitUntil([&] { return first->stopped.load(); })) << "the replaced pass is asked to stop";
    first->release(junkItems(4, 4));
    test::spin(50);
    EXPECT_TRUE(state->cleanupItems().isEmpty()) << "the replaced pass's list is dropped";
    EXPECT_TRUE(state->isVidurAdedRunning()) << "the newest pass still runs";
    EXPECT_FALSE(state->vidurAdedResult());
    EXPECT_FALSE(ScheduleService::lastRun());

    second->release(junkItems(2, 1));
    ASSERT_TRUE(passEnded(*state));
    EXPECT_EQ(state->cleanupItems().size(), 2);
    EXPECT_EQ(state->vidurAdedResult()->junkCount, 1);
    EXPECT_EQ(eventsOfKind("Vidur Aded").size(), 1) << "one pass ended, one event";
}

TEST_F(AppStateVidurAdedTest, TheStateGoingWhileAPassRunsEndsIt) {
    auto state = makeState(heldJunk());
    state->runVidurAded();
    auto call = junk.waitFor(0);
    ASSERT_TRUE(call);
    state.reset();  // waits for the pass, which stops
    EXPECT_TRUE(call->stopped);
    EXPECT_FALSE(ScheduleService::lastRun());
    EXPECT_TRUE(ActivityService::list(10).isEmpty());
}

// ---- The daily schedule ----

// A tick never starts a pass while one runs, and a pass started by hand is
// not restarted by the schedule.
TEST_F(AppStateVidurAdedTest, TheMinuteTimerStartsAtStartUpAndTicksOnlyWhenDue) {
    auto state = std::make_unique<AppState>(test::testServices(), heldJunk());
    EXPECT_EQ(AppStateTesting::scheduleTimer(*state), nullptr) << "nothing before start-up";
    state->start();
    QTimer* timer = AppStateTesting::scheduleTimer(*state);
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive() && !timer->isSingleShot());

    // Off: no pass. The switch is stored and read at every tick.
    AppStateTesting::scheduleTick(*state);
    EXPECT_FALSE(state->isVidurAdedRunning());
    Environment::current().settings()->setValue(ScheduleService::hourKey(), now.toLocalTime().time().hour());
    state->setScheduleEnabled(true);
    EXPECT_TRUE(state->scheduleEnabled());
    EXPECT_TRUE(setting(ScheduleService::enabledKey()).toBool());

    AppStateTesting::scheduleTick(*state);
    EXPECT_TRUE(state->isVidurAdedRunning());
    ASSERT_TRUE(junk.waitFor(0));
    // Ticks while the pass runs leave it alone.
    AppStateTesting::scheduleTick(*state);
    AppStateTesting::scheduleTick(*state);
    test::spin(20);
    EXPECT_EQ(junk.count(), 1u);
    EXPECT_FALSE(junk.at(0)->stopped);
    junk.at(0)->release({});
    ASSERT_TRUE(passEnded(*state));

    // The day's pass is done: later ticks that day start nothing.
    env.setNow(now.addSecs(600));
    AppStateTesting::scheduleTick(*state);
    EXPECT_FALSE(state->isVidurAdedRunning());
    EXPECT_EQ(junk.count(), 1u);

    // A pass started by hand is not restarted by a tick, and counts as the day's.
    env.setNow(now.addDays(1));
    ScheduleService::setLastRun(std::nullopt);
    state->runVidurAded();
    ASSERT_TRUE(junk.waitFor(1));
    AppStateTesting::scheduleTick(*state);
    test::spin(20);
    EXPECT_EQ(junk.count(), 2u);
    EXPECT_FALSE(junk.at(1)->stopped);
    junk.at(1)->release({});
    ASSERT_TRUE(passEnded(*state));
    EXPECT_EQ(ScheduleService::lastRun(), now.addDays(1));
}

// ---- Clean recommended ----

class AppStateRecommendedTest : public AppStateVidurAdedTest {
protected:
    AppStateRecommendedTest() { state = makeState(test::quietModules()); }

    template <class Item = CleanupItem>
    Item fileFinding(const QString& name, qint64 size, bool selected = true) {
        return test::finding<Item>(test::writeFile(env.home(name), QByteArray(int(size), 'x')), size, selected);
    }
    void recommend() {
        state->runVidurAdedRecommended();
        ASSERT_TRUE(test::safeBinSettled(*state));
    }
    VidurAdedResult storedResult() {
        VidurAdedResult result;
        result.junkBytes = 999999;  // what the pass found, not what moved
        result.junkCount = 9;
        result.healthScore = 70;
        return result;
    }

    std::unique_ptr<AppState> state;
};

// Every byte that reached the Safe Bin counts once: the cleans' events count
// what they moved, the closing event counts nothing.
TEST_F(AppStateRecommendedTest, LogsTheRecommendedCleanupOncePerPassAndCountsEachByteOnce) {
    AppStateTesting::setVidurAdedResult(*state, storedResult());
    AppStateTesting::setCleanupItems(*state, {fileFinding("a.log", 300), fileFinding("b.log", 400),
                                              fileFinding("keep.log", 50, false)});
    AppStateTesting::setClutterItems(*state, {fileFinding<ClutterItem>("old.iso", 1000)});
    AppStateTesting::setPrivacyItems(*state, {fileFinding<PrivacyItem>("history.db", 20)});
    AppStateTesting::setProtectionFindings(*state, {fileFinding<ProtectionFinding>("threat.sh", 5000)});
    recommend();
    const QList<ActivityEvent> events = ActivityService::list(10);
    ASSERT_EQ(events.size(), 5);
    EXPECT_EQ(events[0].kind, "Vidur Aded") << "the closing event comes last";
    EXPECT_EQ(events[0].bytesFreed, 0) << "the cleans' own events count the bytes";
    EXPECT_EQ(ActivityService::lifetimeBytesFreed(), test::safeBinBytes(*state));
    EXPECT_EQ(events[4].kind, "Junk");
    EXPECT_TRUE(state->clutterItems().isEmpty());
    EXPECT_TRUE(state->privacyItems().isEmpty());
    EXPECT_TRUE(state->protectionFindings().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(env.home() + "/threat.sh"));
    EXPECT_EQ(state->activityEvents(), events);

    // Again after the same pass: the junk clean runs, the pass is not logged twice.
    AppStateTesting::setCleanupItems(*state, {fileFinding("c.log", 10)});
    recommend();
    EXPECT_EQ(eventsOfKind("Vidur Aded").size(), 1);
    EXPECT_EQ(eventsOfKind("Junk").size(), 2);

    // A new pass can be logged.
    AppStateTesting::setVidurAdedResult(*state, storedResult());
    AppStateTesting::setCleanupItems(*state, {fileFinding("d.log", 20)});
    recommend();
    EXPECT_EQ(eventsOfKind("Vidur Aded").size(), 2);
    EXPECT_EQ(ActivityService::lifetimeBytesFreed(), test::safeBinBytes(*state));
}

TEST_F(AppStateRecommendedTest, AFailedCleanShowsItsErrorAndIsNotCounted) {
    AppStateTesting::setVidurAdedResult(*state, storedResult());
    AppStateTesting::setCleanupItems(*state, {fileFinding("a.log", 300), fileFinding("b.log", 400)});
    // The program's own folder: never moved.
    AppStateTesting::setClutterItems(*state, {test::finding<ClutterItem>(test::writeFile(env.support() + "/Tarnwick/kept.iso", "k"), 1, true)});
    const QString failing = env.home() + "/b.log";
    test::FileFault fault([&](std::string_view operation, const QString& path) {
        return operation == "move" && path == failing ? EACCES : 0;
    });
    recommend();
    ASSERT_TRUE(state->errorMessage());
    // What each clean left is told together, not only the last clean's.
    EXPECT_TRUE(state->errorMessage()->contains("b.log")) << state->errorMessage()->toStdString();
    EXPECT_TRUE(state->errorMessage()->contains("kept.iso")) << state->errorMessage()->toStdString();
    const QList<ActivityEvent> closing = eventsOfKind("Vidur Aded");
    ASSERT_EQ(closing.size(), 1);
    EXPECT_EQ(ActivityService::lifetimeBytesFreed(), test::safeBinBytes(*state)) << "only what moved";
    EXPECT_TRUE(QFileInfo::exists(failing));
}

TEST_F(AppStateRecommendedTest, NothingMovedOrNoPassLogsNoPassEvent) {
    // Every move fails: the error shows, nothing is logged as freed.
    AppStateTesting::setVidurAdedResult(*state, storedResult());
    AppStateTesting::setCleanupItems(*state, {fileFinding("a.log", 300)});
    {
        test::FileFault fault([](std::string_view operation, const QString&) { return operation == "move" ? EACCES : 0; });
        recommend();
    }
    EXPECT_TRUE(state->errorMessage());
    EXPECT_TRUE(ActivityService::list(10).isEmpty());

    // Nothing selected.
    state->clearErrorMessage();
    AppStateTesting::setCleanupItems(*state, {fileFinding("b.log", 10, false)});
    recommend();
    EXPECT_TRUE(ActivityService::list(10).isEmpty());

    // No pass yet: the cleans run, no pass event.
    AppStateTesting::setVidurAdedResult(*state, std::nullopt);
    AppStateTesting::setCleanupItems(*state, {fileFinding("c.log", 10)});
    recommend();
    EXPECT_EQ(eventsOfKind("Junk").size(), 1);
    EXPECT_TRUE(eventsOfKind("Vidur Aded").isEmpty());
    EXPECT_FALSE(QFileInfo::exists(env.home() + "/c.log"));
}

}  // namespace
}  // namespace tarnwick
