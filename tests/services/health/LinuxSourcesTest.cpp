#include "services/health/LinuxBatterySource.h"
#include "services/health/LinuxDiskSource.h"
#include "services/health/LinuxMemorySource.h"
#include "services/health/LinuxProcessorSource.h"
#include "services/health/LinuxUptimeSource.h"
#include "services/health/StatusFileReader.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <sys/stat.h>

using namespace tarnwick;

namespace {

using Ticks = ProcessorSource::Ticks;

class LinuxSourcesTest : public ::testing::Test {
protected:
    QString root() const { return environment.root(); }
    QString write(const QString& relative, const QByteArray& contents) {
        return test::writeFile(root() + QLatin1Char('/') + relative, contents);
    }
    // One supply folder with its attribute files.
    void supply(const QString& name, const QList<std::pair<QString, QByteArray>>& files) {
        test::makeDir(root() + QStringLiteral("/sys/class/power_supply/") + name);
        for (const auto& [file, value] : files) {
            write(QStringLiteral("sys/class/power_supply/%1/%2").arg(name, file), value + "\n");
        }
    }

    test::FakeEnvironment environment;
};

}  // namespace

TEST_F(LinuxSourcesTest, ProcessorCountersAndBootTimeFromProcStat) {
    struct Case {
        const char* stat;
        std::optional<Ticks> ticks;
    };
    const std::vector<Case> cases = {
        // user nice system idle iowait irq softirq steal guest guest_nice
        {"cpu  100 20 30 400 50 6 7 8 90 10\ncpu0 1 2 3 4 5 6 7 8 9 10\n", Ticks{171, 450}},
        {"cpu 1 2 3 4\n", Ticks{6, 4}},                  // an old kernel's four columns
        {"cpu 1 2 3\n", std::nullopt},                   // too short
        {"cpu 1 two 3 4 5\n", std::nullopt},             // not a number
        {"cpu -1 2 3 4 5\n", std::nullopt},
        {"cpu0 1 2 3 4 5\n", std::nullopt},              // no total line first
        {"", std::nullopt},
        {"intr 5\ncpu 1 2 3 4\n", std::nullopt},
        {"cpu 18446744073709551615 18446744073709551615 0 0\n", Ticks{~0ULL, 0}},  // held, not wrapped
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LinuxProcessorSource::parse(c.stat), c.ticks) << c.stat;
    }

    EXPECT_FALSE(LinuxUptimeSource::parse("cpu 1 2 3 4\n"));
    EXPECT_FALSE(LinuxUptimeSource::parse("btime soon\n"));
    EXPECT_FALSE(LinuxUptimeSource::parse("btime -5\n"));

    LinuxProcessorSource source(root());
    EXPECT_FALSE(source.read()) << "no /proc/stat";
    EXPECT_FALSE(LinuxUptimeSource(root()).bootTime());
    write("proc/stat", "cpu  10 0 10 80 0 0 0 0 0 0\nintr 0\nbtime 1699990000\nprocesses 5\n");
    EXPECT_EQ(source.read(), (Ticks{20, 80}));
    EXPECT_EQ(LinuxUptimeSource(root()).bootTime(), 1'699'990'000);
}

