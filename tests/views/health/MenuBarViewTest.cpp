#include "views/health/MenuBarView.h"

#include "services/health/FakeMonitorSources.h"
#include "state/AppState.h"
#include "views/common/PlainButton.h"
#include "views/health/MonitorTile.h"
#include "views/health/RecommendationCard.h"
#include "views/health/StorageBars.h"
#include "views/health/TileTextButton.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"

#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QSettings>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace tarnwick;
using Kind = MenuBarView::MonitorKind;

namespace {

constexpr qint64 kGB = 1000LL * 1000 * 1000;
constexpr qint64 kGiB = 1LL << 30;

// Module finders that find nothing and count the junk scans.
ModuleServices countingModules(const std::shared_ptr<std::atomic_int>& junkScans) {
    ModuleServices modules = test::quietModules();
    modules.cleanupScan = [junkScans](const ModuleServices::Progress&, std::stop_token) {
        ++*junkScans;
        return QList<CleanupItem>{};
    };
    return modules;
}

class MenuBarViewTest : public ::testing::Test {
protected:
    MenuBarViewTest() {
        environment.setNow(QDateTime::fromSecsSinceEpoch(1'700'000'000));
        fakes.processor->next = ProcessorSource::Ticks{0, 0};
        fakes.memory->next = MemorySource::Reading{16 * kGiB, 4 * kGiB};
        fakes.disk->set(DiskSource::Reading{500 * kGB, 120 * kGB});
        fakes.battery->set(BatterySource::Reading{64, false, true, std::nullopt});
        fakes.uptime->boot = 1'700'000'000 - 2 * 86'400 - 5 * 3600;
        state.start();
        monitor = std::make_unique<SystemMonitor>(fakes.sources());
        view = std::make_unique<MenuBarView>(state, *monitor);
    }

    void showPanel() {
        view->show();
        ASSERT_TRUE(test::waitUntil([&] { return monitor->batteryPercentText() == "64%"; }));
    }

    QString tileValue(Kind kind) const { return view->tile(kind)->textButton()->value(); }
    QString tileSubtitle(Kind kind) const { return view->tile(kind)->textButton()->subtitle(); }
    bool detailShown() const { return view->detailPanel()->isVisibleTo(view.get()); }

    test::FakeEnvironment environment;
    test::FakeMonitorSources fakes;
    std::shared_ptr<std::atomic_int> junkScans = std::make_shared<std::atomic_int>(0);
    AppState state{test::testServices(), countingModules(junkScans)};
    std::unique_ptr<SystemMonitor> monitor;
    std::unique_ptr<MenuBarView> view;
};

}  // namespace

TEST_F(MenuBarViewTest, TilesShowTheLiveReadings) {
    showPanel();
    EXPECT_TRUE(monitor->isRunning());
    EXPECT_FALSE(monitor->isProcessSamplingEnabled());
    const std::vector<std::pair<Kind, const char*>> expected = {
        {Kind::health, "100"}, {Kind::storage, "120 GB"}, {Kind::memory, "4 GB"}, {Kind::cpu, "\u2014"}, {Kind::battery, "64%"},
    };
    for (const auto& [kind, value] : expected) {
        EXPECT_EQ(tileValue(kind), value);
        EXPECT_EQ(view->tile(kind)->freeUpButton() != nullptr, kind == Kind::storage || kind == Kind::memory);
    }
    EXPECT_EQ(tileSubtitle(Kind::memory), "75% in use");
    EXPECT_EQ(tileSubtitle(Kind::cpu), "Up 2d 5h");
    EXPECT_FALSE(detailShown());
    // The processor figure appears once two readings made a difference.
    fakes.processor->next = ProcessorSource::Ticks{42, 58};
    monitor->refreshLight();
    EXPECT_EQ(tileValue(Kind::cpu), "42%");
}

// Only the processor and memory panels sample processes; the disk's bars
// show df's figures, never narrower than a sliver.
TEST_F(MenuBarViewTest, OnlyTheProcessPanelsSampleAndTheStoragePanelShowsItsBars) {
    showPanel();
    view->tile(Kind::cpu)->textButton()->click();
    EXPECT_TRUE(view->tile(Kind::cpu)->isSelected());
    EXPECT_TRUE(monitor->isProcessSamplingEnabled());
    view->tile(Kind::memory)->symbolButton()->click();  // sampling stays on, the panel swaps
    EXPECT_EQ(view->selected(), Kind::memory);
    EXPECT_FALSE(view->tile(Kind::cpu)->isSelected());
    EXPECT_TRUE(monitor->isProcessSamplingEnabled());
    view->tile(Kind::memory)->textButton()->click();  // the selected tile again closes it
    EXPECT_FALSE(view->selected());
    EXPECT_FALSE(detailShown());
    EXPECT_FALSE(monitor->isProcessSamplingEnabled());
    for (Kind kind : {Kind::health, Kind::protection, Kind::storage, Kind::battery}) {
        view->toggle(kind);
        EXPECT_TRUE(detailShown());
        EXPECT_EQ(view->storageBars()->isVisibleTo(view.get()), kind == Kind::storage);
        EXPECT_FALSE(monitor->isProcessSamplingEnabled());
    }
    view->toggle(Kind::storage);
    view->layout()->activate();
    ASSERT_GT(view->storageBars()->width(), 100);
    EXPECT_EQ(view->storageBars()->usedText(), "Used 380 GB");
    EXPECT_EQ(view->storageBars()->fillWidth(), static_cast<int>(std::lround(view->storageBars()->width() * 0.76)));
    view->storageBars()->setReadings(0, "Zero KB", "1 TB");
    EXPECT_EQ(view->storageBars()->fillWidth(), StorageBars::minimumFill);
}

TEST_F(MenuBarViewTest, ProcessPanelsListTheFirstFourAndQuitResamples) {
    QList<SystemMonitor::Proc> five;
    for (int i = 1; i <= 5; ++i) five << test::proc(4000 + i, QStringLiteral("app %1").arg(i), "9.5");
    fakes.processes->set(five);
    showPanel();
    view->toggle(Kind::cpu);
    ASSERT_TRUE(test::waitUntil([&] { return view->processRowNames().size() == 4; }));
    EXPECT_EQ(view->processRowNames(), QStringList({"app 1", "app 2", "app 3", "app 4"}));

    // The fake pids have no /proc entry here, so nothing is signalled; a new sample follows.
    const int before = fakes.processes->started;
    ASSERT_NE(view->quitButton(0), nullptr);
    view->quitButton(0)->click();
    EXPECT_TRUE(test::waitUntil([&] { return fakes.processes->started > before; }));

    fakes.processes->set({});
    monitor->refreshProcessesAsync();
    EXPECT_TRUE(test::waitUntil([&] { return view->processRowNames().isEmpty(); }));
    EXPECT_EQ(view->detailTitle(), "Top CPU apps") << "an empty list keeps the title and button";
}

TEST_F(MenuBarViewTest, QuitIsOfferedForOwnProcessesAndRowsHoldStillUnderThePointer) {
    fakes.processes->set({test::proc(1, "systemd", "30.0", false), test::proc(4001, "editor", "20.0"),
                          test::proc(4002, "someone-elses", "10.0", false)});
    showPanel();
    view->toggle(Kind::cpu);
    ASSERT_TRUE(test::waitUntil([&] { return view->processRowNames().size() == 3; }));
    EXPECT_EQ(view->quitButton(0), nullptr) << "pid 1";
    EXPECT_NE(view->quitButton(1), nullptr) << "the user's own";
    EXPECT_EQ(view->quitButton(2), nullptr) << "another user's";

    // A new sample reorders the list while the pointer is over the rows: they stay put.
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(view->processRowsArea(), &enter);
    fakes.processes->set({test::proc(4002, "someone-elses", "50.0", false), test::proc(4001, "editor", "20.0"),
                          test::proc(1, "systemd", "1.0", false)});
    monitor->refreshProcessesAsync();
    ASSERT_TRUE(test::waitUntil([&] { return monitor->topProcesses().front().pid == 4002; }));
    EXPECT_EQ(view->processRowNames(), QStringList({"systemd", "editor", "someone-elses"}));
    ASSERT_NE(view->quitButton(1), nullptr) << "the button aimed at is still the editor's";

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view->processRowsArea(), &leave);
    EXPECT_EQ(view->processRowNames(), QStringList({"someone-elses", "editor", "systemd"})) << "away: the new order";
}

TEST_F(MenuBarViewTest, TheMonitorRunsExactlyWhileThePanelIsShown) {
    showPanel();
    view->toggle(Kind::storage);
    view->hide();
    EXPECT_FALSE(monitor->isRunning());

    view->show();
    EXPECT_EQ(view->selected(), Kind::storage);
    EXPECT_TRUE(detailShown());
    EXPECT_TRUE(monitor->isRunning());
    EXPECT_FALSE(monitor->isProcessSamplingEnabled());

    view->toggle(Kind::cpu);
    view->hide();
    const int before = fakes.processes->started;
    view->show();
    EXPECT_TRUE(monitor->isProcessSamplingEnabled()) << "CPU still selected: it samples at once";
    EXPECT_TRUE(test::waitUntil([&] { return fakes.processes->started > before; }));
}

TEST_F(MenuBarViewTest, ActionsOpenTheirSectionAndBringTheWindowForward) {
    QMainWindow window;
    showPanel();
    int opened = 0;
    QObject::connect(view.get(), &MenuBarView::appOpened, [&opened] { ++opened; });

    view->tile(Kind::storage)->freeUpButton()->click();
    EXPECT_EQ(state.section(), AppSection::cleanup);
    EXPECT_TRUE(test::waitUntil([&] { return *junkScans >= 1 && !state.isCleanupScanning(); }))
        << "the storage action starts the junk scan";
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(opened, 1);

    view->tile(Kind::memory)->freeUpButton()->click();
    EXPECT_EQ(state.section(), AppSection::performance);

    const std::vector<std::pair<Kind, AppSection>> buttons = {
        {Kind::health, AppSection::home},
        {Kind::protection, AppSection::protection},
        {Kind::cpu, AppSection::performance},
    };
    for (const auto& [kind, section] : buttons) {
        state.openSection(AppSection::activity);
        view->toggle(kind);
        view->detailButton()->click();
        EXPECT_EQ(state.section(), section);
        EXPECT_EQ(state.isVidurAdedRunning(), kind == Kind::health) << "only Health's button starts Vidur Aded";
        ASSERT_TRUE(test::waitUntil([&] { return !state.isVidurAdedRunning(); }));
    }

    state.openSection(AppSection::activity);
    view->toggle(Kind::battery);
    const int count = opened;
    view->detailButton()->click();
    EXPECT_EQ(state.section(), AppSection::activity) << "Battery only brings the window forward";
    EXPECT_EQ(opened, count + 1);

    view->recommendation()->click();
    EXPECT_EQ(state.section(), AppSection::home);
    EXPECT_TRUE(state.isVidurAdedRunning()) << "the card starts Vidur Aded";
    ASSERT_TRUE(test::waitUntil([&] { return !state.isVidurAdedRunning(); }));
    ASSERT_TRUE(state.vidurAdedResult());
    EXPECT_EQ(tileValue(Kind::health), "100") << "the pass's score shows at once";

    state.openSection(AppSection::activity);
    auto* gear = view->findChild<PlainButton*>("footerShow");
    ASSERT_NE(gear, nullptr);
    gear->click();
    EXPECT_EQ(state.section(), AppSection::home);
}

TEST_F(MenuBarViewTest, ANewCareScoreIsStoredAndShownAtOnce) {
    VidurAdedResult result;
    result.healthScore = 61;
    AppStateTesting::setVidurAdedResult(state, result);
    showPanel();
    EXPECT_EQ(Environment::current().settings()->value(SystemMonitor::healthScoreKey()).toInt(), 61)
        << "stored when the panel shows";
    EXPECT_EQ(tileValue(Kind::health), "61");

    result.healthScore = 42;
    AppStateTesting::setVidurAdedResult(state, result);
    EXPECT_EQ(Environment::current().settings()->value(SystemMonitor::healthScoreKey()).toInt(), 42);
    EXPECT_EQ(tileValue(Kind::health), "42");

    AppStateTesting::setVidurAdedResult(state, std::nullopt);  // no value: nothing changes
    EXPECT_EQ(Environment::current().settings()->value(SystemMonitor::healthScoreKey()).toInt(), 42);
}
