// Times the system monitor on this machine: the UI-thread cost of one
// refresh (processor, memory and, on the first and every even refresh, the
// uptime read plus handing the volume and battery reading to the worker
// thread), each reading on its own, and one process sample (which runs off
// the UI thread). "monitor_bench [REFRESHES]" (2000 by default).
#include "platform/Environment.h"
#include "services/health/BatterySource.h"
#include "services/health/DiskSource.h"
#include "services/health/MemorySource.h"
#include "services/health/MonitorSources.h"
#include "services/health/ProcessSource.h"
#include "services/health/ProcessorSource.h"
#include "services/health/SystemMonitor.h"
#include "services/health/UptimeSource.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace tarnwick;

namespace {

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::micro>(duration).count();
}

// Median, 99th percentile and maximum of `runs` timed calls, in microseconds.
void report(const char* what, int runs, const std::function<void()>& call,
            const std::function<void()>& between = {}) {
    std::vector<double> times;
    times.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        call();
        times.push_back(microseconds(Clock::now() - start));
        if (between) between();
    }
    std::sort(times.begin(), times.end());
    std::printf("%-44s median %8.1f us   p99 %8.1f us   max %8.1f us   (%d runs)\n", what, times[times.size() / 2],
                times[std::min<std::size_t>(times.size() - 1, times.size() * 99 / 100)], times.back(), runs);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int refreshes = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;

    // The real /proc, /sys and "/", but a settings file of its own.
    QTemporaryDir scratch;
    Environment environment = Environment::system();
    environment.settingsFile = scratch.filePath(QStringLiteral("settings.ini"));
    Environment::Scope scope(environment);

    const MonitorSources sources = MonitorSources::system();
    report("processor (/proc/stat)", refreshes, [&] { sources.processor->read(); });
    report("memory (/proc/meminfo)", refreshes, [&] { sources.memory->read(); });
    report("uptime (btime of /proc/stat)", refreshes, [&] { sources.uptime->bootTime(); });
    report("stored score (settings), absent", refreshes, [] { SystemMonitor::storedScore(); });
    report("volume (statvfs), worker thread", refreshes, [&] { sources.disk->read(); });
    report("battery (/sys/class/power_supply), worker", refreshes, [&] { sources.battery->read(); });
    report("process sample (ps), worker thread", 20, [&] { sources.processes->sample(); });

    SystemMonitor monitor(sources);
    // Each refresh, then the event loop takes back what the worker read.
    report("refreshLight() on the UI thread, no score", refreshes, [&] { monitor.refreshLight(); },
           [] { QCoreApplication::processEvents(); });
    Environment::current().settings()->setValue(SystemMonitor::healthScoreKey(), 72);
    report("refreshLight() on the UI thread, stored score", refreshes, [&] { monitor.refreshLight(); },
           [] { QCoreApplication::processEvents(); });
    std::printf("last readings: cpu %s, memory %s, free %s, battery %s, %s, score %s\n",
                monitor.cpuPercent() ? qPrintable(QString::number(*monitor.cpuPercent(), 'f', 1)) : "-",
                qPrintable(monitor.memoryAvailableFormatted()), qPrintable(monitor.diskFreeFormatted()),
                qPrintable(monitor.batteryPercentText()), qPrintable(monitor.uptimeShort()),
                qPrintable(monitor.healthScoreText()));
    return 0;
}
