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
        if (slow) ASSERT_TRUE(eventually([&] { return fakes.disk->reads > before; }));
        test::settleFor(20);
    }

    void storeScore(const QVariant& value) {
        Environment::current().settings()->setValue(SystemMonitor::healthScoreKey(), value);
    }

    test::FakeEnvironment environment;
    FakeMonitorSources fakes;
};

}  // namespace

TEST_F(SystemMonitorTest, StartsWithItsPlaceholdersAndSamplesNothing) {
    SystemMonitor monitor(fakes.sources());
    EXPECT_FALSE(monitor.isRunning());
    EXPECT_EQ(monitor.tick(), 0);
    EXPECT_FALSE(monitor.cpuPercent());
    EXPECT_FALSE(monitor.memoryPercent());
    EXPECT_EQ(monitor.memoryAvailableFormatted(), "\u2014");
    EXPECT_EQ(monitor.diskFreeFormatted(), "\u2014");
    EXPECT_EQ(monitor.healthScoreText(), "\u2014");
    EXPECT_EQ(monitor.healthLabel(), "Checking\u2026");
    EXPECT_EQ(monitor.healthDetail(), "Run Vidur Aded for a full score.");
    EXPECT_EQ(monitor.healthTint(), Tint::textSecondary);
    EXPECT_EQ(monitor.protectionStatus(), "Ready");
    EXPECT_EQ(monitor.batteryDetail(), "Battery info unavailable.");
    EXPECT_EQ(monitor.uptimeShort(), "Uptime \u2014");
    EXPECT_EQ(monitor.recommendationTitle(), "Run Vidur Aded");
    EXPECT_EQ(monitor.recommendationDetail(), "Scan junk, clutter, and protection in one pass.");
    EXPECT_EQ(fakes.processor->reads, 0);
}

TEST_F(SystemMonitorTest, TheFirstProcessorReadingIsOnlyABase) {
    SystemMonitor monitor(fakes.sources());
    fakes.processor->next = ProcessorSource::Ticks{100, 900};
    monitor.refreshLight();
    EXPECT_FALSE(monitor.cpuPercent()) << "no interval yet, so no figure";
    fakes.processor->next = ProcessorSource::Ticks{130, 970};
    monitor.refreshLight();
    ASSERT_TRUE(monitor.cpuPercent());
    EXPECT_DOUBLE_EQ(*monitor.cpuPercent(), 30.0);
}

