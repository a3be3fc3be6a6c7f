// The Safe Bin screen's cost on the UI thread with a large bin. For each N
// (1,000, 10,000 and 100,000 by default, or those given: "safebin_view_bench
// [N ...]") it writes a manifest of N entries into a temporary support
// folder, starts the state, shows the screen offscreen and prints
//
//   N <TAB> first show ms <TAB> X    from show() until the list has painted
//                                    (the event loop never waits meanwhile)
//   N <TAB> change ms <TAB> Y        the longest UI-thread slice while one
//                                    restore, one delete for good or one
//                                    clean of 500 findings arrives
//
// A slice is the handling of events back to back on the UI thread (events
// less than half a millisecond apart count as one). The figures are the UI
// thread's processor time, which a busy machine disturbs little; standard
// error has the wall-clock times as well. Each change is made five times (the
// clean three times) and its median counts; Y is the largest of the three
// medians. The moves run on the Safe Bin thread and are not counted.
#include "models/CleanupItem.h"
#include "models/SafeBinEntry.h"
#include "platform/Environment.h"
#include "services/safebin/SafeBinService.h"
#include "state/AppState.h"
#include "support/AtomicFile.h"
#include "views/cleanup/SafeBinListModel.h"
#include "views/cleanup/SafeBinListView.h"
#include "views/cleanup/SafeBinView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

using namespace tarnwick;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCleanSize = 500;
constexpr int kRestores = 5;
constexpr int kCleans = 3;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The processor time of the calling thread, in ms.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// A UI-thread cost: processor time and wall-clock time.
struct Cost {
    double cpu = 0;
    double wall = 0;
};

// Times the UI thread's event handling as slices of back-to-back events.
class SliceMeter {
public:
    void record(Clock::time_point start, Clock::time_point end, double cpu) {
        if (open_ && start - end_ < kGap) {
            end_ = end;
            cpu_ += cpu;
            return;
        }
        close();
        open_ = true;
        start_ = start;
        end_ = end;
        cpu_ = cpu;
    }
    void reset() {
        open_ = false;
        longest_ = {};
    }
    Cost longest() {
        close();
        return longest_;
    }

private:
    static constexpr auto kGap = std::chrono::microseconds(500);
    void close() {
        if (!open_) return;
        longest_.cpu = std::max(longest_.cpu, cpu_);
        longest_.wall = std::max(longest_.wall, msBetween(start_, end_));
        open_ = false;
    }
    bool open_ = false;
    Clock::time_point start_;
    Clock::time_point end_;
    double cpu_ = 0;
    Cost longest_;
};

SliceMeter meter;

class MeteredApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_ > 0 || QThread::currentThread() != thread()) return QApplication::notify(receiver, event);
        ++depth_;
        const Clock::time_point start = Clock::now();
        const double cpu = threadCpuMs();
        const bool handled = QApplication::notify(receiver, event);
        meter.record(start, Clock::now(), threadCpuMs() - cpu);
        --depth_;
        return handled;
    }

private:
    int depth_ = 0;
};

void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::exit(1);
}

