// Runs a whole Vidur Aded pass through the application state on a generated
// home folder, or on a given one, and watches the UI thread meanwhile.
//
//   care_bench                generate a home (the junk and the clutter
//                             benchmarks' trees in one) and run the pass on it
//   care_bench --home DIR     run it with DIR as the home folder (system
//                             places as they are on this machine)
//
// The Safe Bin, activity log and settings go to a scratch folder, never the
// user's own. The pass runs twice (the first run warms the caches); the
// figures are those of the second run. Prints each step's finder time and
// item count, the result's fields and the score, the pass's time from start
// to the applied result and the processor time it took (every thread), the
// files the finders opened and the bytes they read (each duplicate candidate
// is read once in a pass), and the UI thread's longest slice while the pass
// ran: the longest single event, and the most a 2 ms heartbeat timer came
// late (the longest stretch the thread could not answer).
#include "platform/Environment.h"
#include "platform/FileReader.h"
#include "state/AppState.h"
#include "state/MapServices.h"
#include "state/ModuleServices.h"

#include "ClutterHome.h"
#include "FinderRun.h"
#include "JunkHome.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>

using namespace tarnwick;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kHeartbeatMs = 2;

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Times every event the UI thread handles (the outermost ones) while watching.
class TimingApplication : public QGuiApplication {
public:
    TimingApplication(int& argc, char** argv) : QGuiApplication(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override {
        if (!watching || depth_ > 0) return QGuiApplication::notify(receiver, event);
        ++depth_;
        const auto start = Clock::now();
        const bool handled = QGuiApplication::notify(receiver, event);
        longestEventMs = std::max(longestEventMs, millisecondsBetween(start, Clock::now()));
        ++events;
        --depth_;
        return handled;
    }

    bool watching = false;
    double longestEventMs = 0;
    long long events = 0;

private:
    int depth_ = 0;
};

struct Step {
    const char* name;
    double seconds = 0;
    qsizetype items = 0;
};

using Steps = std::array<Step, 7>;

template <class Item>
ModuleServices::Finder<Item> timed(ModuleServices::Finder<Item> finder, Step& step) {
    return [finder, &step](const ModuleServices::Progress& progress, std::stop_token stop) {
        const auto start = Clock::now();
        QList<Item> found = finder ? finder(progress, stop) : QList<Item>{};
        step.seconds = millisecondsBetween(start, Clock::now()) / 1000;
        step.items = found.size();
        return found;
    };
}

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct PassFigures {
    double totalSeconds = 0;
    double processorSeconds = 0;
    quint64 filesOpened = 0;
    quint64 bytesRead = 0;
    double longestEventMs = 0;
    double longestBusyMs = 0;
    long long events = 0;
};

// One pass through the state, from runVidurAded() to the applied result and
// its logged event.
PassFigures runPass(TimingApplication& app, AppState& state) {
    PassFigures figures;
    // A heartbeat every 2 ms: how late it comes is how long the thread was
    // held by something else.
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(kHeartbeatMs);
    Clock::time_point last = Clock::now();
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        figures.longestBusyMs = std::max(figures.longestBusyMs, millisecondsBetween(last, now) - kHeartbeatMs);
        last = now;
    });
    app.longestEventMs = 0;
    app.events = 0;
    app.watching = true;

    const auto start = Clock::now();
    const double processorAtStart = processorSeconds();
    const quint64 openedAtStart = FileReader::totalFilesOpened();
    const quint64 readAtStart = FileReader::totalBytesRead();
    last = start;
    heartbeat.start();
    state.runVidurAded();
    while (state.isVidurAdedRunning() || state.hasSafeBinWork()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    figures.totalSeconds = millisecondsBetween(start, Clock::now()) / 1000;
    figures.processorSeconds = processorSeconds() - processorAtStart;
    figures.filesOpened = FileReader::totalFilesOpened() - openedAtStart;
    figures.bytesRead = FileReader::totalBytesRead() - readAtStart;
    heartbeat.stop();
    app.watching = false;
    figures.longestEventMs = app.longestEventMs;
    figures.events = app.events;
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TimingApplication app(argc, argv);
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        std::fprintf(stderr, "cannot make a scratch folder\n");
        return 1;
    }
    Environment environment = Environment::system();
    const std::string base = scratch.path().toStdString();
    if (argc == 3 && std::string(argv[1]) == "--home") {
        environment.homeDirectory = QString::fromLocal8Bit(argv[2]);
    } else if (argc == 1) {
        const std::string home = base + "/home/user";
        const std::string root = base + "/root";
        const std::string temp = base + "/user-tmp";
        junkhome::Generator junk(base);
        clutterhome::Generator clutter;
        const auto start = Clock::now();
        junkhome::generate(home, root, temp, junk);
        clutterhome::generate(home, clutter);
        std::printf("generated\t%d files\t%.2f s\n", junk.files() + clutter.files(),
                    millisecondsBetween(start, Clock::now()) / 1000);
        environment.homeDirectory = QString::fromStdString(home);
        environment.rootPrefix = QString::fromStdString(root);
        environment.tempDirectory = QString::fromStdString(temp);
        environment.variables.clear();
    } else {
        std::fprintf(stderr, "usage: care_bench [--home DIR]\n");
        return 2;
    }
    // What the pass writes stays in the scratch folder.
    environment.applicationSupport = scratch.path() + QStringLiteral("/support");
    environment.settingsFile = scratch.path() + QStringLiteral("/settings.ini");
    Environment::setCurrent(environment);

    Steps steps{{{"Junk"}, {"Clutter"}, {"Protection"}, {"Privacy"}, {"Apps"}, {"Updates"}, {"Performance"}}};
    const ModuleServices real = ModuleServices::production();
    ModuleServices modules = real;
    modules.cleanupScan = timed(real.cleanupScan, steps[0]);
    modules.clutterScan = timed(real.clutterScan, steps[1]);
    modules.protectionScan = timed(real.protectionScan, steps[2]);
    modules.privacyScan = timed(real.privacyScan, steps[3]);
    modules.appsScan = timed(real.appsScan, steps[4]);
    modules.updatesScan = timed(real.updatesScan, steps[5]);
    modules.performanceScan = timed(real.performanceScan, steps[6]);
    MapServices map = MapServices::production();
    AppState state(map, modules);

    const PassFigures warm = runPass(app, state);
    const PassFigures pass = runPass(app, state);
    for (size_t i = 0; i < steps.size(); ++i) {
        std::printf("step\t%zu\t%s\t%.3f s\t%lld items\n", i + 1, steps[i].name, steps[i].seconds,
                    static_cast<long long>(steps[i].items));
    }
    const VidurAdedResult& r = *state.vidurAdedResult();
    std::printf("result\tjunk %d items %lld bytes\tclutter %d items %lld bytes\tprotection %d (%d high)\t"
                "outdated apps %d\tperformance issues %d\tprivacy %d items %lld bytes\n",
                r.junkCount, static_cast<long long>(r.junkBytes), r.clutterCount, static_cast<long long>(r.clutterBytes),
                r.protectionCount, r.protectionHigh, r.outdatedApps, r.performanceIssues, r.privacyCount,
                static_cast<long long>(r.privacyBytes));
    std::printf("score\t%d\n", r.healthScore);
    std::printf("lists\tjunk %lld\tclutter %lld\tprotection %lld\tprivacy %lld\tupdates %lld\tperformance %lld"
                " (after the cuts of the finish)\n",
                static_cast<long long>(state.cleanupItems().size()), static_cast<long long>(state.clutterItems().size()),
                static_cast<long long>(state.protectionFindings().size()),
                static_cast<long long>(state.privacyItems().size()), static_cast<long long>(state.appUpdates().size()),
                static_cast<long long>(state.performanceItems().size()));
    std::printf("pass\t%.3f s (first run %.3f s)\n", pass.totalSeconds, warm.totalSeconds);
    std::printf("processor\t%.3f s (first run %.3f s)\n", pass.processorSeconds, warm.processorSeconds);
    std::printf("read\t%llu files opened\t%llu bytes\n", static_cast<unsigned long long>(pass.filesOpened),
                static_cast<unsigned long long>(pass.bytesRead));
    std::printf("ui\tlongest event %.2f ms\theartbeat late by at most %.2f ms\t%lld events (first run %.2f / %.2f ms)\n",
                pass.longestEventMs, pass.longestBusyMs, pass.events, warm.longestEventMs, warm.longestBusyMs);
    std::printf("peak\t%ld MiB\n", bench::peakMiB());
    return 0;
}
