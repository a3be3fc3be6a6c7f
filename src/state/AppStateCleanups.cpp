// The cleanup modules of AppState, Junk and Clutter: their entries in the one
// module-scan and clean-to-Safe-Bin pattern, and their actions.

#include "state/AppState.h"

#include "services/store/MemoryBudget.h"

#include <algorithm>
#include <utility>

namespace tarnwick {

// ---- Junk ----

const AppState::ModuleScan<CleanupItem>& AppState::junkScan() {
    static const ModuleScan<CleanupItem> scan{
        .slot = &AppState::cleanupTask_,
        .scanning = &AppState::isCleanupScanning_,
        .label = &AppState::cleanupProgressLabel_,
        .list = &AppState::cleanupItems_,
        .startLabel = QStringLiteral("Starting Junk Cleanup\u2026"),
        .finder = &ModuleServices::cleanupScan,
        .budget = &MemoryBudget::trimCleanup,
        .finalLabel = QStringLiteral("Done"),
    };
    return scan;
}

const AppState::ModuleClean<CleanupItem>& AppState::junkClean() {
    static const ModuleClean<CleanupItem> clean{
        .list = &AppState::cleanupItems_,
        .targets = [](const CleanupItem& item) {
            return QList<SafeBinMover::Target>{{item.path, item.scope, item.seen}};
        },
        .kind = QStringLiteral("Junk"),
        .summary = [](qsizetype count) {
            return QStringLiteral("Moved ") + QString::number(count) + QStringLiteral(" junk items to Safe Bin");
        },
    };
    return clean;
}

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

// ---- Clutter ----

const AppState::ModuleScan<ClutterItem>& AppState::clutterScan() {
    static const ModuleScan<ClutterItem> scan{
        .slot = &AppState::clutterTask_,
        .scanning = &AppState::isClutterScanning_,
        .label = &AppState::clutterProgressLabel_,
        .list = &AppState::clutterItems_,
        .startLabel = QStringLiteral("Starting Clutter scan\u2026"),
        .finder = &ModuleServices::clutterScan,
        .budget = &MemoryBudget::trimClutter,
        .finalLabel = QStringLiteral("Done"),
    };
    return scan;
}

const AppState::ModuleClean<ClutterItem>& AppState::clutterClean() {
    static const ModuleClean<ClutterItem> clean{
        .list = &AppState::clutterItems_,
        .targets = [](const ClutterItem& item) {
            QList<SafeBinMover::Target> targets{{item.path, {}, item.seen}};
            appendCompanions(targets, item.companionPaths, item.companionsSeen);
            return targets;
        },
        .kind = QStringLiteral("Clutter"),
        .summary = [](qsizetype count) {
            return QStringLiteral("Cleaned ") + QString::number(count) + QStringLiteral(" clutter items");
        },
    };
    return clean;
}

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

}  // namespace tarnwick
