#include "app/MainWindow.h"
#include "app/TarnwickApp.h"
#include "state/AppState.h"
#include "views/shell/AppShell.h"
#include "views/map/CollectorTrayView.h"
#include "views/map/ContentsSidebarView.h"
#include "views/shell/DetailArea.h"
#include "views/map/KeyCatcher.h"
#include "views/map/MapView.h"
#include "views/map/MapScreenView.h"
#include "views/map/ScanningView.h"
#include "views/map/SpaceMapView.h"
#include "views/map/VolumeChooserView.h"

#include "design/TaldoDangerButton.h"
#include "design/TaldoGhostButton.h"

#include "views/map/MapViewsTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFileInfo>

using namespace tarnwick;

namespace {

int rowNamed(const ContentsSidebarView& sidebar, const QString& name) {
    for (int i = 0; i < sidebar.rowCount(); ++i) {
        if (sidebar.nodes()[size_t(i)]->name == name) return i;
    }
    return -1;
}

// True when some point of the node's drawn area hits the node.
bool drawsNode(MapView& view, const ScanNodePtr& node) {
    const QRect bounds = view.itemBounds(node);
    for (int y = bounds.top(); y <= bounds.bottom(); y += 3) {
        for (int x = bounds.left(); x <= bounds.right(); x += 3) {
            if (view.nodeAt(QPointF(x, y)) == node) return true;
        }
    }
    return false;
}

SpaceMapView* spaceMap(TarnwickApp& app) {
    return qobject_cast<SpaceMapView*>(app.mainWindow().shell()->detailArea()->currentScreen());
}

}  // namespace

// Choose a folder, see it mapped, drill in, collect a file with the Delete
// key, let the countdown move it into the Safe Bin and rescan, then find the
// scan restored at the next start.
TEST(SpaceMapFlow, ScanCollectDeleteAndRestore) {
    test::FakeEnvironment environment;
    const QString projects = test::makeDir(environment.home() + "/Projects");
    test::writeFile(projects + "/big.bin", QByteArray(400'000, 'a'));
    const QString doomed = test::writeFile(projects + "/Sub/inner.bin", QByteArray(300'000, 'b'));
    test::writeFile(projects + "/Sub/keep.bin", QByteArray(280'000, 'c'));

    MapServices services = MapServices::production();
    services.listVolumes = [] { return std::vector<VolumeInfo>{}; };
    services.enrichStartupVolume = [](const ScanNodePtr& root, const QString&) { return root; };
    VolumeChooserView::setFolderPicker([projects](QWidget*) { return projects; });
    {
        TarnwickApp app(services);
        app.start();
        AppState& state = app.state();
        state.setCountdownInterval(20);
        state.openSection(AppSection::map);
        SpaceMapView* space = spaceMap(app);
        ASSERT_TRUE(space);
        ASSERT_TRUE(space->isShowingChooser());  // nothing scanned yet

        space->chooser()->chooseFolderButton()->click();
        EXPECT_TRUE(qobject_cast<ScanningView*>(app.mainWindow().shell()->detailArea()->currentScreen()));
        ASSERT_TRUE(test::waitUntil([&] { return state.screen() == AppState::Screen::idle && state.rootNode(); }));
        ASSERT_EQ(spaceMap(app), space);
        EXPECT_FALSE(space->isShowingChooser());
        MapScreenView& screen = *space->mapScreen();
        EXPECT_EQ(state.rootNode()->name, QStringLiteral("Projects"));

        // Drawn four ways: each rendering shows the new tree and finds its largest child.
        for (MapStyle style : allMapStyles()) {
            state.setMapStyle(style);
            test::spin(5);
            MapView* view = screen.rendering();
            ASSERT_TRUE(view);
            EXPECT_EQ(view->root(), state.rootNode());
            const ScanNodePtr largest = state.rootNode()->children.front();
            EXPECT_TRUE(drawsNode(*view, largest)) << rawValue(style).toStdString();
        }

        ContentsSidebarView& sidebar = *screen.sidebar();
        sidebar.clickRow(rowNamed(sidebar, "Sub"));
        ASSERT_EQ(state.focusNode()->name, QStringLiteral("Sub"));
        sidebar.clickRow(rowNamed(sidebar, "inner.bin"));
        ASSERT_TRUE(state.hoveredNode());
        test::pressKey(screen.keyCatcher(), Qt::Key_Delete);
        ASSERT_EQ(state.collector().size(), 1);
        EXPECT_EQ(state.collector()[0].path, doomed);

        const ScanNodePtr before = state.rootNode();
        screen.tray()->deleteButton()->click();
        EXPECT_EQ(screen.tray()->cancelButton()->text(), QStringLiteral("Cancel (5)"));
        ASSERT_TRUE(test::waitUntil([&] {
            return !state.isDeleting() && state.screen() == AppState::Screen::idle && state.rootNode() != before;
        }));
        EXPECT_FALSE(QFileInfo::exists(doomed));
        ASSERT_EQ(state.safeBinItems().size(), 1u);
        EXPECT_EQ(state.safeBinItems()[0].originalPath, doomed);
        EXPECT_TRUE(state.collector().isEmpty());
        const ScanNodePtr sub = test::childNamed(state.rootNode(), "Sub");
        ASSERT_TRUE(sub);
        EXPECT_FALSE(test::childNamed(sub, "inner.bin"));
        EXPECT_TRUE(test::childNamed(sub, "keep.bin"));
        EXPECT_FALSE(space->isShowingChooser());
    }  // the state waits for the cache to be written

    TarnwickApp next(services);
    next.start();
    ASSERT_TRUE(test::waitUntil([&] { return !next.state().isRestoringCache(); }));
    EXPECT_TRUE(next.state().hasCachedScan());
    next.state().openSection(AppSection::map);
    SpaceMapView* space = spaceMap(next);
    ASSERT_TRUE(space);
    EXPECT_FALSE(space->isShowingChooser());
    EXPECT_EQ(next.state().rootNode()->path(), projects);
    EXPECT_FALSE(test::childNamed(test::childNamed(next.state().rootNode(), "Sub"), "inner.bin"));
    VolumeChooserView::setFolderPicker({});
}
