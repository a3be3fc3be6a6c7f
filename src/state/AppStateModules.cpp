// The module actions of AppState: one scan pattern and one clean-to-Safe-Bin
// pattern, each module a constant of values, and the Safe Bin actions with
// the one thread every move into or out of the Safe Bin runs on.

#include "state/AppState.h"

#include "platform/FileEntry.h"
#include "services/cleanup/AppUninstallerService.h"
#include "services/cleanup/AppUpdaterService.h"
#include "services/cleanup/FlatpakTool.h"
#include "services/health/BrowserActivity.h"
#include "services/health/MaintenanceService.h"
#include "services/health/PerformanceService.h"
#include "services/store/ActivityService.h"
#include "services/store/MemoryBudget.h"
#include "state/LabelRelay.h"
#include "support/ByteCountFormatter.h"
#include "support/FileError.h"
#include "support/PathRules.h"
#include "support/Saturating.h"

#include <QMetaObject>

#include <algorithm>
#include <utility>

namespace tarnwick {

namespace {

constexpr qsizetype kActivityLimit = 100;

// True when path or one of its ancestors is in the set.
bool isSameOrBelowAny(const QString& path, const QSet<QString>& set) {
    QString current = path;
    while (!current.isEmpty()) {
        if (set.contains(current)) return true;
        if (current == QLatin1String("/")) break;
        current = PathRules::deletingLastPathComponent(current);
    }
    return false;
}

}  // namespace

// ---- The module table ----

const AppState::ModuleScan<CleanupItem>& AppState::junkScan() {
    static const ModuleScan<CleanupItem> scan{
        &AppState::cleanupTask_,
        &AppState::isCleanupScanning_,
        &AppState::cleanupProgressLabel_,
        &AppState::cleanupItems_,
        QStringLiteral("Starting Junk Cleanup\u2026"),
        &ModuleServices::cleanupScan,
        &MemoryBudget::trimCleanup,
        QStringLiteral("Done"),
    };
    return scan;
}

const AppState::ModuleClean<CleanupItem>& AppState::junkClean() {
    static const ModuleClean<CleanupItem> clean{
        &AppState::cleanupItems_,
        [](const CleanupItem& item) { return QList<SafeBinMover::Target>{{item.path, item.scope}}; },
        [](const CleanupItem& item) { return item.size; },
        QStringLiteral("Junk"),
        [](qsizetype count) {
            return QStringLiteral("Moved ") + QString::number(count) + QStringLiteral(" junk items to Safe Bin");
        },
    };
    return clean;
}

const AppState::ModuleScan<PerformanceItem>& AppState::performanceScan() {
    static const ModuleScan<PerformanceItem> scan{
        &AppState::performanceTask_,
        &AppState::isPerformanceScanning_,
        &AppState::performanceProgressLabel_,
        &AppState::performanceItems_,
        QStringLiteral("Starting Performance scan\u2026"),
        &ModuleServices::performanceScan,
        &MemoryBudget::trimPerformance,
        QStringLiteral("Done"),
    };
    return scan;
}

// ---- The apps and updates modules ----

const AppState::ModuleScan<InstalledApp>& AppState::appsScan() {
    static const ModuleScan<InstalledApp> scan{
        &AppState::appsTask_,
        &AppState::isAppsScanning_,
        &AppState::appsProgressLabel_,
        &AppState::installedApps_,
        QStringLiteral("Starting App Uninstaller\u2026"),
        &ModuleServices::appsScan,
        &MemoryBudget::trimApps,
        QStringLiteral("Done"),
    };
    return scan;
}

const AppState::ModuleScan<AppUpdateItem>& AppState::updatesScan() {
    static const ModuleScan<AppUpdateItem> scan{
        &AppState::updatesTask_,
        &AppState::isUpdatesScanning_,
        &AppState::updatesProgressLabel_,
        &AppState::appUpdates_,
        QStringLiteral("Checking for updates\u2026"),
        &ModuleServices::updatesScan,
        nullptr,
        std::nullopt,
    };
    return scan;
}

// An uninstall moves the bundle (or the AppImage with its desktop entries)
// first, then its leftovers. A Flatpak app moves only its data: flatpak then
// removes the app itself, which its remote gives back.
const AppState::ModuleClean<InstalledApp>& AppState::appsClean() {
    using Kind = InstalledApp::Kind;
    static const ModuleClean<InstalledApp> clean{
        &AppState::installedApps_,
        [](const InstalledApp& app) {
            QList<SafeBinMover::Target> targets;
            if (app.kind == Kind::bundle || app.kind == Kind::appImage) targets.append({app.path, {}});
            if (app.kind == Kind::appImage) {
                for (const QString& entry : app.desktopEntries) targets.append({entry, {}});
            }
            for (const QString& path : AppUninstallerService::resetPaths(app)) targets.append({path, {}});
            return targets;
        },
        [](const InstalledApp& app) { return Saturating::add(app.size, app.leftoversBytes()); },
        QStringLiteral("Apps"),
        [](qsizetype count) { return QStringLiteral("Uninstalled ") + QString::number(count) + QStringLiteral(" apps"); },
        [](const InstalledApp& app) {
            return 1 + app.leftovers.size() + (app.kind == Kind::appImage ? app.desktopEntries.size() : 0);
        },
        [](const InstalledApp& app) -> std::optional<QString> {
            if (app.kind != Kind::systemFlatpak) return std::nullopt;
            return FileError::quoted(app.name) + QStringLiteral(" belongs to a system installation of Flatpak: "
                                                                "removing it needs administrator rights, which "
                                                                "Tarnwick never asks for.");
        },
        [](const InstalledApp& app) -> std::optional<QString> {
            if (app.kind != Kind::flatpak || !app.bundleId) return std::nullopt;
            return FlatpakTool::uninstall(*app.bundleId, app.name);
        },
    };
    return clean;
}

const AppState::ModuleScan<ClutterItem>& AppState::clutterScan() {
    static const ModuleScan<ClutterItem> scan{
        &AppState::clutterTask_,
        &AppState::isClutterScanning_,
        &AppState::clutterProgressLabel_,
        &AppState::clutterItems_,
        QStringLiteral("Starting Clutter scan\u2026"),
        &ModuleServices::clutterScan,
        &MemoryBudget::trimClutter,
        QStringLiteral("Done"),
    };
    return scan;
}

const AppState::ModuleClean<ClutterItem>& AppState::clutterClean() {
    static const ModuleClean<ClutterItem> clean{
        &AppState::clutterItems_,
        [](const ClutterItem& item) { return QList<SafeBinMover::Target>{{item.path}}; },
        [](const ClutterItem& item) { return item.size; },
        QStringLiteral("Clutter"),
        [](qsizetype count) {
            return QStringLiteral("Cleaned ") + QString::number(count) + QStringLiteral(" clutter items");
        },
    };
    return clean;
}

// ---- The module-scan pattern ----

template <class Item>
void AppState::runModuleScan(const ModuleScan<Item>& scan) {
    ModuleScanSlot& slot = this->*scan.slot;
    slot.stop.request_stop();  // the replaced scan ends early and publishes nothing
    slot.stop = std::stop_source();
    const quint64 generation = ++slot.generation;
    (this->*scan.scanning).set(true);
    (this->*scan.label).set(scan.startLabel);

    const ModuleScan<Item>* kind = &scan;
    QPointer<AppState> self(this);
    // Runs on the finder's thread; the labels reach this one newest last.
    const ModuleServices::Progress progress = LabelRelay::make(this, [self, kind, generation](const QString& label) {
        if (self && (self.data()->*kind->slot).generation == generation) (self.data()->*kind->label).set(label);
    });
    const ModuleServices::Finder<Item> finder = modules_.*scan.finder;
    modulePool_.start([this, self, kind, generation, finder, progress, stop = slot.stop.get_token()] {
        QList<Item> found = finder ? finder(progress, stop) : QList<Item>{};
        if (stop.stop_requested()) return;
        if (kind->budget) found = kind->budget(found);
        // Queued after every label this scan posted, so "Done" comes last.
        QMetaObject::invokeMethod(
            this,
            [self, kind, generation, found = std::move(found)]() mutable {
                if (self) self->finishModuleScan(*kind, generation, std::move(found));
            },
            Qt::QueuedConnection);
    });
}

template <class Item>
void AppState::finishModuleScan(const ModuleScan<Item>& scan, quint64 generation, QList<Item> found) {
    if ((this->*scan.slot).generation != generation) return;  // a newer scan owns the module now
    (this->*scan.list).set(std::move(found));
    (this->*scan.scanning).set(false);
    if (scan.finalLabel) (this->*scan.label).set(*scan.finalLabel);
}

void AppState::stopModuleScans() {
    for (ModuleScanSlot AppState::*slot : {&AppState::cleanupTask_, &AppState::appsTask_, &AppState::updatesTask_,
                                           &AppState::clutterTask_, &AppState::performanceTask_,
                                           &AppState::protectionTask_, &AppState::privacyTask_}) {
        (this->*slot).stop.request_stop();
        ++(this->*slot).generation;
    }
    vidurAdedTask_.stop.request_stop();
    ++vidurAdedTask_.generation;
}

// ---- Toggles and status texts ----

template <class Item>
void AppState::toggleItem(Published<QList<Item>> AppState::*list, const QUuid& id) {
    QList<Item> items = (this->*list).get();
    const auto found = std::find_if(items.begin(), items.end(), [&](const Item& item) { return item.id == id; });
    if (found == items.end()) return;
    found->isSelected = !found->isSelected;
    (this->*list).set(std::move(items));
}

template <class Item>
qint64 AppState::selectedBytes(const QList<Item>& items) {
    Saturating::Total total;
    QSet<QString> counted;
    for (const Item& item : items) {
        if (!item.isSelected) continue;
        const QString path = PathRules::standardizingPath(item.path);
        if (counted.contains(path)) continue;
        counted.insert(path);
        total.add(item.size);
    }
    return total.value();
}

template <class Item>
QString AppState::findingsLine(const QList<Item>& items, qint64 bytes) {
    const auto selected = std::count_if(items.begin(), items.end(), [](const Item& item) { return item.isSelected; });
    return selectionLine(items.size(), QStringLiteral("findings"), selected, bytes);
}

QString AppState::statusText(bool scanning, const QString& label, bool empty, const QString& emptySentence,
                             const std::function<QString()>& countLine) {
    if (scanning) return label;
    if (empty) return emptySentence;
    return countLine();
}

QString AppState::selectionLine(qsizetype count, const QString& noun, qsizetype selected, qint64 bytes) {
    return QString::number(count) + QLatin1Char(' ') + noun + QStringLiteral(" \u00B7 ") + QString::number(selected) +
           QStringLiteral(" selected \u00B7 ") + ByteCountFormatter::fileStyle(bytes);
}

// ---- The clean-to-Safe-Bin pattern ----

template <class Item>
void AppState::cleanSelected(const ModuleClean<Item>& clean) {
    std::vector<QList<SafeBinMover::Target>> targets;
    QList<Item> selected;
    QList<QUuid> ids;
    QList<qint64> sizes;
    QList<qsizetype> items;
    for (const Item& item : (this->*clean.list).get()) {
        if (!item.isSelected) continue;
        targets.push_back(clean.targets(item));
        selected.append(item);
        ids.append(item.id);
        sizes.append(clean.bytes(item));
        items.append(clean.items ? clean.items(item) : 1);
    }
    if (ids.isEmpty()) return;

    const ModuleClean<Item>* kind = &clean;
    std::shared_ptr<CleanTally> tally = cleanTally_;
    runSafeBinJob(true, [this, kind, targets = std::move(targets), selected, ids, sizes, items, tally]() -> SafeBinApply {
        // A refused finding stays out of the move: not cleaned, nothing moved for it.
        std::vector<QList<SafeBinMover::Target>> moving;
        std::vector<qsizetype> movingIndex;
        QStringList refusals;
        for (qsizetype i = 0; i < ids.size(); ++i) {
            if (kind->refusal) {
                if (const std::optional<QString> reason = kind->refusal(selected[i])) {
                    if (!refusals.contains(*reason)) refusals.append(*reason);
                    continue;
                }
            }
            moving.push_back(targets[size_t(i)]);
            movingIndex.push_back(i);
        }
        SafeBinMover::Outcome outcome = SafeBinMover::move(moving);
        QSet<QUuid> cleaned;
        QSet<QUuid> kept;
        qsizetype movedCount = 0;
        qsizetype movedItems = 0;
        Saturating::Total movedBytes;
        for (size_t m = 0; m < movingIndex.size(); ++m) {
            const qsizetype i = movingIndex[m];
            SafeBinMover::FindingResult result = outcome.findings[m];
            // What is left to do once the finding's paths are gone; only then.
            if (result.cleaned && kind->afterMove) {
                if (const std::optional<QString> failure = kind->afterMove(selected[i])) {
                    result.cleaned = false;
                    kept.insert(ids[i]);
                    if (!refusals.contains(*failure)) refusals.append(*failure);
                } else {
                    result.moved = true;
                }
            }
            if (result.cleaned) cleaned.insert(ids[i]);
            if (!result.moved) continue;
            ++movedCount;
            movedItems += !kind->items ? 1 : result.cleaned ? items[i] : result.movedItems;
            movedBytes.add(result.cleaned ? sizes[i] : result.movedBytes);
        }
        if (tally) tally->add(movedCount, movedBytes.value());
        if (!refusals.isEmpty()) {
            if (outcome.error) refusals.append(*outcome.error);
            outcome.error = refusals.join(QLatin1Char(' '));
        }
        // The event counts what moved: nothing moved, nothing to record.
        std::optional<QList<ActivityEvent>> events;
        if (movedCount > 0) {
            ActivityService::log(kind->kind, kind->summary(movedCount), movedBytes.value(), int(movedItems));
            events = ActivityService::list(kActivityLimit);
        }
        SafeBinUpdate safeBin = purgedSafeBinList();
        return [kind, cleaned = std::move(cleaned), kept = std::move(kept), outcome = std::move(outcome),
                events = std::move(events), safeBin = std::move(safeBin)](AppState& state) mutable {
            state.finishClean(*kind, cleaned, outcome.movedPaths, kept);
            state.publishSafeBin(std::move(safeBin));
            if (events) state.activityEvents_.set(std::move(*events));
            if (outcome.error) state.errorMessage_.set(*outcome.error);
        };
    });
}

template <class Item>
void AppState::finishClean(const ModuleClean<Item>& clean, const QSet<QUuid>& cleaned, const QStringList& movedPaths,
                           const QSet<QUuid>& kept) {
    QSet<QString> moved;
    for (const QString& path : movedPaths) moved.insert(PathRules::standardizingPath(path));
    // A finding leaves when it was cleaned, and also when everything it names
    // went with what moved (the same path found twice, or a path inside a
    // moved folder), selected or not, and whether or not a scan replaced the
    // list meanwhile.
    auto gone = [&](const Item& item) {
        if (cleaned.contains(item.id)) return true;
        if (kept.contains(item.id)) return false;
        const QList<SafeBinMover::Target> targets = clean.targets(item);
        return !targets.isEmpty() && std::all_of(targets.begin(), targets.end(), [&](const SafeBinMover::Target& t) {
            return !t.scope.contentsOnly && isSameOrBelowAny(PathRules::standardizingPath(t.path), moved);
        });
    };
    QList<Item> items = (this->*clean.list).get();
    if (items.removeIf(gone) > 0) (this->*clean.list).set(std::move(items));
}

// ---- Safe Bin ----

void AppState::runSafeBinJob(bool busy, std::function<SafeBinApply()> work) {
    ++safeBinJobs_;
    if (busy && ++busySafeBinJobs_ == 1) isSafeBinBusy_.set(true);
    QPointer<AppState> self(this);
    safeBinPool_.start([this, self, busy, work = std::move(work)] {
        SafeBinApply apply = work();
        QMetaObject::invokeMethod(
            this,
            [self, busy, apply = std::move(apply)] {
                if (!self) return;
                if (apply) apply(*self);
                --self->safeBinJobs_;
                if (busy && --self->busySafeBinJobs_ == 0) self->isSafeBinBusy_.set(false);
            },
            Qt::QueuedConnection);
    });
}

AppState::SafeBinUpdate AppState::purgedSafeBinList() {
    SafeBinService::purgeExpired(SafeBinService::kExpiryDays);
    auto list = std::make_shared<const std::vector<SafeBinEntry>>(SafeBinService::list());
    SafeBinChange change = SafeBinChange::between(*safeBinRead_, *list);
    if (change.isEmpty()) {
        // The list as it was: the one handed over before stands.
        change.version = safeBinReadVersion_;
        return {safeBinRead_, std::move(change)};
    }
    change.version = ++safeBinReadVersion_;
    safeBinRead_ = list;
    return {std::move(list), std::move(change)};
}

void AppState::publishSafeBin(SafeBinUpdate update) {
    const quint64 version = update.change.version;
    if (update.change.isEmpty() && version == safeBinChange_.version) return;
    if (version != safeBinChange_.version + 1) {
        // Not the list after the one shown: no row-by-row account.
        update.change = SafeBinChange();
        update.change.version = version;
        update.change.whole = true;
    }
    SafeBinList previous = std::exchange(safeBin_, std::move(update.list));
    safeBinChange_ = std::move(update.change);
    emit changed(Field::safeBinItems);
    // A long list takes a while to free: not on this thread.
    releasePool_.start([previous = std::move(previous)]() mutable { previous.reset(); });
}

void AppState::reloadSafeBin() {
    runSafeBinJob(false, [this] {
        return SafeBinApply([safeBin = purgedSafeBinList()](AppState& state) mutable {
            state.publishSafeBin(std::move(safeBin));
        });
    });
}

void AppState::restoreSafeBin(const SafeBinEntry& entry) {
    runSafeBinEntryJob(entry, &SafeBinService::restore);
}

void AppState::destroySafeBin(const SafeBinEntry& entry) {
    runSafeBinEntryJob(entry, &SafeBinService::destroy);
}

void AppState::runSafeBinEntryJob(const SafeBinEntry& entry,
                                  std::optional<FileError> (*action)(const SafeBinEntry& entry)) {
    runSafeBinJob(true, [this, entry, action]() -> SafeBinApply {
        if (const std::optional<FileError> error = action(entry)) {
            return [message = error->description](AppState& state) { state.errorMessage_.set(message); };
        }
        return [safeBin = purgedSafeBinList()](AppState& state) mutable { state.publishSafeBin(std::move(safeBin)); };
    });
}

// ---- Junk ----

void AppState::runCleanupScan() {
    runModuleScan(junkScan());
}

qint64 AppState::cleanupSelectedBytes() const {
    return selectedBytes(cleanupItems());
}

QString AppState::cleanupStatusText() const {
    return statusText(isCleanupScanning(), cleanupProgressLabel(), cleanupItems().isEmpty(),
                      QStringLiteral("Find caches, leftovers, duplicates & developer junk \u2014 review before "
                                     "anything moves."),
                      [this] { return findingsLine(cleanupItems(), cleanupSelectedBytes()); });
}

void AppState::toggleCleanupItem(const QUuid& id) {
    toggleItem(&AppState::cleanupItems_, id);
}

void AppState::cleanSelectedToSafeBin() {
    cleanSelected(junkClean());
}

// ---- Performance ----

void AppState::runPerformanceScan() {
    runModuleScan(performanceScan());
}

QString AppState::performanceStatusText() const {
    return statusText(isPerformanceScanning(), performanceProgressLabel(), performanceItems().isEmpty(),
                      QStringLiteral("Heavy processes, login items, and services."), [this] {
                          const auto processes =
                              std::count_if(performanceItems().begin(), performanceItems().end(),
                                            [](const PerformanceItem& i) { return i.kind == PerformanceItem::Kind::process; });
                          return QString::number(processes) + QStringLiteral(" processes \u00B7 ") +
                                 QString::number(performanceItems().size() - processes) +
                                 QStringLiteral(" login/services");
                      });
}

void AppState::quitPerformanceProcess(qint32 pid) {
    using Outcome = PerformanceService::QuitOutcome;
    const QList<PerformanceItem>& items = performanceItems();
    const auto listed = std::find_if(items.begin(), items.end(), [pid](const PerformanceItem& item) {
        return item.pid == pid && item.identity.has_value();
    });
    // Without the identity captured when it was listed, nothing tells the
    // process from a later one with the same pid: it is not signalled.
    const Outcome outcome =
        listed == items.end() ? Outcome::refused : PerformanceService::quitProcess(pid, *listed->identity);
    if (outcome == Outcome::requested || outcome == Outcome::noLongerRunning) {
        QList<PerformanceItem> kept = items;
        if (kept.removeIf([pid](const PerformanceItem& item) { return item.pid == pid; }) > 0) {
            performanceItems_.set(std::move(kept));
        }
    }
    if (outcome == Outcome::requested) {
        logActivity(QStringLiteral("Performance"), QStringLiteral("Quit PID ") + QString::number(pid));
    } else {
        errorMessage_.set(PerformanceService::quitFailureText(pid, outcome));
    }
}

void AppState::disablePerformanceItem(const PerformanceItem& item) {
    if (!item.path) return;
    const PerformanceService::DisableResult result = PerformanceService::disableAgent(*item.path);
    if (!result.disabled) {
        errorMessage_.set(result.text);
        return;
    }
    QList<PerformanceItem> kept = performanceItems();
    if (kept.removeIf([&](const PerformanceItem& listed) { return listed.id == item.id; }) > 0) {
        performanceItems_.set(std::move(kept));
    }
    logActivity(QStringLiteral("Performance"), result.text);
}

void AppState::runMaintenance(MaintenanceTask::Kind kind) {
    QList<MaintenanceTask> tasks = maintenanceTasks();
    const auto task =
        std::find_if(tasks.begin(), tasks.end(), [kind](const MaintenanceTask& t) { return t.kind == kind; });
    if (task == tasks.end() || task->isRunning) return;
    task->isRunning = true;
    maintenanceTasks_.set(std::move(tasks));
    QPointer<AppState> self(this);
    modulePool_.start([this, self, kind, stop = maintenanceStop_.get_token()] {
        const QString result = MaintenanceService::run(kind, MaintenanceService::kTimeLimit, stop);
        if (stop.stop_requested()) return;  // the state is going away
        QMetaObject::invokeMethod(
            this, [self, kind, result] { if (self) self->finishMaintenance(kind, result); }, Qt::QueuedConnection);
    });
}

void AppState::finishMaintenance(MaintenanceTask::Kind kind, const QString& result) {
    QList<MaintenanceTask> tasks = maintenanceTasks();
    const auto task =
        std::find_if(tasks.begin(), tasks.end(), [kind](const MaintenanceTask& t) { return t.kind == kind; });
    if (task == tasks.end()) return;
    task->lastResult = result;
    task->isRunning = false;
    maintenanceTasks_.set(std::move(tasks));
    // The event keeps the first 80 characters, never half of one.
    qsizetype cut = std::min<qsizetype>(result.size(), 80);
    if (cut < result.size() && result.at(cut - 1).isHighSurrogate()) --cut;
    logActivity(QStringLiteral("Maintenance"), rawValue(kind) + QStringLiteral(": ") + result.left(cut));
}

void AppState::logActivity(const QString& kind, const QString& summary) {
    runSafeBinJob(false, [kind, summary]() -> SafeBinApply {
        ActivityService::log(kind, summary, 0, 1);
        return [events = ActivityService::list(kActivityLimit)](AppState& state) { state.activityEvents_.set(events); };
    });
}

// ---- Apps and updates ----

void AppState::runAppsScan() {
    runModuleScan(appsScan());
}

void AppState::runUpdatesScan() {
    runModuleScan(updatesScan());
}

qint64 AppState::appsSelectedBytes() const {
    Saturating::Total total;
    for (const InstalledApp& app : installedApps()) {
        if (app.isSelected) total.add(Saturating::add(app.size, app.leftoversBytes()));
    }
    return total.value();
}

QString AppState::appsStatusText() const {
    return statusText(isAppsScanning(), appsProgressLabel(), installedApps().isEmpty(),
                      QStringLiteral("Scan your Flatpak apps and AppImages and find the leftovers each app leaves "
                                     "behind."),
                      [this] {
                          const auto ticked = std::count_if(installedApps().begin(), installedApps().end(),
                                                            [](const InstalledApp& app) { return app.isSelected; });
                          return selectionLine(installedApps().size(), QStringLiteral("apps"), ticked,
                                               appsSelectedBytes());
                      });
}

QString AppState::updatesStatusText() const {
    return statusText(isUpdatesScanning(), updatesProgressLabel(), appUpdates().isEmpty(),
                      QStringLiteral("Newer AppImages in Downloads, Flatpak updates, and Homebrew."), [this] {
                          return QString::number(appUpdates().size()) + QStringLiteral(" update candidates");
                      });
}

void AppState::toggleInstalledApp(const QUuid& id) {
    toggleItem(&AppState::installedApps_, id);
}

void AppState::uninstallSelectedApps() {
    cleanSelected(appsClean());
}

void AppState::resetApp(const InstalledApp& app) {
    const QStringList paths = AppUninstallerService::resetPaths(app);
    if (paths.isEmpty()) return;
    QList<SafeBinMover::Target> targets;
    for (const QString& path : paths) targets.append({path, {}});
    runSafeBinJob(true, [this, app, targets]() -> SafeBinApply {
        SafeBinMover::Outcome outcome = SafeBinMover::move({targets});
        const SafeBinMover::FindingResult& result = outcome.findings.front();
        std::optional<QList<ActivityEvent>> events;
        if (result.moved) {
            const qint64 bytes = result.cleaned ? app.leftoversBytes() : result.movedBytes;
            const qsizetype items = result.cleaned ? app.leftovers.size() : result.movedItems;
            ActivityService::log(QStringLiteral("Apps"), QStringLiteral("Reset ") + app.name + QStringLiteral(" leftovers"),
                                 bytes, int(items));
            events = ActivityService::list(kActivityLimit);
        }
        // What is still in place stays listed: a leftover that could not move.
        QList<InstalledApp::Leftover> remaining;
        for (const InstalledApp::Leftover& leftover : app.leftovers) {
            if (FileEntry::at(leftover.path)) remaining.append(leftover);
        }
        SafeBinUpdate safeBin = purgedSafeBinList();
        return [id = app.id, remaining = std::move(remaining), error = std::move(outcome.error),
                events = std::move(events), safeBin = std::move(safeBin)](AppState& state) mutable {
            QList<InstalledApp> apps = state.installedApps();
            const auto found = std::find_if(apps.begin(), apps.end(), [&](const InstalledApp& a) { return a.id == id; });
            if (found != apps.end()) {
                found->leftovers = std::move(remaining);
                state.installedApps_.set(std::move(apps));
            }
            state.publishSafeBin(std::move(safeBin));
            if (events) state.activityEvents_.set(std::move(*events));
            if (error) state.errorMessage_.set(*error);
        };
    });
}

void AppState::openUpdateCandidate(const AppUpdateItem& item) {
    if (item.userFlatpakId) {
        updateFlatpakCandidate(item);
        return;
    }
    QPointer<AppState> self(this);
    AppUpdaterService::openInstaller(item, [self](const QString& message) {
        if (self) self->errorMessage_.set(message);
    });
}

void AppState::updateFlatpakCandidate(const AppUpdateItem& item) {
    const auto listed = std::find_if(appUpdates().begin(), appUpdates().end(),
                                     [&](const AppUpdateItem& candidate) { return candidate.id == item.id; });
    if (listed != appUpdates().end() && listed->isUpdating) return;  // one run at a time
    setCandidateUpdating(item.id, true);
    QPointer<AppState> self(this);
    modulePool_.start([this, self, item, stop = maintenanceStop_.get_token()] {
        const std::optional<QString> failure =
            FlatpakTool::update(*item.userFlatpakId, item.name, FlatpakTool::kUpdateTimeout, stop);
        if (stop.stop_requested()) return;  // the state is going away
        QMetaObject::invokeMethod(
            this,
            [self, item, failure] {
                if (!self) return;
                if (failure) {
                    self->setCandidateUpdating(item.id, false);
                    self->errorMessage_.set(*failure);
                    return;
                }
                QList<AppUpdateItem> kept = self->appUpdates();
                if (kept.removeIf([&](const AppUpdateItem& candidate) { return candidate.id == item.id; }) > 0) {
                    self->appUpdates_.set(std::move(kept));
                }
                self->logActivity(QStringLiteral("Apps"), QStringLiteral("Updated ") + item.name);
            },
            Qt::QueuedConnection);
    });
}

void AppState::setCandidateUpdating(const QUuid& id, bool updating) {
    QList<AppUpdateItem> items = appUpdates();
    const auto found = std::find_if(items.begin(), items.end(), [&](const AppUpdateItem& i) { return i.id == id; });
    if (found == items.end() || found->isUpdating == updating) return;
    found->isUpdating = updating;
    appUpdates_.set(std::move(items));
}

// ---- Clutter ----

void AppState::runClutterScan() {
    runModuleScan(clutterScan());
}

qint64 AppState::clutterSelectedBytes() const {
    return selectedBytes(clutterItems());
}

QString AppState::clutterStatusText() const {
    return statusText(isClutterScanning(), clutterProgressLabel(), clutterItems().isEmpty(),
                      QStringLiteral("Duplicates, old downloads, screenshots, Trash & Mail downloads."),
                      [this] { return findingsLine(clutterItems(), clutterSelectedBytes()); });
}

void AppState::toggleClutterItem(const QUuid& id) {
    toggleItem(&AppState::clutterItems_, id);
}

void AppState::cleanSelectedClutter() {
    cleanSelected(clutterClean());
}

// ---- Protection ----

const AppState::ModuleScan<ProtectionFinding>& AppState::protectionScan() {
    static const ModuleScan<ProtectionFinding> scan{
        &AppState::protectionTask_,
        &AppState::isProtectionScanning_,
        &AppState::protectionProgressLabel_,
        &AppState::protectionFindings_,
        QStringLiteral("Scanning threats\u2026"),
        &ModuleServices::protectionScan,
        &MemoryBudget::trimProtection,
        std::nullopt,
    };
    return scan;
}

const AppState::ModuleScan<PrivacyItem>& AppState::privacyScan() {
    static const ModuleScan<PrivacyItem> scan{
        &AppState::privacyTask_,
        &AppState::isPrivacyScanning_,
        &AppState::privacyProgressLabel_,
        &AppState::privacyItems_,
        QStringLiteral("Scanning privacy residue\u2026"),
        &ModuleServices::privacyScan,
        &MemoryBudget::trimPrivacy,
        std::nullopt,
    };
    return scan;
}

const AppState::ModuleClean<ProtectionFinding>& AppState::protectionClean() {
    static const ModuleClean<ProtectionFinding> clean{
        &AppState::protectionFindings_,
        [](const ProtectionFinding& finding) { return QList<SafeBinMover::Target>{{finding.path, {}}}; },
        [](const ProtectionFinding&) { return qint64(0); },  // findings carry no size
        QStringLiteral("Protection"),
        [](qsizetype count) {
            return QStringLiteral("Quarantined ") + QString::number(count) + QStringLiteral(" threat items");
        },
    };
    return clean;
}

const AppState::ModuleClean<PrivacyItem>& AppState::privacyClean() {
    static const ModuleClean<PrivacyItem> clean{
        &AppState::privacyItems_,
        [](const PrivacyItem& item) {
            QList<SafeBinMover::Target> targets{{item.path, item.scope}};
            for (const QString& companion : item.companionPaths) targets.append({companion, {}});
            return targets;
        },
        [](const PrivacyItem& item) { return item.size; },
        QStringLiteral("Privacy"),
        [](qsizetype count) {
            return QStringLiteral("Cleared ") + QString::number(count) + QStringLiteral(" privacy items");
        },
        nullptr,
        &BrowserActivity::refusal,
    };
    return clean;
}

void AppState::runProtectionScan() {
    runModuleScan(protectionScan());
}

void AppState::runPrivacyScan() {
    runModuleScan(privacyScan());
}

QString AppState::protectionStatusText() const {
    if (isProtectionScanning()) return protectionProgressLabel();
    if (isPrivacyScanning()) return privacyProgressLabel();
    return QString::number(protectionFindings().size()) + QStringLiteral(" threat findings \u00B7 ") +
           QString::number(privacyItems().size()) + QStringLiteral(" privacy items");
}

void AppState::toggleProtection(const QUuid& id) {
    toggleItem(&AppState::protectionFindings_, id);
}

void AppState::togglePrivacy(const QUuid& id) {
    toggleItem(&AppState::privacyItems_, id);
}

void AppState::cleanSelectedProtection() {
    cleanSelected(protectionClean());
}

void AppState::cleanSelectedPrivacy() {
    cleanSelected(privacyClean());
}

}  // namespace tarnwick
