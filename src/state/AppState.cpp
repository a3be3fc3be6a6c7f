#include "state/AppState.h"

#include "platform/Environment.h"
#include "services/care/ScheduleService.h"
#include "services/store/ActivityService.h"
#include "services/health/MaintenanceService.h"
#include "services/store/RevealService.h"
#include "services/safebin/SafeBinService.h"
#include "services/scan/ScanProgressRelay.h"
#include "services/store/TrashService.h"
#include "state/MemoryGovernor.h"
#include "support/PathRules.h"
#include "support/RelativeDateFormatter.h"
#include "support/Saturating.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <QSet>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <thread>
#include <utility>

namespace tarnwick {

namespace {

const QString kUnnamedStartupVolume = QStringLiteral("Computer");
const QString kDataVolumePath = QStringLiteral("/System/Volumes/Data");
constexpr int kCountdownStart = 5;
// A released tree is freed once nothing else holds it (a screen that has not
// redrawn yet, a cache save still writing it): checked this often, this long.
constexpr int kReleaseCheckMs = 50;
constexpr int kReleaseChecks = 1200;

QString quotedName(const QString& name) {
    return QStringLiteral("\u201C") + name + QStringLiteral("\u201D");
}

bool isBelow(const QString& path, const QString& folder) {
    return path.startsWith(folder + QLatin1Char('/'));
}

}  // namespace

AppState::AppState(MapServices services, ModuleServices modules, QObject* parent)
    : QObject(parent), services_(std::move(services)), modules_(std::move(modules)) {
    maintenanceTasks_.set(MaintenanceService::allTasks());
    scanPool_.setMaxThreadCount(4);
    savePool_.setMaxThreadCount(1);
    releasePool_.setMaxThreadCount(1);
    modulePool_.setMaxThreadCount(8);
    safeBinPool_.setMaxThreadCount(1);
}

AppState::~AppState() {
    stopCountdownTimer();
    cancelScanJob();
    stopping_->store(true);
    stopModuleScans();
    maintenanceStop_.request_stop();  // a running tool is killed rather than waited for
    scanPool_.waitForDone();
    savePool_.waitForDone();
    modulePool_.waitForDone();
    safeBinPool_.waitForDone();
    releasePool_.waitForDone();
    // The running time since the last tick counts too (this stores the clock
    // and nothing else). Only after a start: the tick has been keeping it.
    if (scheduleTimer_) SafeBinService::keepTime(-1, FileLock::Wait::no);
}

void AppState::start() {
    {
        const auto settings = Environment::current().settings();
        scheduleEnabled_.set(ScheduleService::isEnabled(*settings));
        scheduleHour_.set(ScheduleService::hour(*settings));
    }
    refreshVolumes();
    restoreCachedScanInBackground();
    // What a crash or kill during a move left behind is settled first, on
    // the Safe Bin's one worker thread, ahead of the reload queued after it.
    runSafeBinJob(false, [] {
        SafeBinService::settle();
        return SafeBinApply();
    });
    reloadSafeBin();
    activityEvents_.set(ActivityService::list(kActivityLimit));
    section_.set(AppSection::home);
    screen_.set(Screen::idle);
    startScheduleTimer();
}

// ---- Fields the screens write ----

void AppState::setFocusNode(ScanNodePtr node) {
    focusNode_.set(std::move(node));
}

void AppState::setHoveredNode(ScanNodePtr node) {
    hoveredNode_.set(std::move(node));
}

void AppState::setAnalysisTab(AnalysisTab tab) {
    analysisTab_.set(tab);
}

void AppState::setMapStyle(MapStyle style) {
    mapStyle_.set(style);
}

void AppState::setSearchQuery(const QString& query) {
    searchQuery_.set(query);
}

void AppState::clearErrorMessage() {
    errorMessage_.set(std::nullopt);
}

void AppState::setShowAbout(bool shown) {
    showAbout_.set(shown);
}

// ---- Navigation ----

void AppState::waitForCacheSaves() {
    savePool_.waitForDone();
}

void AppState::restoreCachedScanInBackground() {
    const quint64 generation = ++cacheLoadGeneration_;
    const quint64 scanGeneration = lastScanGeneration_;
    restoringCache_ = true;
    // Runs on the save thread: it reads nothing of this object and hands the
    // result back through a queued call, which is dropped if the state is gone.
    QPointer<AppState> self(this);
    savePool_.start([this, self, load = services_.loadCache, generation, scanGeneration] {
        std::optional<CachedScan> cached = load ? load() : std::nullopt;
        QMetaObject::invokeMethod(
            this,
            [self, generation, scanGeneration, cached = std::move(cached)]() mutable {
                if (self) self->finishCacheRestore(generation, scanGeneration, std::move(cached));
            },
            Qt::QueuedConnection);
    });
}

void AppState::finishCacheRestore(quint64 generation, quint64 scanGeneration, std::optional<CachedScan> cached) {
    if (generation != cacheLoadGeneration_) return;
    restoringCache_ = false;
    // A scan started since owns the tree and the root now, finished or not.
    if (scanGeneration == lastScanGeneration_) publishCachedScan(std::move(cached), false);
    emit cacheRestoreFinished();
}

void AppState::loadCachedScan(bool openMap) {
    ++cacheLoadGeneration_;
    restoringCache_ = false;
    publishCachedScan(services_.loadCache ? services_.loadCache() : std::nullopt, openMap);
}

void AppState::publishCachedScan(std::optional<CachedScan> cached, bool openMap) {
    if (!cached || !cached->root) {
        hasCachedScan_.set(false);
        return;
    }
    ScanNodePtr previous = rootNode();
    scanRootPath_.set(cached->rootPath);
    scanRootName_.set(cached->rootName);
    lastScanDate_.set(cached->scannedAt);
    mapRootName_ = cached->rootName;
    rootNode_.set(cached->root);
    focusNode_.set(cached->root);
    insights_.set(std::move(cached->insights));
    hoveredNode_.set(nullptr);
    hasCachedScan_.set(true);
    analysisTab_.set(AnalysisTab::map);
    if (openMap) {
        section_.set(AppSection::map);
        screen_.set(Screen::idle);
    }
    if (previous != rootNode()) releaseTree(std::move(previous));
}

void AppState::openSection(AppSection section) {
    section_.set(section);
    if (screen() == Screen::scanning) return;
    screen_.set(Screen::idle);
    MemoryGovernor::purgeInactive(*this, section);
    switch (section) {
    case AppSection::insights:
        if (analysisTab() == AnalysisTab::map) analysisTab_.set(AnalysisTab::largest);
        break;
    case AppSection::safeBin:
        reloadSafeBin();
        break;
    case AppSection::activity:
        activityEvents_.set(ActivityService::list(kActivityLimit));
        break;
    case AppSection::cleanup:
        if (cleanupItems().isEmpty() && !isCleanupScanning()) runCleanupScan();
        break;
    case AppSection::performance:
        if (performanceItems().isEmpty() && !isPerformanceScanning()) runPerformanceScan();
        break;
    case AppSection::apps:
        if (installedApps().isEmpty() && !isAppsScanning()) runAppsScan();
        break;
    case AppSection::clutter:
        if (clutterItems().isEmpty() && !isClutterScanning()) runClutterScan();
        break;
    case AppSection::protection:
        // A scan already running is not restarted: the screen, shown right
        // after, applies the same rule, so a first visit scans once.
        if (protectionFindings().isEmpty() && !isProtectionScanning()) runProtectionScan();
        if (privacyItems().isEmpty() && !isPrivacyScanning()) runPrivacyScan();
        break;
    default:
        // Home, the map and the sections without a scan start nothing.
        break;
    }
}

void AppState::refreshVolumes() {
    if (!services_.listVolumes) {
        volumes_.set({});
        return;
    }
    if (volumeReadRunning_) {
        volumeReadAgain_ = true;
        return;
    }
    volumeReadRunning_ = true;
    volumeReadAgain_ = false;
    // A thread of its own that nothing waits for: a mount that never answers
    // holds neither the window nor quitting. The list comes back through the
    // application's queue and is dropped if the state is gone by then.
    std::thread([self = QPointer<AppState>(this), list = services_.listVolumes] {
        std::vector<VolumeInfo> volumes = list();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, volumes = std::move(volumes)]() mutable {
                if (!self) return;
                self->volumeReadRunning_ = false;
                self->volumes_.set(std::move(volumes));
                if (self->volumeReadAgain_) self->refreshVolumes();
            },
            Qt::QueuedConnection);
    }).detach();
}

