#include "views/cleanup/ClutterView.h"

namespace tarnwick {

namespace {

using Kind = ClutterItem::Kind;

struct KindCard {
    Kind kind;
    const char* symbol;
    const char* description;
};

// One card per kind, in the kinds' order; the title is the kind's own.
constexpr KindCard kCards[] = {
    {Kind::duplicates, "doc.on.doc", "Same-size files with matching content fingerprint"},
    {Kind::similarImages, "photo.on.rectangle.angled", "Near-duplicate photos by perceptual hash"},
    {Kind::downloads, "arrow.down.circle", "Installers & archives older than 30 days"},
    {Kind::largeOld, "shippingbox", "Files over 100 MB not touched in 180+ days"},
    {Kind::screenshots, "camera.viewfinder", "Desktop / Pictures screenshots older than 14 days"},
    {Kind::trash, "trash", "Items sitting in Trash that still use disk"},
    {Kind::mailDownloads, "envelope", "Attachments Mail saved under Downloads"},
};

FindingsScreen::Spec clutterSpec() {
    FindingsScreen::Spec spec;
    spec.title = QStringLiteral("Clutter");
    spec.emptySymbol = QStringLiteral("square.stack.3d.up");
    spec.emptyDescription = QStringLiteral("Find duplicates, old installers, screenshots, Trash, and Mail downloads.");
    spec.emptyButton = QStringLiteral("Scan Clutter");
    spec.listField = AppState::Field::clutterItems;
    spec.scanningField = AppState::Field::isClutterScanning;
    spec.labelField = AppState::Field::clutterProgressLabel;
    spec.isScanning = [](const AppState& state) { return state.isClutterScanning(); };
    spec.progressLabel = [](const AppState& state) { return state.clutterProgressLabel(); };
    spec.statusText = [](const AppState& state) { return state.clutterStatusText(); };
    spec.selectedBytes = [](const AppState& state) { return state.clutterSelectedBytes(); };
    spec.isEmpty = [](const AppState& state) { return state.clutterItems().isEmpty(); };
    spec.groups = [](const AppState& state) { return ClutterView::groups(state.clutterItems()); };
    spec.scan = [](AppState& state) { state.runClutterScan(); };
    spec.clean = [](AppState& state) { state.cleanSelectedClutter(); };
    spec.toggle = [](AppState& state, const QUuid& id) { state.toggleClutterItem(id); };
    return spec;
}

}  // namespace

ClutterView::ClutterView(AppState& state, QWidget* parent) : FindingsScreen(state, clutterSpec(), parent) {
    setObjectName(QStringLiteral("ClutterView"));
}

std::vector<FindingsScreen::Group> ClutterView::groups(const QList<ClutterItem>& items) {
    std::vector<Group> result;
    for (const KindCard& card : kCards) {
        Group group{QString::fromUtf8(card.symbol), rawValue(card.kind), QString::fromUtf8(card.description), {}};
        for (const ClutterItem& item : items) {
            if (item.kind != card.kind) continue;
            group.rows.append(FindingRow::Content{item.id, item.title, item.rowDetail(), item.path, item.size,
                                                  item.isSelected, item.isSafeDefault});
        }
        if (!group.rows.isEmpty()) result.push_back(std::move(group));
    }
    return result;
}

}  // namespace tarnwick
