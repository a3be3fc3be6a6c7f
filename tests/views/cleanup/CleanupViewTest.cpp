// The findings screen every module of findings is a Spec of, on the Junk
// screen.
#include "views/cleanup/CleanupView.h"

#include "design/TaldoButton.h"
#include "services/store/RevealService.h"
#include "views/common/ClampedText.h"
#include "views/common/PlainButton.h"

#include "FindingsScreenTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>

using namespace tarnwick;

namespace {

CleanupItem finding(const QString& title, qint64 size, CleanupCategory category, bool selected = false) {
    CleanupItem item = test::finding<CleanupItem>("/nowhere/" + title, size, selected);
    item.detail = "~/" + title;
    item.category = category;
    item.isSafeDefault = selected;
    return item;
}

// The Junk screen over a junk finder the test holds.
class CleanupViewTest : public test::FindingsScreenTest<CleanupView, CleanupItem> {
protected:
    CleanupViewTest()
        : FindingsScreenTest(&ModuleServices::cleanupScan, &AppState::isCleanupScanning,
                             QStringLiteral("Scanning caches\u2026")) {}
    PlainButton* tick(int row) const { return view->rows()[row]->findChild<PlainButton*>("findingCheck"); }
};

TEST_F(CleanupViewTest, ShownEmptyItScansThenShowsTheEmptyState) {
    view->show();
    ASSERT_TRUE(finders.waitFor(0)) << "showing the screen with no findings starts the scan";
    EXPECT_EQ(body(), ModuleScreenFrame::Body::scanning);
    EXPECT_FALSE(view->scanButton()->isEnabled());
    EXPECT_FALSE(view->cleanButton()->isEnabled());
    ASSERT_TRUE(test::waitUntil([&] { return view->frame()->progressLabel() == "Scanning caches\u2026"; }));
    EXPECT_EQ(status(), "Scanning caches\u2026");
    finders.at(0)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isCleanupScanning(); }));
    EXPECT_EQ(body(), ModuleScreenFrame::Body::empty);
    EXPECT_TRUE(view->emptyButton()->isEnabled());
    view->emptyButton()->click();
    EXPECT_TRUE(state->isCleanupScanning());
    finders.waitFor(1)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isCleanupScanning(); }));
}

// Cards in the categories' order with totals of ticked and unticked
// findings; a tick updates its row in place, and only bytes make a clean.
TEST_F(CleanupViewTest, CardsFollowTheCategoriesAndTicksUpdateTheRowsInPlace) {
    showWith({finding("dupe.iso", 700, CleanupCategory::duplicates), finding("app cache", 300, CleanupCategory::caches),
              finding("old.log", 200, CleanupCategory::logs, true), finding("web cache", 100, CleanupCategory::caches),
              finding("tmp", 0, CleanupCategory::temp)});
    ASSERT_EQ(cardTitles(), (QStringList{rawValue(CleanupCategory::caches), rawValue(CleanupCategory::logs),
                                         rawValue(CleanupCategory::temp), rawValue(CleanupCategory::duplicates)}));
    EXPECT_EQ(view->cards()[0]->totalText(), "400 bytes");
    EXPECT_EQ(view->rows()[0]->content().title, "app cache") << "list order in a card";
    EXPECT_EQ(view->cleanButton()->text(), "Clean 200 bytes");
    EXPECT_TRUE(view->cleanButton()->isEnabled());

    FindingRow* row = view->rows()[2];
    auto* safe = row->findChild<QLabel*>("findingSafeDefault");
    EXPECT_FALSE(safe->isHidden());
    EXPECT_TRUE(view->rows()[0]->findChild<QLabel*>("findingSafeDefault")->isHidden());
    tick(2)->click();
    EXPECT_FALSE(state->cleanupItems()[0].isSelected);
    ASSERT_EQ(view->rows()[2], row) << "the same row, not a rebuilt one";
    EXPECT_EQ(tick(2)->symbol(), "circle");
    EXPECT_FALSE(safe->isHidden()) << "still generally safe after unticking";
    EXPECT_FALSE(view->cleanButton()->isEnabled()) << "nothing ticked";
    tick(3)->click();  // only a zero-byte finding ticked: still nothing to clean
    EXPECT_FALSE(view->cleanButton()->isEnabled());
}

// A reveal the desktop cannot make reaches the alert; a rescan shows the
// scanning state, not the old cards; shown again with findings, no scan.
TEST_F(CleanupViewTest, RescanShowsTheScanningStateAndRevealGoesToTheFileManager) {
    showWith({finding("old.log", 200, CleanupCategory::logs)});
    QStringList revealed;
    RevealService::setHandler([&](const QString& path) { revealed.append(path); });
    view->rows()[0]->findChild<PlainButton*>("findingReveal")->click();
    RevealService::setHandler({});
    EXPECT_EQ(revealed, QStringList{"/nowhere/old.log"});
    env.noTool("/usr/bin/dbus-send");
    env.noTool("/usr/bin/xdg-open");
    view->rows()[0]->findChild<PlainButton*>("findingReveal")->click();
    ASSERT_TRUE(test::waitUntil([&] { return state->errorMessage().has_value(); }));
    EXPECT_TRUE(state->errorMessage()->endsWith("is not installed.")) << state->errorMessage()->toStdString();

    view->scanButton()->click();
    EXPECT_EQ(body(), ModuleScreenFrame::Body::scanning);
    finders.waitFor(1)->release({finding("new.log", 10, CleanupCategory::logs)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isCleanupScanning(); }));
    EXPECT_EQ(view->rows()[0]->content().title, "new.log");
    view->hide();
    view->show();
    test::spin(20);
    EXPECT_EQ(finders.count(), 2u);
}

TEST_F(CleanupViewTest, ButtonsWaitForTheCleanAndAnEmptiedListStartsNoScan) {
    CleanupItem item = finding("old.log", 3, CleanupCategory::logs, true);
    item.path = test::writeFile(env.home("old.log"), "log");
    showWith({item});
    view->cleanButton()->click();
    EXPECT_FALSE(view->cleanButton()->isEnabled()) << "disabled while the move runs";
    EXPECT_FALSE(view->scanButton()->isEnabled());
    ASSERT_TRUE(test::safeBinSettled(*state));
    EXPECT_EQ(body(), ModuleScreenFrame::Body::empty);
    test::spin(20);
    EXPECT_EQ(finders.count(), 1u) << "a clean that empties the list starts no scan";
    EXPECT_EQ(state->safeBinItems().size(), 1u);
}

TEST(ClampedText, CutsTheDetailAtTwoLines) {
    ClampedText text(2);
    text.setText(QString(400, QLatin1Char('a')));
    const QStringList lines = text.shownLines(200);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\u2026")));
    text.setText(QStringLiteral("short"));
    EXPECT_EQ(text.shownLines(200), QStringList{"short"});
}

}  // namespace