void AppState::reloadActivity() {
    activityEvents_.set(ActivityService::list(kActivityLimit));
}

std::optional<QString> AppState::lastScanSummary() const {
    // The tree on screen and when it was scanned, not a scan under way or cancelled.
    if (!hasCachedScan() || !lastScanDate() || !rootNode()) return std::nullopt;
    return mapRootName_ + QStringLiteral(" \u00B7 ") +
           RelativeDateFormatter::shortPhrase(*lastScanDate(), Environment::current().now());
}

std::vector<ScanNodePtr> AppState::filteredSidebarNodes() const {
    const ScanNodePtr& focus = focusNode();
    if (!focus) return {};
    const QString query = searchQuery().trimmed();
    if (query.isEmpty()) return focus->children;
    std::vector<ScanNodePtr> matches;
    for (const ScanNodePtr& child : focus->children) {
        if (child->name.contains(query, Qt::CaseInsensitive)) matches.push_back(child);
    }
    return matches;
}

// ---- Map scan ----

void AppState::startScan(const QString& path, const std::optional<QString>& name) {
    cancelDelete();
    cancelScanJob();

    const bool startupVolume = isStartupVolumePath(path);
    QString rootPath = path;
    QString rootName;
    if (startupVolume) {
        if (QFileInfo(Environment::current().systemPath(kDataVolumePath)).isDir()) rootPath = kDataVolumePath;
        // Named after the root file system whatever name came along: the
        // volume list calls an unlabelled root "/", and older caches a name
        // of another platform.
        rootName = startupVolumeName();
    } else {
        rootName = name ? *name : PathRules::lastPathComponent(path);
        if (rootName.isEmpty()) rootName = startupVolumeName();
    }

    scanRootPath_.set(rootPath);
    scanRootName_.set(rootName);
    progress_.set(ScanProgress{0, 0, rootPath});
    errorMessage_.set(std::nullopt);
    collector_.set({});
    searchQuery_.set(QString());
    analysisTab_.set(AnalysisTab::map);
    section_.set(AppSection::map);
    screen_.set(Screen::scanning);

    const quint64 generation = ++lastScanGeneration_;
    MapServices::Walk walk = services_.makeWalk(rootPath);
    auto cancelled = std::make_shared<std::atomic_bool>(false);
    // The relay lives on this thread; the walk may drop the last reference, so
    // it is deleted through the event loop.
    std::shared_ptr<ScanProgressRelay> relay(new ScanProgressRelay(),
                                             [](ScanProgressRelay* r) { r->deleteLater(); });
    connect(relay.get(), &ScanProgressRelay::progressed, this,
            [this, generation](const ScanProgress& progress) { publishProgress(generation, progress); });
    scanJob_ = ScanJob{generation, cancelled, walk.cancel, relay};

    // Runs on a scanner thread: it reads nothing of this object but the
    // copies taken here, and hands everything back through queued calls.
    QPointer<AppState> self(this);
    auto enrich = startupVolume ? services_.enrichStartupVolume : nullptr;
    auto trim = services_.returnFreedMemory;
    scanPool_.start([this, self, generation, walk, enrich, trim, cancelled, relay, rootPath, rootName] {
        if (cancelled->load()) return;
        MapServices::WalkOutcome outcome = walk.run(relay->callback());
        // A cancelled walk's tree is freed here, and its memory handed back.
        const auto dropped = [&outcome, &trim] {
            const bool hadTree = outcome.root != nullptr;
            outcome.root.reset();
            if (hadTree && trim) trim();
        };
        if (cancelled->load()) return dropped();
        relay->finish(ScanProgress{outcome.scannedFiles, outcome.scannedBytes, rootPath});
        if (enrich && outcome.root) outcome.root = enrich(outcome.root, rootName);
        if (cancelled->load()) return dropped();
        ScanNodePtr root = std::move(outcome.root);
        QMetaObject::invokeMethod(
            this,
            [self, generation, rootPath, rootName, root = std::move(root), insights = std::move(outcome.insights)] {
                if (self) self->finishScan(generation, rootPath, rootName, root, insights);
            },
            Qt::QueuedConnection);
    });
}