// Runs the event loop until the condition holds (false after a minute).
bool pumpUntil(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    QTimer tick;
    tick.start(5);
    while (!condition()) {
        if (timer.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Lets the event loop run for a while (layouts and paints still due).
void pumpFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    pumpUntil([&] { return timer.elapsed() >= milliseconds; });
}

void writeFile(const QString& path) {
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write("data") != 4) fail("cannot write a file");
}

// Entries shaped like real ones, newest first, all within the last ten days,
// from places inside the given home folder (a restore puts an item there).
std::vector<SafeBinEntry> syntheticEntries(int count, const QString& home, const QDateTime& now) {
    std::vector<SafeBinEntry> entries;
    entries.reserve(size_t(count));
    const qint64 step = std::max<qint64>(1, 10 * 86400 / count);
    for (int i = 0; i < count; ++i) {
        const QUuid id = QUuid::createUuid();
        const QString name = QStringLiteral("cache-file-%1.bin").arg(i);
        const QString original = home + QStringLiteral("/.cache/application-%1/data/%2").arg(i % 97).arg(name);
        entries.push_back(SafeBinEntry::create(id, original, SafeBinService::storedNameFor(id, name), name,
                                               4096 * (i % 13 + 1), now.addSecs(-(i + 1) * step)));
    }
    return entries;
}

// Junk findings of the given files, all ticked.
QList<CleanupItem> findingsFor(const QStringList& paths) {
    QList<CleanupItem> findings;
    for (const QString& path : paths) {
        CleanupItem item;
        item.title = path.section(QLatin1Char('/'), -1);
        item.path = path;
        item.size = 4096;
        item.isSelected = item.isSafeDefault = true;
        findings.append(item);
    }
    return findings;
}

// Makes one change and returns the longest UI-thread slice until it has been
// shown (the Safe Bin's work done, then whatever layout and paint follow).
Cost measureChange(AppState& state, const std::function<void()>& change) {
    pumpFor(50);
    meter.reset();
    change();
    if (!pumpUntil([&] { return !state.hasSafeBinWork(); })) fail("the change did not finish");
    pumpFor(100);
    return meter.longest();
}

Cost median(std::vector<Cost> costs) {
    auto middle = [&](double Cost::*field) {
        std::vector<double> values;
        for (const Cost& cost : costs) values.push_back(cost.*field);
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    return {middle(&Cost::cpu), middle(&Cost::wall)};
}

void run(int count) {
    QTemporaryDir dir;
    if (!dir.isValid()) fail("cannot make a temporary folder");
    Environment environment = Environment::system();
    environment.homeDirectory = dir.path() + QStringLiteral("/home");
    environment.applicationSupport = dir.path() + QStringLiteral("/support");
    environment.tempDirectory = dir.path() + QStringLiteral("/tmp");
    environment.settingsFile = dir.path() + QStringLiteral("/settings.ini");
    Environment::Scope scope(environment);
    QDir().mkpath(environment.homeDirectory);
    QDir().mkpath(environment.tempDirectory);

    const std::vector<SafeBinEntry> entries = syntheticEntries(count, environment.homeDirectory, environment.now());
    const QString bin = SafeBinService::root();
    if (!AtomicFile::write(bin + QStringLiteral("/manifest.json"), SafeBinEntry::encodeManifest(entries))) {
        fail("cannot write the manifest");
    }
    // The entries restored and deleted have their stored items, spread over
    // the list; the others are never touched.
    std::vector<SafeBinEntry> restored;
    std::vector<SafeBinEntry> destroyed;
    for (int i = 0; i < kRestores; ++i) {
        restored.push_back(entries[size_t(count / 8 + 2 * i * (count / 12))]);
        destroyed.push_back(entries[size_t(count / 8 + (2 * i + 1) * (count / 12))]);
    }
    for (const std::vector<SafeBinEntry>* list : {&restored, &destroyed}) {
        for (const SafeBinEntry& entry : *list) writeFile(bin + QLatin1Char('/') + entry.storedName);
    }
    // Each junk scan finds the next 500 files.
    std::vector<QList<CleanupItem>> batches;
    for (int b = 0; b < kCleans; ++b) {
        QStringList paths;
        for (int i = 0; i < kCleanSize; ++i) {
            paths.append(environment.homeDirectory + QStringLiteral("/.cache/bench-%1/leftover-%2.tmp").arg(b).arg(i));
            writeFile(paths.back());
        }
        batches.push_back(findingsFor(paths));
    }
    auto nextBatch = std::make_shared<std::atomic_int>(0);
    ModuleServices modules = ModuleServices::production();
    modules.cleanupScan = [batches, nextBatch](const ModuleServices::Progress&, std::stop_token) {
        return batches[size_t(nextBatch->fetch_add(1)) % batches.size()];
    };

    AppState state(MapServices::production(), modules);
    state.start();
    if (!pumpUntil([&] { return !state.hasSafeBinWork() && state.safeBinItems().size() == size_t(count); })) {
        fail("the Safe Bin did not load");
    }

    SafeBinView view(state);
    view.resize(1000, 700);
    // The list's first paint ends the first show.
    struct PaintWatch : QObject {
        bool painted = false;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) painted = true;
            return false;
        }
    } watch;
    view.list()->viewport()->installEventFilter(&watch);
    const Clock::time_point showStart = Clock::now();
    const double showCpu = threadCpuMs();
    view.show();
    QElapsedTimer waited;
    waited.start();
    while (!watch.painted) {
        if (waited.elapsed() > 60000) fail("the list was never painted");
        QCoreApplication::processEvents();
    }
    // One more pass finishes the paint's own event.
    QCoreApplication::processEvents();
    const Cost firstShow{threadCpuMs() - showCpu, msBetween(showStart, Clock::now())};
    view.list()->viewport()->removeEventFilter(&watch);
    if (!pumpUntil([&] { return !state.hasSafeBinWork(); })) fail("the reload did not finish");
    if (view.model()->rowCount() != count) fail("the screen does not list every entry");

    std::vector<Cost> restores;
    std::vector<Cost> deletes;
    std::vector<Cost> cleans;
    for (int i = 0; i < kRestores; ++i) {
        restores.push_back(measureChange(state, [&] { state.restoreSafeBin(restored[size_t(i)]); }));
        deletes.push_back(measureChange(state, [&] { state.destroySafeBin(destroyed[size_t(i)]); }));
    }
    for (int i = 0; i < kCleans; ++i) {
        state.runCleanupScan();
        if (!pumpUntil([&] { return !state.isCleanupScanning() && state.cleanupItems().size() == kCleanSize; })) {
            fail("the junk findings did not arrive");
        }
        cleans.push_back(measureChange(state, [&] { state.cleanSelectedToSafeBin(); }));
    }
    const size_t expected = size_t(count) - 2 * kRestores + size_t(kCleans) * kCleanSize;
    if (state.safeBinItems().size() != expected) {
        if (state.errorMessage()) std::fprintf(stderr, "%s\n", qPrintable(*state.errorMessage()));
        fail("the changes did not all take place");
    }
    if (view.model()->rowCount() != int(expected)) fail("the screen did not follow the changes");

    const Cost restore = median(restores);
    const Cost destroy = median(deletes);
    const Cost clean = median(cleans);
    std::printf("%d\tfirst show ms\t%.1f\n", count, firstShow.cpu);
    std::printf("%d\tchange ms\t%.1f\n", count, std::max({restore.cpu, destroy.cpu, clean.cpu}));
    std::fflush(stdout);
    std::fprintf(stderr,
                 "%d\tprocessor ms: restore %.1f, delete %.1f, clean of %d %.1f; "
                 "wall ms: first show %.1f, restore %.1f, delete %.1f, clean %.1f\n",
                 count, restore.cpu, destroy.cpu, kCleanSize, clean.cpu, firstShow.wall, restore.wall, destroy.wall,
                 clean.wall);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    MeteredApplication application(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {1000, 10000, 100000};
    for (const int count : counts) {
        if (count < 24) fail("N must be at least 24");
        run(count);
    }
    return 0;
}
