#include "views/cleanup/ClutterView.h"

#include "design/TaldoButton.h"
#include "views/common/PlainButton.h"

#include "FindingsScreenTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>

using namespace tarnwick;

namespace {

using Kind = ClutterItem::Kind;

ClutterItem finding(const QString& title, qint64 size, Kind kind, bool selected = false) {
    ClutterItem item = test::finding<ClutterItem>("/nowhere/" + title, size, selected);
    item.kind = kind;
    item.isSafeDefault = selected;
    return item;
}

// The Clutter screen over a clutter finder the test holds.
class ClutterViewTest : public test::FindingsScreenTest<ClutterView, ClutterItem> {
protected:
    ClutterViewTest()
        : FindingsScreenTest(&ModuleServices::clutterScan, &AppState::isClutterScanning,
                             QStringLiteral("Checking Trash\u2026")) {}
    PlainButton* tick(int row) const { return view->rows()[row]->findChild<PlainButton*>("findingCheck"); }
    bool safeLineShown(int row) const { return !view->rows()[row]->findChild<QLabel*>("findingSafeDefault")->isHidden(); }
};

TEST_F(ClutterViewTest, OneCardPerKindInTheKindsOrder) {
    showWith({finding("shot.png", 300, Kind::screenshots), finding("copy.bin", 700, Kind::duplicates),
              finding("shot2.png", 200, Kind::screenshots, true)});
    ASSERT_EQ(cardTitles(), (QStringList{"Duplicates", "Screenshots"}));
    EXPECT_EQ(view->cards()[1]->totalText(), "500 bytes") << "ticked and unticked";
}

// The safe line follows the finder's judgement, not the tick; what cannot
// move stays with its reason on its row.
TEST_F(ClutterViewTest, TicksCleanAndTheSafeLine) {
    ClutterItem trash = finding("old.tar", 3, Kind::trash, true);
    trash.path = test::writeFile(env.home("old.tar"), "old");
    showWith({trash, finding("dupe", 50, Kind::duplicates)});
    EXPECT_FALSE(safeLineShown(0));
    tick(0)->click();
    EXPECT_TRUE(state->clutterItems()[1].isSelected);
    EXPECT_FALSE(safeLineShown(0)) << "ticked, still not generally safe";
    tick(0)->click();
    tick(1)->click();
    EXPECT_TRUE(safeLineShown(1)) << "still safe after unticking";
    EXPECT_FALSE(view->cleanButton()->isEnabled());
    tick(1)->click();
    view->cleanButton()->click();
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_EQ(cardTitles(), QStringList{"Duplicates"});
    EXPECT_EQ(state->safeBinItems().size(), 1u);

    tick(0)->click();
    QList<ClutterItem> items = state->clutterItems();
    items[0].path = test::writeFile(env.support() + "/Tarnwick/dupe", "d");  // the program's own: never moved
    AppStateTesting::setClutterItems(*state, items);
    view->cleanButton()->click();
    ASSERT_TRUE(test::safeBinSettled(*state));
    ASSERT_EQ(view->rows().size(), 1);
    EXPECT_TRUE(view->rows()[0]->content().detail.startsWith("Not moved: a protected place \u00B7 "));
}

}  // namespace