void AppState::rescan() {
    if (scanRootPath().isEmpty()) return;
    startScan(scanRootPath(), scanRootName());
}

void AppState::cancelScan() {
    cancelScanJob();
    screen_.set(Screen::idle);
    section_.set(rootNode() ? AppSection::map : AppSection::home);
}

void AppState::cancelScanJob() {
    if (!scanJob_) return;
    scanJob_->cancelled->store(true);
    if (scanJob_->cancelWalk) scanJob_->cancelWalk();
    scanJob_.reset();
}

void AppState::publishProgress(quint64 generation, const ScanProgress& progress) {
    if (!scanJob_ || scanJob_->generation != generation) return;
    progress_.set(progress);
}

void AppState::finishScan(quint64 generation, const QString& rootPath, const QString& rootName,
                          const ScanNodePtr& root, const ScanInsights& insights) {
    if (!scanJob_ || scanJob_->generation != generation) {
        releaseTree(root);  // a newer scan took over; nothing shows this tree
        return;
    }
    scanJob_.reset();
    ScanNodePtr previous = rootNode();
    mapRootName_ = rootName;
    rootNode_.set(root);
    focusNode_.set(root);
    hoveredNode_.set(nullptr);
    insights_.set(insights);
    lastScanDate_.set(Environment::current().now());
    hasCachedScan_.set(true);
    screen_.set(Screen::idle);
    section_.set(AppSection::map);
    if (services_.saveCache && root) {
        savePool_.start([save = services_.saveCache, rootPath, rootName, root, insights] {
            save(rootPath, rootName, root, insights);
        });
    }
    if (previous != root) releaseTree(std::move(previous));
}

