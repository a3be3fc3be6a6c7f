#include "views/map/MapScreenView.h"

#include "design/TaldoGhostButton.h"
#include "state/AppState.h"
#include "views/map/AnalysisTabBar.h"
#include "views/map/BreadcrumbBar.h"
#include "views/map/ContentsSidebarView.h"
#include "views/map/FileRecordsList.h"
#include "views/map/FileTypesView.h"
#include "views/map/KeyCatcher.h"
#include "views/map/MapView.h"
#include "views/common/PlainButton.h"
#include "views/common/SegmentedPicker.h"
#include "views/map/SpaceMapView.h"
#include "views/map/VolumeChooserView.h"

#include "MapViewsTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

#include <atomic>

#include <QLineEdit>
#include <QSet>

using namespace tarnwick;

namespace {

ScanInsights indexed(qint64 files) {
    ScanInsights insights;
    insights.fileCount = files;
    insights.totalFileBytes = 0;
    return insights;
}

// A map screen on a loaded demo tree, shown in its own window.
struct MapFixture {
    test::FakeEnvironment environment;
    test::DemoTree tree = test::makeDemoTree(environment.home() + "/Stuff");
    AppState state{test::servicesWithTree(tree.root, indexed(1234))};
    test::PreviewLog previews{state};
    std::unique_ptr<MapScreenView> screen;

    explicit MapFixture(bool loaded = true) {
        if (loaded) {
            EXPECT_TRUE(test::startAndRestore(state));
        }
        state.openSection(AppSection::map);
        screen = std::make_unique<MapScreenView>(state);
        screen->resize(1100, 700);
        screen->show();
        screen->activateWindow();
        test::spin(20);  // the key catcher takes the keyboard on the next turn
    }
    // Where a key press lands: the widget with the keyboard focus.
    QWidget* focused() const { return screen->window()->focusWidget(); }
};

}  // namespace

