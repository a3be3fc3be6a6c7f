#include "views/map/InsightsView.h"

#include "services/store/QuickLookService.h"
#include "services/store/RevealService.h"
#include "state/AppState.h"
#include "views/map/FileRecordsList.h"
#include "views/map/FileTypesView.h"
#include "views/common/SegmentedPicker.h"

#include "MapViewsTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>

using namespace tarnwick;

namespace {

// Records previews and reveals while alive.
struct Recorders {
    QStringList previews, reveals;
    Recorders() {
        QuickLookService::setPresenter([this](const QString& path) { previews << path; });
        RevealService::setHandler([this](const QString& path) { reveals << path; });
    }
    ~Recorders() {
        QuickLookService::setPresenter({});
        RevealService::setHandler({});
    }
};

FileRecord record(const QString& name, qint64 size) {
    return FileRecord{QUuid::createUuid(), name, "/data/" + name, size, QDateTime::currentDateTimeUtc().addDays(-200),
                      "other"};
}

QString labelIn(QWidget* widget, const char* name) {
    auto* label = widget->findChild<QLabel*>(name);
    return label ? label->text() : QString();
}

}  // namespace

TEST(InsightsView, ShowingItOnTheMapTabOpensLargestAndKeepsAnotherTab) {
    test::FakeEnvironment environment;
    AppState state(test::testServices());
    state.start();
    InsightsView view(state);
    view.show();  // shown while the tab is Map: Largest
    EXPECT_EQ(view.currentList(), view.largestList());
    EXPECT_TRUE(view.largestList()->isShowingEmptyText());
    EXPECT_TRUE(view.typesView()->isShowingEmptyText());

    view.picker()->activate(1);
    view.hide();
    view.show();  // Oldest stays
    EXPECT_EQ(state.analysisTab(), AnalysisTab::oldest);
    EXPECT_EQ(view.currentList(), view.oldestList());
    state.setAnalysisTab(AnalysisTab::map);
    EXPECT_EQ(view.currentList(), nullptr);
    EXPECT_EQ(view.picker()->currentIndex(), -1);
}

TEST(InsightsView, RanksDoubleClickAndMenu) {
    test::FakeEnvironment environment;
    Recorders recorders;
    ScanInsights insights;
    for (int i = 0; i < 120; ++i) insights.largest.append(record(QStringLiteral("f%1.bin").arg(i), 1000 - i));
    insights.fileCount = 120;
    const test::DemoTree tree = test::makeDemoTree(environment.home() + "/Stuff");
    AppState state(test::servicesWithTree(tree.root, insights));
    ASSERT_TRUE(test::startAndRestore(state));
    InsightsView view(state);
    view.show();

    FileRecordsList& list = *view.largestList();
    const QList<QWidget*> rows = list.rows();
    ASSERT_EQ(rows.size(), 120);
    EXPECT_EQ(labelIn(rows.first(), "recordRank"), QStringLiteral("1"));
    EXPECT_EQ(labelIn(rows.last(), "recordRank"), QStringLiteral("120"));
    EXPECT_EQ(labelIn(rows.first(), "recordAge"), insights.largest[0].ageDescription());

    // A single click does nothing; a double-click previews that row's file.
    test::clickAt(rows[2], QPoint(5, 5));
    EXPECT_TRUE(recorders.previews.isEmpty());
    test::mouse(rows[2], QEvent::MouseButtonDblClick, QPoint(5, 5));
    EXPECT_EQ(recorders.previews, QStringList({insights.largest[2].path}));

    // The menu previews, collects and reveals that row's file.
    const auto menu = list.contextMenu(3);
    ASSERT_EQ(menu->actions().size(), 3);
    for (QAction* action : menu->actions()) action->trigger();
    EXPECT_EQ(recorders.previews.last(), insights.largest[3].path);
    EXPECT_EQ(recorders.reveals, QStringList({insights.largest[3].path}));
    ASSERT_EQ(state.collector().size(), 1);
    EXPECT_EQ(state.collector()[0].path, insights.largest[3].path);
    EXPECT_FALSE(state.collector()[0].isDirectory);
}

TEST(FileTypesView, CardsAndSharesThatNeverDivideByNothing) {
    FileTypesView view;
    view.setTypes({TypeBucket{"video", 750, 3}, TypeBucket{"images", 250, 12}}, 1000);
    const QList<QWidget*> cards = view.cards();
    ASSERT_EQ(cards.size(), 2);
    EXPECT_EQ(labelIn(cards[0], "typeName"), QStringLiteral("video"));
    EXPECT_EQ(labelIn(cards[1], "typeCount"), QStringLiteral("12 files"));
    EXPECT_FALSE(view.isShowingEmptyText());
    EXPECT_EQ(FileTypesView::share(1000, 1000), 1.0);
    EXPECT_EQ(FileTypesView::share(5, 0), 0.0);
    EXPECT_EQ(FileTypesView::share(5, -3), 0.0);
    EXPECT_EQ(FileTypesView::filledBarWidth(300, 0.001), 4.0);  // a sliver stays visible
    view.setTypes({}, 1);
    EXPECT_TRUE(view.isShowingEmptyText());
    EXPECT_TRUE(view.cards().isEmpty());
}
