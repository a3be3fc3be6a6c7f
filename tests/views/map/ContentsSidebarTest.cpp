#include "views/map/ContentsSidebarView.h"

#include "state/AppState.h"
#include "views/map/MapScreenView.h"
#include "views/map/MapColors.h"

#include "MapViewsTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMenu>
#include <QScrollArea>

using namespace tarnwick;

namespace {

QStringList menuTexts(ContentsSidebarView& sidebar, int row) {
    QStringList texts;
    const auto menu = sidebar.contextMenu(row);
    for (QAction* action : menu->actions()) texts << action->text();
    return texts;
}

QStringList rowNames(const ContentsSidebarView& sidebar) {
    QStringList names;
    for (const ScanNodePtr& node : sidebar.nodes()) names << node->name;
    return names;
}

ScanNodePtr node(const QString& name, NodeKind kind, qint64 size, std::vector<ScanNodePtr> children = {}) {
    return ScanNode::create(QUuid::createUuid(), name, "/x/" + name, kind, size, std::move(children));
}

}  // namespace

TEST(ContentsSidebar, RowsMenusHighlightAndActions) {
    const test::DemoTree tree = test::makeDemoTree("/data/Stuff");
    ContentsSidebarView sidebar;
    QList<ScanNodePtr> selected, collected, revealed;
    sidebar.setActions({[&](const ScanNodePtr& n) { selected << n; }, [&](const ScanNodePtr& n) { collected << n; },
                        [&](const ScanNodePtr& n) { revealed << n; }});
    sidebar.setNodes(tree.root->children);
    sidebar.resize(320, 400);
    sidebar.show();
    EXPECT_EQ(rowNames(sidebar), QStringList({"Movies", "notes.txt", "Docs", "Empty", "Locked"}));

    // Containers offer "Open"; a folder without children is not one.
    EXPECT_EQ(menuTexts(sidebar, 0).size(), 3);
    EXPECT_EQ(menuTexts(sidebar, 3).size(), 2);
    EXPECT_FALSE(menuTexts(sidebar, 3).contains("Open"));
    EXPECT_TRUE(ContentsSidebarView::isContainer(*node("g", NodeKind::smallGroup, 10, {node("f", NodeKind::file, 10)})));

    const auto menu = sidebar.contextMenu(0);
    for (QAction* action : menu->actions()) action->trigger();
    EXPECT_EQ(selected, QList<ScanNodePtr>({tree.movies}));
    EXPECT_EQ(collected, QList<ScanNodePtr>({tree.movies}));
    EXPECT_EQ(revealed, QList<ScanNodePtr>({tree.movies}));

    // A click on a row selects it (a click inside the row's padding too).
    QWidget* rows = sidebar.scrollArea()->widget();
    const QRect second = sidebar.rowRect(1);
    test::clickAt(rows, second.topLeft() + QPoint(2, 2));
    EXPECT_EQ(selected.last(), tree.notes);

    // The highlight goes by id, not by object; a node not listed highlights nothing.
    const ScanNodePtr twin = node("other", NodeKind::file, 1);
    twin->id = tree.docs->id;
    sidebar.setHovered(twin);
    EXPECT_EQ(sidebar.highlightedRow(), 2);
    sidebar.setHovered(tree.aMov);
    EXPECT_EQ(sidebar.highlightedRow(), -1);
    sidebar.setHovered(nullptr);
    EXPECT_EQ(sidebar.highlightedRow(), -1);
}

TEST(ContentsSidebar, SharesNeverDivideByNothingAndManyRowsCostNothingUpFront) {
    const std::vector<ScanNodePtr> zeros = {node("a", NodeKind::restricted, 0), node("b", NodeKind::restricted, 0)};
    EXPECT_EQ(ContentsSidebarView::maxSize({}), 1);
    EXPECT_EQ(ContentsSidebarView::share(0, 0), 0.0);
    EXPECT_EQ(ContentsSidebarView::filledBarWidth(200, ContentsSidebarView::share(0, ContentsSidebarView::maxSize(zeros))),
              4.0);
    EXPECT_EQ(ContentsSidebarView::filledBarWidth(200, -0.5), 4.0);
    EXPECT_EQ(ContentsSidebarView::filledBarWidth(200, ContentsSidebarView::share(500, 1000)), 100.0);
    EXPECT_EQ(ContentsSidebarView::sizeText(-5), ContentsSidebarView::sizeText(0));
    // Two folders of one name share the map's colour.
    const ScanNodePtr photos = node("Photos", NodeKind::dir, 1);
    EXPECT_EQ(ContentsSidebarView::iconColor(*photos), ContentsSidebarView::iconColor(*node("Photos", NodeKind::dir, 2)));
    EXPECT_EQ(ContentsSidebarView::iconColor(*photos), MapColors::forName(*photos));

    std::vector<ScanNodePtr> many;
    for (int i = 0; i < 20000; ++i) many.push_back(node(QString::number(i), NodeKind::restricted, 0));
    ContentsSidebarView sidebar;
    sidebar.setNodes(many);
    EXPECT_EQ(sidebar.rowCount(), 20000);
    EXPECT_GT(sidebar.scrollArea()->widget()->height(), sidebar.rowRect(19999).bottom());
}

TEST(ContentsSidebar, FilterFieldNarrowsTheRows) {
    test::FakeEnvironment environment;
    const test::DemoTree tree = test::makeDemoTree(environment.home() + "/Stuff");
    AppState state(test::servicesWithTree(tree.root));
    ASSERT_TRUE(test::startAndRestore(state));
    MapScreenView screen(state);
    screen.show();
    ContentsSidebarView& sidebar = *screen.sidebar();
    EXPECT_EQ(sidebar.rowCount(), 5);

    const auto type = [&](const QString& text) {
        screen.filterField()->setText(text);
        emit screen.filterField()->textEdited(text);
    };
    type("   ");
    EXPECT_EQ(sidebar.rowCount(), 5) << "blank: no filter";
    type("  O ");  // trimmed, any case
    EXPECT_EQ(rowNames(sidebar), QStringList({"Movies", "notes.txt", "Docs", "Locked"}));
    type("zzz");
    EXPECT_EQ(sidebar.rowCount(), 0);

    // Drilling in (from a row) lists the new folder's children.
    type("");
    sidebar.clickRow(-1);  // out of range: ignored
    sidebar.clickRow(0);
    EXPECT_EQ(state.focusNode(), tree.movies);
    EXPECT_EQ(rowNames(sidebar), QStringList({"a.mov", "b.mov"}));
}