TEST(MapScreenKeys, SpacePreviewsDeleteCollectsAndTextFieldsKeepTheirKeys) {
    MapFixture f;
    ASSERT_EQ(f.focused(), f.screen->keyCatcher());

    // Space: the focused folder with nothing hovered, then the hovered node.
    EXPECT_TRUE(test::pressKey(f.focused(), Qt::Key_Space, Qt::NoModifier, " "));
    f.state.setHoveredNode(f.tree.notes);
    test::pressKey(f.focused(), Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_EQ(f.previews.paths, QStringList({f.tree.root->path(), f.tree.notes->path()}));

    // Any other key goes past the key catcher.
    EXPECT_FALSE(test::pressKey(f.screen->keyCatcher(), Qt::Key_A, Qt::NoModifier, "a"));

    // Delete collects the hovered node, never the focus.
    test::pressKey(f.focused(), Qt::Key_Delete);
    ASSERT_EQ(f.state.collector().size(), 1);
    EXPECT_EQ(f.state.collector()[0].path, f.tree.notes->path());
    f.state.setHoveredNode(nullptr);
    test::pressKey(f.focused(), Qt::Key_Delete);
    EXPECT_EQ(f.state.collector().size(), 1);
    f.state.setHoveredNode(f.tree.docs);
    test::pressKey(f.focused(), Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(f.state.collector().size(), 2);

    // With the filter field focused, Space and Delete edit the text.
    f.previews.paths.clear();
    f.screen->filterField()->setFocus();
    ASSERT_EQ(f.focused(), f.screen->filterField());
    test::pressKey(f.focused(), Qt::Key_M, Qt::NoModifier, "m");
    test::pressKey(f.focused(), Qt::Key_Space, Qt::NoModifier, " ");
    test::pressKey(f.focused(), Qt::Key_O, Qt::NoModifier, "o");
    EXPECT_EQ(f.screen->filterField()->text(), QStringLiteral("m o"));
    EXPECT_EQ(f.state.searchQuery(), QStringLiteral("m o"));
    f.screen->filterField()->setCursorPosition(0);
    test::pressKey(f.focused(), Qt::Key_Delete);
    EXPECT_EQ(f.screen->filterField()->text(), QStringLiteral(" o"));
    EXPECT_TRUE(f.previews.paths.isEmpty());
    EXPECT_EQ(f.state.collector().size(), 2);

    // A click on the contents list hands the keyboard back: Space previews again.
    QWidget* rows = f.screen->sidebar()->scrollArea()->widget();
    test::mouse(rows, QEvent::MouseButtonPress, QPoint(2, 2));
    EXPECT_EQ(f.focused(), f.screen->keyCatcher());
    test::pressKey(f.focused(), Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_EQ(f.previews.paths, QStringList({f.tree.docs->path()}));

    // On the Largest tab the space bar still previews the map's node.
    f.state.setAnalysisTab(AnalysisTab::largest);
    test::pressKey(f.focused(), Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_EQ(f.previews.paths.size(), 2);
    EXPECT_EQ(f.previews.paths.last(), f.tree.docs->path());
}

TEST(MapScreenKeys, NothingLoadedMeansNothingHappens) {
    MapFixture f(false);
    EXPECT_FALSE(f.screen->mapBody()->isVisible());
    EXPECT_TRUE(f.screen->breadcrumb()->elements().isEmpty());
    EXPECT_FALSE(f.screen->collectButton()->isEnabled());
    f.screen->quickLookButton()->click();
    test::pressKey(f.focused(), Qt::Key_Space, Qt::NoModifier, " ");
    test::pressKey(f.focused(), Qt::Key_Delete);
    EXPECT_TRUE(f.previews.paths.isEmpty());
    EXPECT_TRUE(f.state.collector().isEmpty());
    EXPECT_EQ(f.screen->tabBar()->indexedLabelText(), QString());
    EXPECT_TRUE(f.screen->largestList()->isShowingEmptyText());
}

TEST(MapScreen, BreadcrumbTabsHoverAndSelection) {
    MapFixture f;
    EXPECT_EQ(f.screen->tabBar()->indexedLabelText(), QStringLiteral("1234 files indexed"));
    // At the top: one element, no chevron.
    ASSERT_EQ(f.screen->breadcrumb()->elements().size(), 1);
    EXPECT_EQ(f.screen->breadcrumb()->chevronCount(), 0);
    EXPECT_EQ(f.screen->breadcrumb()->elements()[0]->text(), QStringLiteral("Stuff"));

    // The selection rule: a file only becomes hovered; a folder with children is drilled into.
    f.screen->select(f.tree.notes);
    EXPECT_EQ(f.state.hoveredNode(), f.tree.notes);
    EXPECT_EQ(f.state.focusNode(), f.tree.root);
    EXPECT_EQ(f.screen->toolbarHoverName(), QStringLiteral("notes.txt"));
    f.screen->select(f.tree.empty);  // a folder without children: hovered, no drill, no message
    EXPECT_EQ(f.state.hoveredNode(), f.tree.empty);
    EXPECT_FALSE(f.state.errorMessage().has_value());
    f.screen->select(f.tree.movies);
    EXPECT_EQ(f.state.focusNode(), f.tree.movies);
    EXPECT_EQ(f.screen->toolbarHoverName(), QString());
    ASSERT_EQ(f.screen->breadcrumb()->elements().size(), 2);
    EXPECT_EQ(f.screen->breadcrumb()->chevronCount(), 1);

    // Collect: the hovered node, else the focus.
    f.state.setHoveredNode(f.tree.aMov);
    f.screen->collectButton()->click();
    f.state.setHoveredNode(nullptr);
    f.screen->collectButton()->click();
    ASSERT_EQ(f.state.collector().size(), 1);  // Movies replaces a.mov inside it
    EXPECT_EQ(f.state.collector()[0].path, f.tree.movies->path());

    // A breadcrumb click from the Largest tab: that node, no hover, no filter, the map tab.
    f.state.setSearchQuery("b");
    f.state.setHoveredNode(f.tree.bMov);
    f.state.setAnalysisTab(AnalysisTab::largest);
    EXPECT_EQ(f.screen->currentTabContent(), f.screen->largestList());
    f.screen->breadcrumb()->elements()[0]->click();
    EXPECT_EQ(f.state.focusNode(), f.tree.root);
    EXPECT_EQ(f.state.hoveredNode(), nullptr);
    EXPECT_EQ(f.state.searchQuery(), QString());
    EXPECT_EQ(f.screen->filterField()->text(), QString());
    EXPECT_EQ(f.state.analysisTab(), AnalysisTab::map);

    // Tabs and the style picker write the shared fields.
    f.screen->tabBar()->button(AnalysisTab::types)->click();
    EXPECT_EQ(f.state.analysisTab(), AnalysisTab::types);
    EXPECT_EQ(f.screen->currentTabContent(), f.screen->typesView());
    EXPECT_EQ(f.screen->typesView()->totalBytes(), 1);  // no counted bytes reach the list as 1
    f.screen->stylePicker()->activate(3);
    EXPECT_EQ(f.state.mapStyle(), MapStyle::rings);
    f.state.setMapStyle(MapStyle::treemap);
    EXPECT_EQ(f.screen->stylePicker()->currentIndex(), 1);
}

TEST(MapScreen, VolumesShowsTheChooserAndKeepsTheMap) {
    test::FakeEnvironment environment;
    const test::DemoTree tree = test::makeDemoTree(environment.home() + "/Stuff");
    auto listed = std::make_shared<std::atomic_int>(0);  // readings may end after the test
    MapServices services = test::servicesWithTree(tree.root);
    services.listVolumes = [listed] {
        ++*listed;
        return std::vector<VolumeInfo>{VolumeInfo{"/", "Root", "/", "/", 1000, 400, true, std::nullopt}};
    };
    AppState state(services);
    ASSERT_TRUE(test::startAndRestore(state));
    ASSERT_TRUE(test::waitUntil([&] { return !state.volumes().empty(); }));
    state.openSection(AppSection::map);
    state.addToCollector(tree.notes);
    SpaceMapView space(state);
    space.resize(1100, 700);
    space.show();
    EXPECT_FALSE(space.isShowingChooser());

    const int before = *listed;
    space.mapScreen()->volumesButton()->click();
    EXPECT_TRUE(space.isShowingChooser());
    EXPECT_TRUE(test::waitUntil([&] { return *listed == before + 1; }));
    EXPECT_EQ(state.section(), AppSection::map);
    EXPECT_EQ(state.rootNode(), tree.root);
    EXPECT_EQ(state.collector().size(), 1);
    EXPECT_TRUE(space.chooser()->showMapButton()->isVisible());

    // Show Map returns; so does leaving the section and coming back.
    space.chooser()->showMapButton()->click();
    EXPECT_FALSE(space.isShowingChooser());
    space.mapScreen()->volumesButton()->click();
    state.openSection(AppSection::insights);
    state.openSection(AppSection::map);
    EXPECT_FALSE(space.isShowingChooser());
}

TEST(MapScreen, RenderingsFollowTheStateAndSelect) {
    MapFixture f;
    QSet<MapView*> shown;
    for (MapStyle style : allMapStyles()) {
        f.state.setMapStyle(style);
        test::spin(5);
        MapView* view = f.screen->rendering();
        ASSERT_TRUE(view);
        EXPECT_TRUE(view->isVisible());
        EXPECT_EQ(view->root(), f.tree.root);
        shown.insert(view);
    }
    EXPECT_EQ(shown.size(), 4);  // one rendering of its own per style

    // Bars: the pointer over a row hovers its node; a click on a folder drills in.
    f.state.setMapStyle(MapStyle::bars);
    test::spin(5);
    MapView* bars = f.screen->rendering();
    const QPoint notes = bars->itemBounds(f.tree.notes).center();
    test::mouse(bars, QEvent::MouseMove, notes, Qt::NoButton);
    EXPECT_EQ(f.state.hoveredNode(), f.tree.notes);
    EXPECT_EQ(f.screen->toolbarHoverName(), QStringLiteral("notes.txt"));
    EXPECT_EQ(f.screen->sidebar()->highlightedRow(), 1);
    test::clickAt(bars, bars->itemBounds(f.tree.movies).center());
    EXPECT_EQ(f.state.focusNode(), f.tree.movies);
    EXPECT_EQ(bars->root(), f.tree.movies);

    // The sunburst's centre goes up a level.
    f.state.setMapStyle(MapStyle::sunburst);
    test::spin(5);
    MapView* sunburst = f.screen->rendering();
    test::clickAt(sunburst, sunburst->rect().center());
    EXPECT_EQ(f.state.focusNode(), f.tree.root);
}
