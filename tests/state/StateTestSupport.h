#pragma once

#include "TestSupport.h"
#include "platform/FileOperations.h"
#include "state/AppState.h"
#include "state/MapServices.h"
#include "state/ModuleServices.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

namespace tarnwick {

// Fills the module lists that only the module scans (and the governor) write.
struct AppStateTesting {
    static void setCleanupItems(AppState& s, QList<CleanupItem> v) { s.cleanupItems_.set(std::move(v)); }
    static void setClutterItems(AppState& s, QList<ClutterItem> v) { s.clutterItems_.set(std::move(v)); }
    static void setInstalledApps(AppState& s, QList<InstalledApp> v) { s.installedApps_.set(std::move(v)); }
    static void setPerformanceItems(AppState& s, QList<PerformanceItem> v) { s.performanceItems_.set(std::move(v)); }
    static void setProtectionFindings(AppState& s, QList<ProtectionFinding> v) {
        s.protectionFindings_.set(std::move(v));
    }
    static void setPrivacyItems(AppState& s, QList<PrivacyItem> v) { s.privacyItems_.set(std::move(v)); }
    static void setAppUpdates(AppState& s, QList<AppUpdateItem> v) { s.appUpdates_.set(std::move(v)); }
    static void setVidurAdedResult(AppState& s, std::optional<VidurAdedResult> v) {
        s.vidurAdedResult_.set(std::move(v));
    }
    // The schedule's minute timer, and one of its ticks.
    static QTimer* scheduleTimer(AppState& s) { return s.scheduleTimer_.data(); }
    static void scheduleTick(AppState& s) { s.onScheduleTick(); }
};

namespace test {

// Spins the event loop until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Runs a state's start-up and waits until its cached scan is restored.
inline bool startAndRestore(AppState& state) {
    state.start();
    return waitUntil([&state] { return !state.isRestoringCache(); });
}

// Waits until every queued Safe Bin job (moves, restores, reloads) has been
// applied on this thread.
inline bool safeBinSettled(AppState& state) {
    return waitUntil([&state] { return !state.hasSafeBinWork(); });
}

// The display names of the state's Safe Bin entries, sorted.
inline QStringList safeBinNames(const AppState& state) {
    QStringList names;
    for (const SafeBinEntry& entry : state.safeBinItems()) names.append(entry.displayName);
    names.sort();
    return names;
}

// The bytes the state's Safe Bin entries hold.
inline qint64 safeBinBytes(const AppState& state) {
    qint64 bytes = 0;
    for (const SafeBinEntry& entry : state.safeBinItems()) bytes += entry.size;
    return bytes;
}

// Lets the event loop run for a while.
inline void spin(int milliseconds) {
    waitUntil([] { return false; }, milliseconds);
}

// One walk made by HeldWalks: reports one progress, then holds until the test
// releases it or the state cancels it.
struct HeldWalk {
    QString rootPath;
    std::atomic_bool started{false};
    std::atomic_bool released{false};
    std::atomic_bool cancelled{false};
    std::atomic_bool finished{false};
};

// The calls a held service was asked for, in order, shared with the threads
// that run them.
template <class Call>
class HeldCalls {
public:
    std::shared_ptr<Call> at(size_t index) {
        std::lock_guard lock(mutex_);
        return index < calls_.size() ? calls_[index] : nullptr;
    }
    size_t count() {
        std::lock_guard lock(mutex_);
        return calls_.size();
    }

protected:
    std::shared_ptr<Call> add() {
        auto call = std::make_shared<Call>();
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        return call;
    }

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<Call>> calls_;
};

// Walks that wait for the test, so that a scan can be caught while it runs.
// The tree handed back is a folder named after the root with one 1000-byte file.
class HeldWalks : public HeldCalls<HeldWalk> {
public:
    MapServices::Walk make(const QString& rootPath) {
        auto walk = add();
        walk->rootPath = rootPath;
        MapServices::Walk result;
        result.run = [walk](const MapServices::ProgressCallback& onProgress) {
            walk->started = true;
            onProgress(ScanProgress{1, 1000, walk->rootPath + QStringLiteral("/a.bin")});
            while (!walk->released && !walk->cancelled) QThread::msleep(1);
            auto file = ScanNode::create(QUuid::createUuid(), QStringLiteral("a.bin"), walk->rootPath + "/a.bin",
                                         NodeKind::file, 1000);
            auto root = ScanNode::create(QUuid::createUuid(), walk->rootPath.section('/', -1),
                                         walk->rootPath, NodeKind::dir, 1000, {file});
            walk->finished = true;
            return MapServices::WalkOutcome{root, ScanInsights::empty(), 1, 1000};
        };
        result.cancel = [walk] { walk->cancelled = true; };
        return result;
    }
};

// One call of a HeldFinders finder: reports its labels, then holds until the
// test releases it with a result, or the state asks it to stop.
template <class Item>
struct HeldFinder {
    std::atomic_bool started{false};
    std::atomic_bool released{false};
    std::atomic_bool stopped{false};  // saw the stop request
    std::atomic_bool finished{false};
    std::mutex mutex;
    QStringList labels;   // reported one after the other once started
    QList<Item> result;   // returned when released
    QString lateLabel;    // reported after the hold, when set

