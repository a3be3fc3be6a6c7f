#include "views/cleanup/CleanupView.h"

#include "design/TaldoButton.h"
#include "services/store/RevealService.h"
#include "state/AppState.h"
#include "views/common/ClampedText.h"
#include "views/common/FindingCard.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ModuleScreenFrame.h"
#include "views/common/PlainButton.h"

#include "FindingsScreenTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>

using namespace tarnwick;

namespace {

CleanupItem finding(const QString& title, qint64 size, CleanupCategory category, bool selected = false) {
    CleanupItem item;
    item.title = title;
    item.path = "/nowhere/" + title;
    item.detail = "~/" + title;
    item.size = size;
    item.category = category;
    item.isSelected = selected;
    item.isSafeDefault = selected;
    return item;
}

// The Junk screen over a junk finder the test holds.
class CleanupViewTest : public test::FindingsScreenTest<CleanupView, CleanupItem> {
protected:
    CleanupViewTest()
        : FindingsScreenTest(&ModuleServices::cleanupScan, &AppState::isCleanupScanning,
                             QStringLiteral("Scanning caches\u2026")) {}
};

TEST_F(CleanupViewTest, ShownEmptyItScansThenShowsTheEmptyState) {
    EXPECT_EQ(view->frame()->header()->title(), "Junk Cleanup");
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
    EXPECT_EQ(view->findChild<QLabel*>("moduleEmptyText")->text(),
              "Run Junk Cleanup to find caches, Xcode junk, node_modules, Docker, AI models & duplicates.");
    EXPECT_EQ(view->emptyButton()->text(), "Start Junk Scan");
    EXPECT_TRUE(view->emptyButton()->isEnabled());
    EXPECT_EQ(status(), "Find caches, leftovers, duplicates & developer junk \u2014 review before anything moves.");

    view->emptyButton()->click();
    EXPECT_TRUE(state->isCleanupScanning());
    finders.waitFor(1)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isCleanupScanning(); }));
}

TEST_F(CleanupViewTest, CardsFollowTheCategoryOrderWithTheirTotals) {
    showWith({finding("dupe.iso", 700, CleanupCategory::duplicates), finding("app cache", 300, CleanupCategory::caches),
              finding("old.log", 200, CleanupCategory::logs, true), finding("web cache", 100, CleanupCategory::caches)});
    EXPECT_EQ(body(), ModuleScreenFrame::Body::content);
    ASSERT_EQ(cardTitles(), (QStringList{rawValue(CleanupCategory::caches), rawValue(CleanupCategory::logs),
                                         rawValue(CleanupCategory::duplicates)}));
    const FindingCard* caches = view->cards()[0];
    EXPECT_EQ(caches->totalText(), "400 bytes") << "the total counts ticked and unticked findings";
    ASSERT_EQ(caches->rows().size(), 2);
    EXPECT_EQ(caches->findChild<QLabel*>("cardDescription")->text(), blurb(CleanupCategory::caches));
    EXPECT_EQ(qobject_cast<FindingRow*>(caches->rows()[0])->content().title, "app cache") << "list order in a card";
    EXPECT_EQ(status(), "4 findings \u00B7 1 selected \u00B7 200 bytes");
    EXPECT_EQ(view->cleanButton()->text(), "Clean 200 bytes");
    EXPECT_TRUE(view->cleanButton()->isEnabled());
    EXPECT_TRUE(view->scanButton()->isEnabled());
}

TEST_F(CleanupViewTest, TickingUpdatesTheRowInPlace) {
    showWith({finding("old.log", 200, CleanupCategory::logs, true), finding("tmp", 0, CleanupCategory::temp)});
    FindingRow* row = view->rows()[0];
    auto* safe = row->findChild<QLabel*>("findingSafeDefault");
    EXPECT_FALSE(safe->isHidden());
    EXPECT_EQ(safe->text(), "Pre-selected \u00B7 generally safe");
    EXPECT_TRUE(view->rows()[1]->findChild<QLabel*>("findingSafeDefault")->isHidden());

    row->findChild<PlainButton*>("findingCheck")->click();
    EXPECT_FALSE(state->cleanupItems()[0].isSelected);
    ASSERT_EQ(view->rows()[0], row) << "the same row, not a rebuilt one";
    EXPECT_EQ(row->findChild<PlainButton*>("findingCheck")->symbol(), "circle");
    EXPECT_FALSE(safe->isHidden()) << "still generally safe after unticking";
    EXPECT_EQ(view->cards()[0]->totalText(), "200 bytes");
    EXPECT_FALSE(view->cleanButton()->isEnabled()) << "nothing ticked";
    EXPECT_EQ(view->cleanButton()->text(), "Clean Zero KB");

    // Only zero-byte findings ticked: still nothing to clean.
    view->rows()[1]->findChild<PlainButton*>("findingCheck")->click();
    EXPECT_TRUE(state->cleanupItems()[1].isSelected);
    EXPECT_FALSE(view->cleanButton()->isEnabled());
}

TEST_F(CleanupViewTest, RescanShowsTheScanningStateAndRevealGoesToTheFileManager) {
    showWith({finding("old.log", 200, CleanupCategory::logs)});
    QStringList revealed;
    RevealService::setHandler([&](const QString& path) { revealed.append(path); });
    view->rows()[0]->findChild<PlainButton*>("findingReveal")->click();
    RevealService::setHandler({});
    EXPECT_EQ(revealed, QStringList{"/nowhere/old.log"});
    // A reveal the desktop cannot make reaches the alert.
    env.environment().toolPaths.insert("/usr/bin/dbus-send", env.path("bin/no-dbus-send"));
    env.environment().toolPaths.insert("/usr/bin/xdg-open", env.path("bin/no-xdg-open"));
    env.apply();
    view->rows()[0]->findChild<PlainButton*>("findingReveal")->click();
    ASSERT_TRUE(test::waitUntil([&] { return state->errorMessage().has_value(); }));
    EXPECT_TRUE(state->errorMessage()->endsWith("is not installed.")) << state->errorMessage()->toStdString();

    view->scanButton()->click();
    EXPECT_EQ(body(), ModuleScreenFrame::Body::scanning) << "not the old cards";
    finders.waitFor(1)->release({finding("new.log", 10, CleanupCategory::logs)});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isCleanupScanning(); }));
    EXPECT_EQ(body(), ModuleScreenFrame::Body::content);
    EXPECT_EQ(view->rows()[0]->content().title, "new.log");

    // Shown again with findings listed: no scan.
    view->hide();
    view->show();
    test::spin(20);
    EXPECT_EQ(finders.count(), 2u);
}

TEST_F(CleanupViewTest, ButtonsWaitForTheCleanAndAnEmptiedListStartsNoScan) {
    CleanupItem item = finding("old.log", 3, CleanupCategory::logs, true);
    item.path = test::writeFile(env.home() + "/old.log", "log");
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
    EXPECT_EQ(text.heightForWidth(200), QFontMetrics(text.font()).lineSpacing());
}

}  // namespace
