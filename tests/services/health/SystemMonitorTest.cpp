#include "services/health/SystemMonitor.h"

#include "FakeMonitorSources.h"
#include "TestSupport.h"

#include <QSettings>
#include <gtest/gtest.h>

#include <vector>

using namespace tarnwick;
using test::FakeMonitorSources;
using test::eventually;
using Tint = SystemMonitor::Tint;

namespace {

constexpr qint64 kGB = 1000LL * 1000 * 1000;
constexpr qint64 kGiB = 1LL << 30;

class SystemMonitorTest : public ::testing::Test {
protected:
    void SetUp() override { environment.setNow(QDateTime::fromSecsSinceEpoch(1'700'000'000)); }

    // Refreshes once and waits until the volume and battery reading it asked for is back.
    void refreshAndSettle(SystemMonitor& monitor) {
        const int before = fakes.disk->reads;
        const bool slow = monitor.tick() + 1 == 1 || (monitor.tick() + 1) % 2 == 0;
        monitor.refreshLight();
        if (slow) {
            ASSERT_TRUE(eventually([&] { return fakes.disk->reads > before; }));
        }
        test::settleFor(20);
    }

    void storeScore(const QVariant& value) {
        Environment::current().settings()->setValue(SystemMonitor::healthScoreKey(), value);
    }

    test::FakeEnvironment environment;
    FakeMonitorSources fakes;
};

}  // namespace

// The first reading is only a base: no figure until a difference exists.
TEST_F(SystemMonitorTest, TheProcessorShareNeedsTwoReadingsAndRebasesOnUnusableTicks) {
    struct Step {
        std::optional<ProcessorSource::Ticks> ticks;
        double expected;
    };
    const std::vector<Step> steps = {
        {ProcessorSource::Ticks{1000, 1000}, -1},   // base
        {ProcessorSource::Ticks{1050, 1050}, 50},
        {ProcessorSource::Ticks{1050, 1050}, 50},   // no ticks passed
        {std::nullopt, 50},                         // unreadable: base kept
        {ProcessorSource::Ticks{1140, 1060}, 90},   // measured from the kept base
        {ProcessorSource::Ticks{10, 5000}, 90},     // busy went down: new base
        {ProcessorSource::Ticks{30, 4000}, 90},     // idle went down: new base
        {ProcessorSource::Ticks{40, 4090}, 10},
        {ProcessorSource::Ticks{~0ULL, 4090}, 100}, // a huge jump stays within 0...100
    };
    SystemMonitor monitor(fakes.sources());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        fakes.processor->next = steps[i].ticks;
        monitor.refreshLight();
        if (steps[i].expected < 0) {
            EXPECT_FALSE(monitor.cpuPercent()) << i;
        } else {
            ASSERT_TRUE(monitor.cpuPercent()) << i;
            EXPECT_DOUBLE_EQ(*monitor.cpuPercent(), steps[i].expected) << i;
        }
    }
}

TEST_F(SystemMonitorTest, VolumeBatteryAndUptimeAreReadOnTheFirstAndEveryEvenRefresh) {
    fakes.uptime->boot = 1'700'000'000 - (3 * 3600 + 7 * 60 + 5);
    SystemMonitor monitor(fakes.sources());
    std::vector<int> reads;
    for (int i = 0; i < 5; ++i) {
        refreshAndSettle(monitor);
        reads.push_back(fakes.disk->reads);
    }
    EXPECT_EQ(reads, std::vector<int>({1, 2, 2, 3, 3}));
    EXPECT_EQ(monitor.uptimeShort(), "Up 3h 7m");

    fakes.uptime->boot.reset();
    refreshAndSettle(monitor);  // tick 6
    EXPECT_EQ(monitor.uptimeShort(), "Up \u2014");
    fakes.uptime->boot = 1'700'000'100;  // a boot after now: the clock is wrong
    refreshAndSettle(monitor);           // tick 7: not read
    refreshAndSettle(monitor);           // tick 8
    EXPECT_EQ(monitor.uptimeShort(), "Up \u2014");
}

TEST_F(SystemMonitorTest, MemoryIsTheShareInUseAndWhatIsAvailable) {
    SystemMonitor monitor(fakes.sources());
    monitor.refreshLight();
    EXPECT_FALSE(monitor.memoryPercent()) << "unreadable memory keeps the placeholder";
    EXPECT_EQ(monitor.memoryAvailableFormatted(), "\u2014");

    fakes.memory->next = MemorySource::Reading{16 * kGiB, 4 * kGiB};
    monitor.refreshLight();
    ASSERT_TRUE(monitor.memoryPercent());
    EXPECT_DOUBLE_EQ(*monitor.memoryPercent(), 75.0);
    EXPECT_EQ(monitor.memoryAvailableFormatted(), "4 GB");

    fakes.memory->next.reset();
    monitor.refreshLight();
    EXPECT_DOUBLE_EQ(monitor.memoryPercent().value_or(-1), 75.0) << "a failed read keeps the last figures";
}

TEST_F(SystemMonitorTest, VolumeTextsAndFraction) {
    SystemMonitor monitor(fakes.sources());
    fakes.disk->set(DiskSource::Reading{0, 0});
    refreshAndSettle(monitor);
    EXPECT_EQ(monitor.diskFreeFormatted(), "\u2014") << "a volume without a size changes nothing";
    EXPECT_EQ(monitor.diskUsedFraction(), 0);

    fakes.disk->set(DiskSource::Reading{1000 * kGB, 140 * kGB});
    refreshAndSettle(monitor);
    EXPECT_EQ(monitor.diskFreeFormatted(), "140 GB");
    EXPECT_EQ(monitor.diskUsedFormatted(), "860 GB");
    EXPECT_DOUBLE_EQ(monitor.diskUsedFraction(), 0.86);

    // Blocks kept for the superuser are free, not used: the figures follow
    // df, and a mostly empty volume neither lowers the estimate nor asks
    // for a clean.
    fakes.disk->set(DiskSource::Reading{1000 * kGB, 20 * kGB, 280 * kGB});
    refreshAndSettle(monitor);  // tick 3: not read
    refreshAndSettle(monitor);
    EXPECT_EQ(monitor.diskUsedFormatted(), "280 GB");
    EXPECT_EQ(monitor.diskFreeFormatted(), "20 GB");
    EXPECT_DOUBLE_EQ(monitor.diskUsedFraction(), 0.28);
    EXPECT_NE(monitor.recommendationTitle(), "Storage is filling up");
    EXPECT_EQ(monitor.healthScoreText(), "100");

    fakes.disk->set(DiskSource::Reading{100 * kGB, 120 * kGB});  // more free than total
    refreshAndSettle(monitor);                                   // tick 5: not read
    refreshAndSettle(monitor);
    EXPECT_EQ(monitor.diskUsedFormatted(), "Zero KB");
    EXPECT_EQ(monitor.diskUsedFraction(), 0);
}

TEST_F(SystemMonitorTest, StoredScoreCountsOnlyAsAnIntegerAndIsHeldToTheScale) {
    struct Case {
        QVariant stored;
        const char* text;
        const char* label;
    };
    // Without a usable stored score the estimate of a 95 % full volume shows: 75, "Good".
    const std::vector<Case> cases = {
        {QVariant(), "75", "Good"},
        {QStringLiteral("42"), "42", "Critical"},
        {90, "90", "Excellent"},
        {QStringLiteral(" 77 "), "77", "Good"},
        {QStringLiteral("130"), "100", "Excellent"},
        {QStringLiteral("3"), "5", "Critical"},
        {QStringLiteral("-7"), "5", "Critical"},
        {QStringLiteral("42.5"), "75", "Good"},
        {QStringLiteral("abc"), "75", "Good"},
        {QStringLiteral(""), "75", "Good"},
        {QStringList({"42", "43"}), "75", "Good"},
    };
    fakes.disk->set(DiskSource::Reading{100 * kGB, 5 * kGB});
    for (const Case& c : cases) {
        Environment::current().settings()->remove(SystemMonitor::healthScoreKey());
        if (c.stored.isValid()) storeScore(c.stored);
        SystemMonitor monitor(fakes.sources());
        refreshAndSettle(monitor);
        EXPECT_EQ(monitor.healthScoreText(), c.text) << c.stored.toString().toStdString();
        EXPECT_EQ(monitor.healthLabel(), c.label) << c.stored.toString().toStdString();
    }
    storeScore(42);
    SystemMonitor monitor(fakes.sources());
    monitor.refreshLight();
    EXPECT_EQ(monitor.healthTint(), Tint::danger);
}

TEST_F(SystemMonitorTest, OnlyTheNewestSampleWhileSamplingIsOnPublishes) {
    SystemMonitor monitor(fakes.sources());
    const QList<SystemMonitor::Proc> first = {test::proc(10, "editor", "12.0")};
    fakes.processes->set(first);
    monitor.start(true);
    ASSERT_TRUE(eventually([&] { return monitor.topProcesses() == first; }));

    // Switched off while a sample runs: the list keeps its last value.
    fakes.processes->hold = true;
    fakes.processes->set({test::proc(11, "compiler", "99.0")});
    monitor.refreshProcessesAsync();
    ASSERT_TRUE(eventually([&] { return fakes.processes->started == 2; }));
    monitor.setProcessSamplingEnabled(false);
    fakes.processes->hold = false;
    ASSERT_TRUE(eventually([&] { return fakes.processes->finished == 2; }));
    test::settleFor(30);
    EXPECT_EQ(monitor.topProcesses(), first);

    // Replaced while it runs: only the newer sample lands.
    monitor.setProcessSamplingEnabled(true);  // sample 3
    ASSERT_TRUE(eventually([&] { return fakes.processes->finished == 3; }));
    test::settleFor(30);
    fakes.processes->hold = true;
    fakes.processes->set({test::proc(20, "old", "5.0")});
    monitor.refreshProcessesAsync();  // sample 4
    ASSERT_TRUE(eventually([&] { return fakes.processes->started == 4; }));
    const QList<SystemMonitor::Proc> newest = {test::proc(21, "new", "6.0")};
    fakes.processes->set(newest);
    monitor.refreshProcessesAsync();  // sample 5
    ASSERT_TRUE(eventually([&] { return fakes.processes->started == 5; }));
    fakes.processes->hold = false;
    ASSERT_TRUE(eventually([&] { return fakes.processes->finished == 5; }));
    test::settleFor(30);
    EXPECT_EQ(monitor.topProcesses(), newest);

    // Stopped while it runs: dropped too.
    fakes.processes->hold = true;
    fakes.processes->set({test::proc(30, "late", "1.0")});
    monitor.refreshProcessesAsync();
    ASSERT_TRUE(eventually([&] { return fakes.processes->started == 6; }));
    monitor.stop();
    fakes.processes->hold = false;
    ASSERT_TRUE(eventually([&] { return fakes.processes->finished == 6; }));
    test::settleFor(30);
    EXPECT_EQ(monitor.topProcesses(), newest);
}

TEST_F(SystemMonitorTest, AVolumeAndBatteryReadingFromBeforeAStopIsDroppedAndTakenAgain) {
    fakes.battery->hold = true;
    fakes.battery->set(BatterySource::Reading{55, false, false, std::nullopt});
    SystemMonitor monitor(fakes.sources());
    monitor.start(false);  // tick 1 asks for the reading, which now waits
    monitor.stop();
    monitor.start(false);  // tick 2 asks again while the old one still runs
    fakes.battery->hold = false;
    ASSERT_TRUE(eventually([&] { return monitor.batteryPercentText() == "55%"; }))
        << "the reading asked for after the restart arrives";
    EXPECT_EQ(fakes.disk->reads, 2);

    fakes.battery->hold = true;
    monitor.refreshLight();  // tick 3: not read
    monitor.refreshLight();  // tick 4
    monitor.stop();
    fakes.battery->set(BatterySource::Reading{20, false, false, std::nullopt});
    fakes.battery->hold = false;
    ASSERT_TRUE(eventually([&] { return fakes.disk->reads == 3; }));
    test::settleFor(30);
    EXPECT_EQ(monitor.batteryPercentText(), "55%") << "a reading from before the stop publishes nothing";
}

TEST_F(SystemMonitorTest, GoingAwayWithWorkUnderWayIsSafe) {
    fakes.processes->set({test::proc(5, "x", "1")});
    {
        SystemMonitor monitor(fakes.sources());
        monitor.start(true);
    }
    test::settleFor(30);
    SUCCEED();
}
