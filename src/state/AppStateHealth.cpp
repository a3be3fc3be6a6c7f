// The health modules of AppState, Performance (with the maintenance commands)
// and Protection (threats and privacy residue): their entries in the one
// module-scan and clean-to-Safe-Bin pattern, and their actions.

#include "state/AppState.h"

#include "services/health/BrowserActivity.h"
#include "services/health/MaintenanceService.h"
#include "services/health/PerformanceService.h"
#include "services/store/MemoryBudget.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace tarnwick {

// ---- Performance ----

const AppState::ModuleScan<PerformanceItem>& AppState::performanceScan() {
    static const ModuleScan<PerformanceItem> scan{
        .slot = &AppState::performanceTask_,
        .scanning = &AppState::isPerformanceScanning_,
        .label = &AppState::performanceProgressLabel_,
        .list = &AppState::performanceItems_,
        .startLabel = QStringLiteral("Starting Performance scan\u2026"),
        .finder = &ModuleServices::performanceScan,
        .budget = &MemoryBudget::trimPerformance,
        .finalLabel = QStringLiteral("Done"),
        .current = &AppState::withDisablesSincePerformanceScan,
    };
    return scan;
}

void AppState::runPerformanceScan() {
    performanceScanFrom_ = disablesDone_;
    runModuleScan(performanceScan());
    forgetSettledDisables();
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
    // Keyed by the file, not the row: every scan lists the file under a new
    // id. Copied, as the item may be a row of the list the marking replaces.
    const QString path = *item.path;
    const QString title = item.title;
    if (disablingPaths_.contains(path)) return;  // one run at a time
    disablingPaths_.insert(path);
    setPerformanceDisabling(path, true);
    // systemctl may take its whole time limit: the window goes on meanwhile.
    QPointer<AppState> self(this);
    modulePool_.start([this, self, path, title, stop = maintenanceStop_.get_token()] {
        const PerformanceService::DisableResult result = PerformanceService::disableAgent(path, stop, title);
        if (stop.stop_requested()) return;  // the state is going away
        QMetaObject::invokeMethod(
            this,
            [self, path, result] {
                if (self) self->finishDisable(path, result.disabled, result.text);
            },
            Qt::QueuedConnection);
    });
}

void AppState::finishDisable(const QString& path, bool disabled, const QString& text) {
    disablingPaths_.remove(path);
    if (!disabled) {
        setPerformanceDisabling(path, false);
        errorMessage_.set(text);
        return;
    }
    disabledPaths_.insert(path, ++disablesDone_);
    forgetSettledDisables();
    QList<PerformanceItem> kept = performanceItems();
    if (kept.removeIf([&](const PerformanceItem& listed) { return listed.path == path; }) > 0) {
        performanceItems_.set(std::move(kept));
    }
    logActivity(QStringLiteral("Performance"), text);
}

void AppState::setPerformanceDisabling(const QString& path, bool disabling) {
    QList<PerformanceItem> items = performanceItems();
    bool changed = false;
    for (PerformanceItem& item : items) {
        if (item.path != path || item.isDisabling == disabling) continue;
        item.isDisabling = disabling;
        changed = true;
    }
    if (changed) performanceItems_.set(std::move(items));
}

QList<PerformanceItem> AppState::withPerformanceDisables(QList<PerformanceItem> items, quint64 scannedFrom) const {
    if (disablingPaths_.isEmpty() && disabledPaths_.isEmpty()) return items;
    items.removeIf([&](const PerformanceItem& item) {
        return item.path && disabledPaths_.value(*item.path, 0) > scannedFrom;
    });
    for (PerformanceItem& item : items) item.isDisabling = item.path && disablingPaths_.contains(*item.path);
    return items;
}

QList<PerformanceItem> AppState::withDisablesSincePerformanceScan(QList<PerformanceItem> found) const {
    return withPerformanceDisables(std::move(found), performanceScanFrom_);
}

void AppState::forgetSettledDisables() {
    quint64 oldest = disablesDone_;
    if (isPerformanceScanning()) oldest = std::min(oldest, performanceScanFrom_);
    if (isVidurAdedRunning()) oldest = std::min(oldest, vidurAdedFrom_);
    for (auto it = disabledPaths_.begin(); it != disabledPaths_.end();) {
        it = it.value() <= oldest ? disabledPaths_.erase(it) : std::next(it);
    }
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

// ---- Protection ----

const AppState::ModuleScan<ProtectionFinding>& AppState::protectionScan() {
    static const ModuleScan<ProtectionFinding> scan{
        .slot = &AppState::protectionTask_,
        .scanning = &AppState::isProtectionScanning_,
        .label = &AppState::protectionProgressLabel_,
        .list = &AppState::protectionFindings_,
        .startLabel = QStringLiteral("Scanning threats\u2026"),
        .finder = &ModuleServices::protectionScan,
        .budget = &MemoryBudget::trimProtection,
        .finalLabel = std::nullopt,
    };
    return scan;
}

const AppState::ModuleScan<PrivacyItem>& AppState::privacyScan() {
    static const ModuleScan<PrivacyItem> scan{
        .slot = &AppState::privacyTask_,
        .scanning = &AppState::isPrivacyScanning_,
        .label = &AppState::privacyProgressLabel_,
        .list = &AppState::privacyItems_,
        .startLabel = QStringLiteral("Scanning privacy residue\u2026"),
        .finder = &ModuleServices::privacyScan,
        .budget = &MemoryBudget::trimPrivacy,
        .finalLabel = std::nullopt,
    };
    return scan;
}

const AppState::ModuleClean<ProtectionFinding>& AppState::protectionClean() {
    static const ModuleClean<ProtectionFinding> clean{
        .list = &AppState::protectionFindings_,
        .targets = [](const ProtectionFinding& finding) { return QList<SafeBinMover::Target>{{finding.path, {}}}; },
        .kind = QStringLiteral("Protection"),
        .summary = [](qsizetype count) {
            return QStringLiteral("Quarantined ") + QString::number(count) + QStringLiteral(" threat items");
        },
    };
    return clean;
}

const AppState::ModuleClean<PrivacyItem>& AppState::privacyClean() {
    static const ModuleClean<PrivacyItem> clean{
        .list = &AppState::privacyItems_,
        .targets = [](const PrivacyItem& item) {
            QList<SafeBinMover::Target> targets{{item.path, item.scope, item.seen}};
            appendCompanions(targets, item.companionPaths, item.companionsSeen);
            return targets;
        },
        .kind = QStringLiteral("Privacy"),
        .summary = [](qsizetype count) {
            return QStringLiteral("Cleared ") + QString::number(count) + QStringLiteral(" privacy items");
        },
        .refusal = &BrowserActivity::refusal,
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