TEST_F(LinuxSourcesTest, MemoryFromTotalAndAvailable) {
    struct Case {
        const char* meminfo;
        std::optional<MemorySource::Reading> reading;
    };
    const std::vector<Case> cases = {
        {"MemTotal:       16000000 kB\nMemFree:  100 kB\nMemAvailable:    4000000 kB\n",
         MemorySource::Reading{16'384'000'000, 4'096'000'000}},
        {"MemTotal: 1000 kB\n", std::nullopt},                        // no MemAvailable
        {"MemTotal: 1000 kB\nMemAvailable: 2000 kB\n", std::nullopt},  // more available than total
        {"MemTotal: 0 kB\nMemAvailable: 0 kB\n", std::nullopt},
        {"MemTotal: 1000 MB\nMemAvailable: 10 MB\n", std::nullopt},    // not in kB
        {"MemTotal: lots kB\nMemAvailable: 10 kB\n", std::nullopt},
        {"MemTotal: 99999999999999999 kB\nMemAvailable: 10 kB\n", std::nullopt},  // beyond 64 bits in bytes
        {"garbage\n\n:::\n", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(LinuxMemorySource::parse(c.meminfo), c.reading) << c.meminfo;

    LinuxMemorySource source(root());
    EXPECT_FALSE(source.read());
    write("proc/meminfo", "MemTotal: 2000 kB\nMemAvailable: 500 kB\n");
    EXPECT_EQ(source.read(), (MemorySource::Reading{2'048'000, 512'000}));
}

TEST_F(LinuxSourcesTest, DiskFromTheRootFileSystem) {
    const std::optional<DiskSource::Reading> reading = LinuxDiskSource(root()).read();
    ASSERT_TRUE(reading);
    EXPECT_GT(reading->totalBytes, 0);
    EXPECT_GE(reading->freeBytes, 0);
    EXPECT_LE(reading->freeBytes, reading->totalBytes);
    // In use as df shows it: the total less the free blocks, reserved ones counted free.
    struct statvfs counts {};
    ASSERT_EQ(::statvfs(QFile::encodeName(root() + "/").constData(), &counts), 0);
    const double used = double(counts.f_blocks - counts.f_bfree) * double(counts.f_frsize ? counts.f_frsize : counts.f_bsize);
    EXPECT_NEAR(double(reading->usedBytes.value_or(-1)), used, 64.0 * 1024 * 1024) << "a live file system, read twice";
    EXPECT_FALSE(LinuxDiskSource(root() + QStringLiteral("/missing")).read());
}

TEST_F(LinuxSourcesTest, BatteryIsTheFirstPresentSystemBattery) {
    LinuxBatterySource source(root());
    EXPECT_FALSE(source.read()) << "no power_supply folder";

    // A desktop: only an adapter, and a mouse's battery, which is a device's.
    supply("AC", {{"type", "Mains"}, {"online", "1"}});
    supply("hidpp_battery_0",
           {{"type", "Battery"}, {"scope", "Device"}, {"capacity", "30"}, {"status", "Discharging"}});
    EXPECT_FALSE(source.read());

    // Two batteries: the first in name order that is present counts.
    supply("BAT0", {{"type", "Battery"}, {"present", "0"}, {"capacity", "11"}});
    supply("BAT1", {{"type", "Battery"}, {"capacity", "87"}, {"status", "Charging"}, {"cycle_count", "312"}});
    supply("BAT2", {{"type", "Battery"}, {"capacity", "50"}, {"status", "Discharging"}});
    std::optional<BatterySource::Reading> reading = source.read();
    ASSERT_TRUE(reading);
    EXPECT_EQ(*reading, (BatterySource::Reading{87, true, true, 312}));

    // The adapter unplugged, and the battery's files saying little.
    supply("AC", {{"type", "Mains"}, {"online", "0"}});
    supply("BAT1", {{"type", "Battery"}, {"status", "Discharging"}, {"cycle_count", "many"}});
    test::writeFile(root() + "/sys/class/power_supply/BAT1/capacity", "");
    reading = source.read();
    ASSERT_TRUE(reading);
    EXPECT_EQ(*reading, (BatterySource::Reading{std::nullopt, false, false, std::nullopt}));
}

TEST_F(LinuxSourcesTest, BatteryChargeFromEnergyOrChargeWithoutCapacity) {
    supply("BAT0", {{"type", "Battery"}, {"energy_now", "30000000"}, {"energy_full", "40000000"}});
    EXPECT_EQ(LinuxBatterySource(root()).read()->capacityPercent, 75);
    supply("BAT0", {{"type", "Battery"}, {"energy_now", "1"}, {"energy_full", "0"},
                    {"charge_now", "5000"}, {"charge_full", "4000"}});
    EXPECT_EQ(LinuxBatterySource(root()).read()->capacityPercent, 100) << "held to 100";
    supply("BAT0", {{"type", "Battery"}, {"capacity", "140"}});
    EXPECT_EQ(LinuxBatterySource(root()).read()->capacityPercent, 100);
    supply("USBC", {{"type", "USB"}, {"online", "1"}});
    EXPECT_TRUE(LinuxBatterySource(root()).read()->onAdapter);
}

TEST_F(LinuxSourcesTest, StatusFilesThatAreNotPlainFilesReadAsNothingAtOnce) {
    const QString fifo = root() + QStringLiteral("/proc/stat");
    test::makeDir(root() + QStringLiteral("/proc"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(LinuxProcessorSource(root()).read()) << "a pipe is not read";
    EXPECT_LT(timer.elapsed(), 1000);

    test::makeDir(root() + QStringLiteral("/proc/meminfo"));
    EXPECT_FALSE(LinuxMemorySource(root()).read()) << "a folder is not read";

    const QString big = write("big", QByteArray(StatusFileReader::defaultLimit + 1, 'x'));
    EXPECT_FALSE(StatusFileReader::read(big)) << "a file beyond the limit is not read";
    const QString small = write("small", "  Battery  \nrest\n");
    EXPECT_EQ(StatusFileReader::readLine(small), QByteArray("Battery"));
    const QString link = root() + QStringLiteral("/link");
    ASSERT_TRUE(QFile::link(small, link));
    EXPECT_FALSE(StatusFileReader::read(link)) << "a link in the place of the file is not followed";
}