bool AppState::isStartupVolumePath(const QString& path) const {
    if (path == QLatin1String("/") || path == kDataVolumePath) return true;
    return std::any_of(volumes().begin(), volumes().end(), [&path](const VolumeInfo& volume) {
        return volume.isRoot && (volume.scanPath == path || volume.path == path);
    });
}

QString AppState::startupVolumeName() const {
    const QString name = services_.startupVolumeName ? services_.startupVolumeName().trimmed() : QString();
    return name.isEmpty() ? kUnnamedStartupVolume : name;
}

void AppState::releaseTree(ScanNodePtr tree) {
    if (!tree) return;
    // Freeing millions of nodes takes a while and leaves the memory with the
    // allocator: both happen here, off the UI thread, once this is the last
    // holder (or the wait is over), and the memory goes back to the system.
    releasePool_.start([tree = std::move(tree), trim = services_.returnFreedMemory, stopping = stopping_]() mutable {
        for (int i = 0; i < kReleaseChecks && tree.use_count() > 1 && !stopping->load(); ++i) {
            QThread::msleep(kReleaseCheckMs);
        }
        tree.reset();
        if (trim) trim();
    });
}

void AppState::drill(const ScanNodePtr& node) {
    if (!node || (node->kind != NodeKind::dir && node->kind != NodeKind::smallGroup)) return;
    if (node->children.empty()) {
        errorMessage_.set(quotedName(node->name) +
                          QStringLiteral(" is aggregated for performance. Use Insights \u2192 Largest / Oldest, "
                                         "or scan that folder directly."));
        return;
    }
    focusNode_.set(node);
    hoveredNode_.set(nullptr);
    searchQuery_.set(QString());
    analysisTab_.set(AnalysisTab::map);
    section_.set(AppSection::map);
}

void AppState::navigateUp() {
    const ScanNodePtr parent = focusNode() ? focusNode()->parent() : nullptr;
    if (!parent) {
        openSection(AppSection::home);
        return;
    }
    focusNode_.set(parent);
    hoveredNode_.set(nullptr);
    searchQuery_.set(QString());
}

// ---- Collector ----

void AppState::showCollectorRefusal(const QString& name) {
    errorMessage_.set(QStringLiteral("Protected path \u2014 cannot collect ") + quotedName(name) + QLatin1Char('.'));
}

void AppState::addToCollector(const ScanNodePtr& node) {
    if (!node) return;
    if (!node->isCollectable()) {
        // A node that stands for several items (or for space that is no item
        // at all) has no one path that could be moved.
        errorMessage_.set(quotedName(node->name) +
                          QStringLiteral(" stands for several items and cannot be collected. "
                                         "Drill into its folder or use Insights to pick files."));
        return;
    }
    if (!TrashService::canCollect(node->path())) {
        showCollectorRefusal(node->name);
        return;
    }
    QList<CollectorItem> items = collector();
    for (const CollectorItem& item : items) {
        if (item.path == node->path()) return;
    }
    items.removeIf([&](const CollectorItem& item) { return isBelow(item.path, node->path()); });
    for (const CollectorItem& item : items) {
        if (isBelow(node->path(), item.path)) return;
    }
    items.append(CollectorItem::fromNode(*node));
    collector_.set(std::move(items));
}

void AppState::addFileToCollector(const FileRecord& record) {
    if (!TrashService::canCollect(record.path)) {
        showCollectorRefusal(record.name);
        return;
    }
    for (const CollectorItem& item : collector()) {
        // Already collected, itself or inside a collected folder.
        if (item.path == record.path || isBelow(record.path, item.path)) return;
    }
    QList<CollectorItem> items = collector();
    items.append(CollectorItem::fromRecord(record));
    collector_.set(std::move(items));
}

void AppState::removeFromCollector(const CollectorItem& item) {
    QList<CollectorItem> items = collector();
    items.removeIf([&](const CollectorItem& collected) { return collected.id == item.id; });
    collector_.set(std::move(items));
}

qint64 AppState::collectorTotal() const {
    Saturating::Total total;
    for (const CollectorItem& item : collector()) total.add(item.size);
    return total.value();
}

