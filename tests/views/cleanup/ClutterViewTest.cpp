#include "views/cleanup/ClutterView.h"

#include "design/TaldoButton.h"
#include "state/AppState.h"
#include "views/common/FindingCard.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ModuleScreenFrame.h"
#include "views/common/PlainButton.h"

#include "FindingsScreenTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>

using namespace tarnwick;

namespace {

using Kind = ClutterItem::Kind;

ClutterItem finding(const QString& title, qint64 size, Kind kind, bool selected = false) {
    ClutterItem item;
    item.title = title;
    item.path = "/nowhere/" + title;
    item.detail = "~/" + title;
    item.size = size;
    item.kind = kind;
    item.isSelected = selected;
    item.isSafeDefault = selected;
    return item;
}

// The Clutter screen over a clutter finder the test holds.
class ClutterViewTest : public test::FindingsScreenTest<ClutterView, ClutterItem> {
protected:
    ClutterViewTest()
        : FindingsScreenTest(&ModuleServices::clutterScan, &AppState::isClutterScanning,
                             QStringLiteral("Checking Trash\u2026")) {}
};

TEST_F(ClutterViewTest, ShownEmptyItScansThenShowsTheEmptyState) {
    EXPECT_EQ(view->frame()->header()->title(), "Clutter");
    view->show();
    ASSERT_TRUE(finders.waitFor(0)) << "showing the screen with no items starts the scan";
    EXPECT_EQ(body(), ModuleScreenFrame::Body::scanning);
    EXPECT_FALSE(view->scanButton()->isEnabled());
    EXPECT_FALSE(view->cleanButton()->isEnabled());
    finders.at(0)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isClutterScanning(); }));
    EXPECT_EQ(body(), ModuleScreenFrame::Body::empty);
    EXPECT_EQ(view->findChild<QLabel*>("moduleEmptyText")->text(),
              "Find duplicates, old installers, screenshots, Trash, and Mail downloads.");
    EXPECT_EQ(view->emptyButton()->text(), "Scan Clutter");
    EXPECT_EQ(status(), "Duplicates, old downloads, screenshots, Trash & Mail downloads.");
    view->emptyButton()->click();
    EXPECT_TRUE(state->isClutterScanning());
    finders.waitFor(1)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isClutterScanning(); }));
}

TEST_F(ClutterViewTest, OneCardPerKindInTheKindsOrder) {
    QList<ClutterItem> items;
    for (Kind kind : allClutterKinds()) items.prepend(finding(rawValue(kind) + " item", 100, kind));
    const auto groups = ClutterView::groups(items);
    ASSERT_EQ(groups.size(), 7u);
    struct Card {
        const char* symbol;
        const char* description;
    };
    const Card expected[] = {
        {"doc.on.doc", "Same-size files with matching content fingerprint"},
        {"photo.on.rectangle.angled", "Near-duplicate photos by perceptual hash"},
        {"arrow.down.circle", "Installers & archives older than 30 days"},
        {"shippingbox", "Files over 100 MB not touched in 180+ days"},
        {"camera.viewfinder", "Desktop / Pictures screenshots older than 14 days"},
        {"trash", "Items sitting in Trash that still use disk"},
        {"envelope", "Attachments Mail saved under Downloads"},
    };
    for (size_t i = 0; i < groups.size(); ++i) {
        EXPECT_EQ(groups[i].title, rawValue(allClutterKinds()[qsizetype(i)]));
        EXPECT_EQ(groups[i].symbol, expected[i].symbol);
        EXPECT_EQ(groups[i].description, expected[i].description);
    }

    showWith({finding("shot.png", 300, Kind::screenshots), finding("copy.bin", 700, Kind::duplicates),
              finding("shot2.png", 200, Kind::screenshots, true)});
    ASSERT_EQ(cardTitles(), (QStringList{"Duplicates", "Screenshots"}));
    EXPECT_EQ(view->cards()[1]->totalText(), "500 bytes") << "ticked and unticked";
    EXPECT_EQ(status(), "3 findings \u00B7 1 selected \u00B7 200 bytes");
    EXPECT_EQ(view->cleanButton()->text(), "Clean 200 bytes");
    EXPECT_TRUE(view->cleanButton()->isEnabled());
}

TEST_F(ClutterViewTest, TicksCleanAndTheSafeLine) {
    ClutterItem trash = finding("old.tar", 3, Kind::trash, true);
    trash.path = test::writeFile(env.home() + "/old.tar", "old");
    showWith({trash, finding("dupe", 50, Kind::duplicates)});
    FindingRow* dupe = view->rows()[0];
    FindingRow* old = view->rows()[1];
    EXPECT_TRUE(dupe->findChild<QLabel*>("findingSafeDefault")->isHidden());
    dupe->findChild<PlainButton*>("findingCheck")->click();
    EXPECT_TRUE(state->clutterItems()[1].isSelected);
    EXPECT_TRUE(dupe->findChild<QLabel*>("findingSafeDefault")->isHidden()) << "ticked, still not generally safe";
    dupe->findChild<PlainButton*>("findingCheck")->click();
    old->findChild<PlainButton*>("findingCheck")->click();
    EXPECT_FALSE(old->findChild<QLabel*>("findingSafeDefault")->isHidden()) << "still safe after unticking";
    EXPECT_FALSE(view->cleanButton()->isEnabled());
    old->findChild<PlainButton*>("findingCheck")->click();

    view->cleanButton()->click();
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_EQ(cardTitles(), QStringList{"Duplicates"});
    EXPECT_EQ(state->safeBinItems().size(), 1u);
    EXPECT_EQ(state->activityEvents().value(0).summary, "Cleaned 1 clutter items");

    // What cannot move stays, with its reason on the row.
    dupe = view->rows()[0];
    dupe->findChild<PlainButton*>("findingCheck")->click();
    QList<ClutterItem> items = state->clutterItems();
    items[0].path = test::writeFile(env.support() + "/Tarnwick/dupe", "d");  // the program's own: never moved
    AppStateTesting::setClutterItems(*state, items);
    view->cleanButton()->click();
    ASSERT_TRUE(test::safeBinSettled(*state));
    ASSERT_EQ(view->rows().size(), 1);
    EXPECT_TRUE(view->rows()[0]->content().detail.startsWith("Not moved: a protected place \u00B7 "));
}

}  // namespace
