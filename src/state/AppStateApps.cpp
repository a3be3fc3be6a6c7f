// The apps modules of AppState, installed apps and update candidates: their
// entries in the one module-scan and clean-to-Safe-Bin pattern, uninstall,
// reset and the updates.

#include "state/AppState.h"

#include "platform/FileEntry.h"
#include "services/cleanup/AppUninstallerService.h"
#include "services/cleanup/AppUpdaterService.h"
#include "services/cleanup/FlatpakTool.h"
#include "services/store/ActivityService.h"
#include "services/store/MemoryBudget.h"
#include "support/FileError.h"
#include "support/Saturating.h"

#include <algorithm>
#include <utility>

namespace tarnwick {

const AppState::ModuleScan<InstalledApp>& AppState::appsScan() {
    static const ModuleScan<InstalledApp> scan{
        .slot = &AppState::appsTask_,
        .scanning = &AppState::isAppsScanning_,
        .label = &AppState::appsProgressLabel_,
        .list = &AppState::installedApps_,
        .startLabel = QStringLiteral("Starting App Uninstaller\u2026"),
        .finder = &ModuleServices::appsScan,
        .budget = &MemoryBudget::trimApps,
        .finalLabel = QStringLiteral("Done"),
    };
    return scan;
}

const AppState::ModuleScan<AppUpdateItem>& AppState::updatesScan() {
    static const ModuleScan<AppUpdateItem> scan{
        .slot = &AppState::updatesTask_,
        .scanning = &AppState::isUpdatesScanning_,
        .label = &AppState::updatesProgressLabel_,
        .list = &AppState::appUpdates_,
        .startLabel = QStringLiteral("Checking for updates\u2026"),
        .finder = &ModuleServices::updatesScan,
        .budget = nullptr,
        .finalLabel = std::nullopt,
    };
    return scan;
}

// An uninstall moves the bundle (or the AppImage with its desktop entries)
// first, then its leftovers. A Flatpak app moves only its data: flatpak then
// removes the app itself, which its remote gives back. Nothing of it moves
// while flatpak cannot run, and its data goes back when the uninstall fails.
const AppState::ModuleClean<InstalledApp>& AppState::appsClean() {
    using Kind = InstalledApp::Kind;
    static const ModuleClean<InstalledApp> clean{
        .list = &AppState::installedApps_,
        .targets = [](const InstalledApp& app) {
            QList<SafeBinMover::Target> targets;
            if (app.kind == Kind::bundle || app.kind == Kind::appImage) targets.append({app.path, {}});
            if (app.kind == Kind::appImage) {
                for (const QString& entry : app.desktopEntries) targets.append({entry, {}});
            }
            for (const QString& path : AppUninstallerService::resetPaths(app)) targets.append({path, {}});
            return targets;
        },
        .kind = QStringLiteral("Apps"),
        .summary = [](qsizetype count) {
            return QStringLiteral("Uninstalled ") + QString::number(count) + QStringLiteral(" apps");
        },
        .items = [](const InstalledApp& app) {
            return 1 + app.leftovers.size() + (app.kind == Kind::appImage ? app.desktopEntries.size() : 0);
        },
        .refusal = [](const InstalledApp& app) -> std::optional<QString> {
            if (app.kind == Kind::systemFlatpak) {
                return FileError::quoted(app.name) + QStringLiteral(" belongs to a system installation of Flatpak: "
                                                                    "removing it needs administrator rights, which "
                                                                    "Tarnwick never asks for.");
            }
            // What the uninstall needs, before any of the app's data moves.
            if (app.kind == Kind::flatpak) return FlatpakTool::whyUninstallCannotRun(app.bundleId.value_or(QString()), app.name);
            return std::nullopt;
        },
        .afterMove = [](const InstalledApp& app) -> std::optional<QString> {
            if (app.kind != Kind::flatpak) return std::nullopt;
            return FlatpakTool::uninstall(app.bundleId.value_or(QString()), app.name);
        },
    };
    return clean;
}

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

}  // namespace tarnwick