void AppState::previewHoveredOrFocus() {
    const ScanNodePtr& node = hoveredNode() ? hoveredNode() : focusNode();
    if (node) emit previewRequested(node->path());
}

// ---- Desktop ----

void AppState::revealInFileManager(const QString& path) {
    QPointer<AppState> self(this);
    RevealService::reveal(path, [self](const QString& message) {
        if (self) self->errorMessage_.set(message);
    });
}

void AppState::openURL(const QUrl& url) {
    QPointer<AppState> self(this);
    RevealService::open(url, [self](const QString& message) {
        if (self) self->errorMessage_.set(message);
    });
}

// ---- Delete countdown ----

void AppState::setCountdownInterval(int milliseconds) {
    countdownIntervalMs_ = std::max(1, milliseconds);
}

void AppState::beginDelete() {
    // Not while the items of an earlier delete (or a clean) are still moving.
    if (collector().isEmpty() || isDeleting() || isSafeBinBusy()) return;
    stopCountdownTimer();
    deleteSnapshot_ = collector();
    isDeleting_.set(true);
    deleteCountdown_.set(kCountdownStart);

    const quint64 generation = ++deleteGeneration_;
    auto* timer = new QTimer(this);
    timer->setInterval(countdownIntervalMs_);
    connect(timer, &QTimer::timeout, this, [this, generation] { onCountdownTick(generation); });
    deleteTimer_ = timer;
    timer->start();
}

void AppState::cancelDelete() {
    ++deleteGeneration_;
    stopCountdownTimer();
    deleteSnapshot_.clear();
    isDeleting_.set(false);
    deleteCountdown_.set(0);
}

void AppState::stopCountdownTimer() {
    if (!deleteTimer_) return;
    deleteTimer_->stop();
    deleteTimer_->deleteLater();  // may be inside its own timeout
    deleteTimer_.clear();
}

void AppState::onCountdownTick(quint64 generation) {
    if (generation != deleteGeneration_ || !isDeleting()) return;
    if (deleteCountdown() > 1) {
        deleteCountdown_.set(deleteCountdown() - 1);
        return;
    }
    performDelete();
}

void AppState::performDelete() {
    ++deleteGeneration_;
    stopCountdownTimer();
    // What the user saw when the countdown began, less what they took out since.
    QStringList paths;
    QSet<QString> snapshotPaths;
    for (const CollectorItem& item : std::as_const(deleteSnapshot_)) {
        const bool stillCollected = std::any_of(collector().begin(), collector().end(), [&](const CollectorItem& c) {
            return c.id == item.id && c.path == item.path;
        });
        if (stillCollected) {
            paths.append(item.path);
            snapshotPaths.insert(item.path);
        }
    }
    deleteSnapshot_.clear();
    isDeleting_.set(false);
    deleteCountdown_.set(0);

    // The moves may copy across file systems: they run on the Safe Bin thread.
    runSafeBinJob(true, [this, paths, snapshotPaths]() -> SafeBinApply {
        SafeBinMoveResult result = SafeBinService::moveToSafeBin(paths);
        SafeBinUpdate safeBin = purgedSafeBinList();
        return [result = std::move(result), snapshotPaths, safeBin = std::move(safeBin)](AppState& state) mutable {
            state.finishDelete(result, snapshotPaths, std::move(safeBin));
        };
    });
}

void AppState::finishDelete(const SafeBinMoveResult& result, const QSet<QString>& snapshotPaths,
                            SafeBinUpdate safeBin) {
    // Moved, or already gone from the disk: all but what stayed.
    QSet<QString> gone = snapshotPaths;
    for (const QString& path : result.stayed) gone.remove(path);
    QList<CollectorItem> remaining = collector();
    remaining.removeIf([&](const CollectorItem& item) { return gone.contains(item.path); });
    collector_.set(remaining);
    publishSafeBin(std::move(safeBin));
    // What went is no finding of any module any more.
    QStringList moved;
    for (const SafeBinEntry& entry : result.moved) moved.append(entry.originalPath);
    dropGoneFromLists(moved);

    if (!result.error) {
        if (!scanRootPath().isEmpty()) startScan(scanRootPath(), scanRootName());
        return;
    }
    // Part of the items moved: the tree no longer matches the disk, so scan
    // again, keeping collected what is still there for another try.
    if (!result.moved.empty() && !scanRootPath().isEmpty()) {
        startScan(scanRootPath(), scanRootName());
        collector_.set(remaining);
    }
    errorMessage_.set(result.error->description);
}

}  // namespace tarnwick