TEST_F(SystemMonitorTest, IntervalsWithoutUsableTicksKeepTheFigureAndRebase) {
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

TEST_F(SystemMonitorTest, UptimeReadsInHoursAndMinutesThenDaysAndHours) {
    const std::vector<std::pair<qint64, const char*>> cases = {
        {0, "0h 0m"}, {59, "0h 0m"}, {3600 * 3 + 60 * 7, "3h 7m"}, {86'399, "23h 59m"},
        {86'400, "1d 0h"}, {12 * 86'400 + 4 * 3600 + 3599, "12d 4h"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(SystemMonitor::uptimeText(seconds), text) << seconds;
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

TEST_F(SystemMonitorTest, BatteryTexts) {
    struct Case {
        std::optional<BatterySource::Reading> reading;
        const char* percent;
        const char* status;
        const char* detail;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "AC", "Desktop / no battery", "This computer has no battery or battery data is unavailable."},
        {BatterySource::Reading{}, "0%", "On battery", "On battery"},
        {BatterySource::Reading{80, true, true, 312}, "80%", "Charging", "Cycle count 312. Charging."},
        {BatterySource::Reading{100, false, true, std::nullopt}, "100%", "Power adapter", "Power adapter"},
        {BatterySource::Reading{41, false, false, 7}, "41%", "On battery", "Cycle count 7. On battery."},
    };
    for (const Case& c : cases) {
        SystemMonitor monitor(fakes.sources());
        fakes.battery->set(c.reading);
        refreshAndSettle(monitor);
        EXPECT_EQ(monitor.batteryPercentText(), c.percent);
        EXPECT_EQ(monitor.batteryStatus(), c.status);
        EXPECT_EQ(monitor.batteryDetail(), c.detail);
    }
}

TEST_F(SystemMonitorTest, EstimateAtItsThresholds) {
    struct Case {
        double disk;
        std::optional<double> memory;
        std::optional<double> cpu;
        int score;
    };
    const std::vector<Case> cases = {
        {0.95, 91, 86, 40},
        {0.9, std::nullopt, std::nullopt, 85},
        {0.9001, std::nullopt, std::nullopt, 75},
        {0.8, std::nullopt, std::nullopt, 100},
        {0.8001, std::nullopt, std::nullopt, 85},
        {0.5, 90, std::nullopt, 90},
        {0.5, 90.01, std::nullopt, 80},
        {0.5, 80, std::nullopt, 100},
        {0.5, 80.01, std::nullopt, 90},
        {0.5, std::nullopt, 65, 100},
        {0.5, std::nullopt, 65.01, 92},
        {0.5, std::nullopt, 85, 92},
        {0.5, std::nullopt, 85.01, 85},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SystemMonitor::estimatedScore(c.disk, c.memory, c.cpu), c.score) << c.disk;
    }
}

TEST_F(SystemMonitorTest, BandsAtTheirEdges) {
    const std::vector<std::tuple<int, const char*, Tint>> cases = {
        {100, "Excellent", Tint::accentTeal}, {85, "Excellent", Tint::accentTeal}, {84, "Good", Tint::accent},
        {70, "Good", Tint::accent},           {69, "Fair", Tint::warning},          {50, "Fair", Tint::warning},
        {49, "Critical", Tint::danger},       {5, "Critical", Tint::danger},
    };
    for (const auto& [score, label, tint] : cases) {
        EXPECT_EQ(SystemMonitor::band(score), std::pair(QString(label), tint)) << score;
    }
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
        EXPECT_EQ(monitor.healthDetail(), "Based on free disk, memory pressure, and CPU load.");
    }
}

TEST_F(SystemMonitorTest, StoredScoreOf42IsCriticalInTheDangerTint) {
    storeScore(42);
    SystemMonitor monitor(fakes.sources());
    monitor.refreshLight();
    EXPECT_EQ(monitor.healthScoreText(), "42");
    EXPECT_EQ(monitor.healthTint(), Tint::danger);
}

TEST_F(SystemMonitorTest, RecommendationAtItsStrictThresholds) {
    struct Case {
        qint64 freeGB;     // of a 100 GB volume
        qint64 availableMiB;  // of 1000 MiB of memory
        std::optional<std::pair<quint64, quint64>> ticks;  // busy and idle of the second reading
        const char* title;
        const char* detail;
    };
    const std::vector<Case> cases = {
        {14, 50, std::nullopt, "Storage is filling up", "14 GB free \u2014 clean junk to reclaim space."},
        {15, 50, std::nullopt, "Memory under pressure", "Quit heavy apps or open Performance to free RAM."},
        {15, 150, std::pair(8551ULL, 1449ULL), "CPU is busy", "A few apps are using most of the processor."},
        {15, 150, std::pair(8500ULL, 1500ULL), "Keep your computer tidy",
         "Run Vidur Aded for junk, clutter, and protection."},
    };
    for (const Case& c : cases) {
        FakeMonitorSources local;
        local.disk->set(DiskSource::Reading{100 * kGB, c.freeGB * kGB});
        local.memory->next = MemorySource::Reading{1000LL << 20, c.availableMiB << 20};
        local.processor->next = ProcessorSource::Ticks{0, 0};
        SystemMonitor monitor(local.sources());
        monitor.refreshLight();
        ASSERT_TRUE(eventually([&] { return local.disk->reads > 0; }));
        test::settleFor(20);
        if (c.ticks) {
            local.processor->next = ProcessorSource::Ticks{c.ticks->first, c.ticks->second};
            monitor.refreshLight();
        }
        EXPECT_EQ(monitor.recommendationTitle(), c.title);
        EXPECT_EQ(monitor.recommendationDetail(), c.detail);
    }
}

TEST_F(SystemMonitorTest, AnUnchangedReadingAnnouncesNothing) {
    fakes.processor->next = ProcessorSource::Ticks{100, 100};
    fakes.memory->next = MemorySource::Reading{8 * kGiB, 2 * kGiB};
    fakes.disk->set(DiskSource::Reading{100 * kGB, 50 * kGB});
    fakes.uptime->boot = 1'600'000'000;
    SystemMonitor monitor(fakes.sources());
    refreshAndSettle(monitor);
    refreshAndSettle(monitor);
    QList<SystemMonitor::Field> announced;
    QObject::connect(&monitor, &SystemMonitor::changed, [&](SystemMonitor::Field field) { announced << field; });
    refreshAndSettle(monitor);  // tick 3
    refreshAndSettle(monitor);  // tick 4, with the volume and battery again
    EXPECT_TRUE(announced.isEmpty()) << announced.size();
    fakes.memory->next = MemorySource::Reading{8 * kGiB, 1 * kGiB};
    monitor.refreshLight();
    EXPECT_TRUE(announced.contains(SystemMonitor::Field::memoryPercent));
    EXPECT_TRUE(announced.contains(SystemMonitor::Field::memoryAvailableFormatted));
    EXPECT_FALSE(announced.contains(SystemMonitor::Field::diskFreeFormatted));
}

TEST_F(SystemMonitorTest, StartingAndStoppingRunTheTimers) {
    SystemMonitor monitor(fakes.sources());
    monitor.start(false);
    monitor.start(false);
    EXPECT_TRUE(monitor.isRunning());
    EXPECT_FALSE(monitor.isProcessTimerActive());
    EXPECT_EQ(monitor.tick(), 2) << "each start refreshes at once";

    monitor.setProcessSamplingEnabled(true);
    EXPECT_TRUE(monitor.isProcessTimerActive());
    ASSERT_TRUE(eventually([&] { return fakes.processes->started == 1; }));
    monitor.setProcessSamplingEnabled(true);  // no change, no new sample
    test::settleFor(20);
    EXPECT_EQ(fakes.processes->started, 1);
    monitor.setProcessSamplingEnabled(false);
    EXPECT_FALSE(monitor.isProcessTimerActive());
    EXPECT_TRUE(monitor.isRunning());

    monitor.start(true);
    EXPECT_TRUE(monitor.isProcessTimerActive());
    ASSERT_TRUE(eventually([&] { return fakes.processes->started == 2; }));

    monitor.stop();
    EXPECT_FALSE(monitor.isRunning());
    EXPECT_FALSE(monitor.isProcessTimerActive());
    EXPECT_FALSE(monitor.isProcessSamplingEnabled());
    EXPECT_EQ(monitor.tick(), 3) << "the count survives a stop";
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

TEST_F(SystemMonitorTest, KeepsTheFirstFiveProcesses) {
    QList<SystemMonitor::Proc> seven;
    for (int i = 1; i <= 7; ++i) seven << test::proc(100 + i, QStringLiteral("p%1").arg(i), "1.0");
    fakes.processes->set(seven);
    SystemMonitor monitor(fakes.sources());
    monitor.start(true);
    ASSERT_TRUE(eventually([&] { return !monitor.topProcesses().isEmpty(); }));
    EXPECT_EQ(monitor.topProcesses(), seven.mid(0, 5));
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
