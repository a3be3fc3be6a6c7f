#include "views/cleanup/CleanupView.h"

namespace tarnwick {

namespace {

FindingsScreen::Spec junkSpec() {
    FindingsScreen::Spec spec;
    spec.title = QStringLiteral("Junk Cleanup");
    spec.emptySymbol = QStringLiteral("sparkles");
    spec.emptyDescription = QStringLiteral(
        "Run Junk Cleanup to find caches, Xcode junk, node_modules, Docker, AI models & duplicates.");
    spec.emptyButton = QStringLiteral("Start Junk Scan");
    spec.listField = AppState::Field::cleanupItems;
    spec.scanningField = AppState::Field::isCleanupScanning;
    spec.labelField = AppState::Field::cleanupProgressLabel;
    spec.isScanning = [](const AppState& state) { return state.isCleanupScanning(); };
    spec.progressLabel = [](const AppState& state) { return state.cleanupProgressLabel(); };
    spec.statusText = [](const AppState& state) { return state.cleanupStatusText(); };
    spec.selectedBytes = [](const AppState& state) { return state.cleanupSelectedBytes(); };
    spec.isEmpty = [](const AppState& state) { return state.cleanupItems().isEmpty(); };
    spec.groups = [](const AppState& state) { return CleanupView::groups(state.cleanupItems()); };
    spec.scan = [](AppState& state) { state.runCleanupScan(); };
    spec.clean = [](AppState& state) { state.cleanSelectedToSafeBin(); };
    spec.toggle = [](AppState& state, const QUuid& id) { state.toggleCleanupItem(id); };
    return spec;
}

}  // namespace

CleanupView::CleanupView(AppState& state, QWidget* parent) : FindingsScreen(state, junkSpec(), parent) {
    setObjectName(QStringLiteral("CleanupView"));
}

std::vector<FindingsScreen::Group> CleanupView::groups(const QList<CleanupItem>& items) {
    std::vector<Group> result;
    for (CleanupCategory category : allCleanupCategories()) {
        Group group{icon(category), rawValue(category), blurb(category), {}};
        for (const CleanupItem& item : items) {
            if (item.category != category) continue;
            group.rows.append(FindingRow::Content{item.id, item.title, item.rowDetail(), item.path, item.size,
                                                  item.isSelected, item.isSafeDefault});
        }
        if (!group.rows.isEmpty()) result.push_back(std::move(group));
    }
    return result;
}

}  // namespace tarnwick