    void release(QList<Item> items) {
        {
            std::lock_guard lock(mutex);
            result = std::move(items);
        }
        released = true;
    }
};

// Finders that wait for the test, so that a module scan can be caught while
// it runs, replaced, or stopped.
template <class Item>
class HeldFinders : public HeldCalls<HeldFinder<Item>> {
public:
    explicit HeldFinders(QStringList labels = {}) : labels_(std::move(labels)) {}

    ModuleServices::Finder<Item> finder() {
        return [this](const ModuleServices::Progress& progress, std::stop_token stop) {
            auto call = this->add();
            call->started = true;
            for (const QString& label : labels_) progress(label);
            while (!call->released) {
                if (stop.stop_requested()) {
                    call->stopped = true;
                    break;
                }
                QThread::msleep(1);
            }
            std::lock_guard lock(call->mutex);
            if (!call->lateLabel.isEmpty()) progress(call->lateLabel);
            call->finished = true;
            return call->result;
        };
    }

    // Waits until the index-th call has started.
    std::shared_ptr<HeldFinder<Item>> waitFor(size_t index) {
        waitUntil([&] { return this->at(index) && this->at(index)->started; });
        return this->at(index);
    }

private:
    QStringList labels_;
};

// A finder that finds nothing at once.
template <class Item>
ModuleServices::Finder<Item> findsNothing() {
    return [](const ModuleServices::Progress&, std::stop_token) { return QList<Item>{}; };
}

// Module finders that find nothing at once.
inline ModuleServices quietModules() {
    ModuleServices modules;
    modules.cleanupScan = findsNothing<CleanupItem>();
    modules.performanceScan = findsNothing<PerformanceItem>();
    modules.appsScan = findsNothing<InstalledApp>();
    modules.updatesScan = findsNothing<AppUpdateItem>();
    modules.clutterScan = findsNothing<ClutterItem>();
    modules.protectionScan = findsNothing<ProtectionFinding>();
    modules.privacyScan = findsNothing<PrivacyItem>();
    return modules;
}

// A finding of any module at path, titled by its name.
template <class Item>
Item finding(const QString& path, qint64 size = 0, bool selected = false) {
    Item item;
    item.title = path.section(QLatin1Char('/'), -1);
    item.path = path;
    if constexpr (requires { item.size; }) item.size = size;
    item.isSelected = selected;
    return item;
}

// A threat found at path, under its own title.
inline ProtectionFinding threat(const QString& title, const QString& path, ProtectionFinding::Severity severity,
                                bool selected = false, ProtectionFinding::Kind kind = ProtectionFinding::Kind::suspiciousAgent) {
    ProtectionFinding found = finding<ProtectionFinding>(path, 0, selected);
    found.title = title;
    found.severity = severity;
    found.kind = kind;
    return found;
}

// Browser or desktop residue at path, under its own title.
inline PrivacyItem residue(const QString& title, const QString& path, qint64 size, bool selected) {
    PrivacyItem item = finding<PrivacyItem>(path, size, selected);
    item.title = title;
    return item;
}

// Services with the real walker and cache but a fixed volume list (the root
// labelled "Work Disk") and a reconciler that only wraps the tree (so no disk
// tool runs).
inline MapServices testServices() {
    MapServices services = MapServices::production();
    services.listVolumes = [] {
        return std::vector<VolumeInfo>{
            VolumeInfo{"/", "Work Disk", "/", "/", 1000, 400, true, std::nullopt},
            VolumeInfo{"/Volumes/Backup", "Backup", "/Volumes/Backup", "/Volumes/Backup", 2000, 1500, false, std::nullopt},
        };
    };
    services.enrichStartupVolume = [](const ScanNodePtr& dataRoot, const QString& rootName) {
        return ScanNode::create(QUuid::createUuid(), rootName, QStringLiteral("/"), NodeKind::dir, dataRoot->size,
                                {dataRoot});
    };
    services.startupVolumeName = [] { return QStringLiteral("Work Disk"); };
    return services;
}

// A started state over the modules, its Safe Bin read.
inline std::unique_ptr<AppState> startedState(ModuleServices modules = quietModules()) {
    auto state = std::make_unique<AppState>(testServices(), std::move(modules));
    state->start();
    EXPECT_TRUE(safeBinSettled(*state));
    return state;
}

// The same with walks held by the given controller.
inline MapServices heldServices(HeldWalks& walks) {
    MapServices services = testServices();
    services.makeWalk = [&walks](const QString& rootPath) { return walks.make(rootPath); };
    return services;
}

// Records the fields an AppState reports as changed, in order.
class FieldLog {
public:
    explicit FieldLog(AppState& state) {
        QObject::connect(&state, &AppState::changed, &context_, [this](AppState::Field field) { fields.push_back(field); });
    }
    std::vector<AppState::Field> fields;
    size_t count(AppState::Field field) const { return std::count(fields.begin(), fields.end(), field); }

private:
    QObject context_;
};

// Records the paths an AppState asks to preview.
class PreviewLog {
public:
    explicit PreviewLog(AppState& state) {
        QObject::connect(&state, &AppState::previewRequested, &context_,
                         [this](const QString& path) { paths.append(path); });
    }
    QStringList paths;

private:
    QObject context_;
};

// The child of a node with the given name, or null.
inline ScanNodePtr childNamed(const ScanNodePtr& node, const QString& name) {
    if (!node) return nullptr;
    for (const ScanNodePtr& child : node->children) {
        if (child->name == name) return child;
    }
    return nullptr;
}

}  // namespace test

}  // namespace tarnwick
