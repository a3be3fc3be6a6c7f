#include "views/cleanup/AppsView.h"

#include "design/TaldoButton.h"
#include "services/store/RevealService.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "views/cleanup/InstalledAppRow.h"
#include "views/cleanup/UpdateCandidateRow.h"
#include "views/common/ClampedText.h"
#include "views/common/ModuleHeader.h"
#include "views/common/ModuleScreenFrame.h"
#include "views/common/PlainButton.h"
#include "views/common/SegmentedPicker.h"

#include "views/cleanup/FindingsScreenTestSupport.h"

#include <gtest/gtest.h>

#include <QLabel>

using namespace tarnwick;

namespace {

constexpr qint64 MB = 1000 * 1000;

InstalledApp app(const QString& name, const QString& path, qint64 size, QList<qint64> leftovers = {},
                 bool ticked = false) {
    InstalledApp value;
    value.name = name;
    value.path = path;
    value.size = size;
    for (int i = 0; i < leftovers.size(); ++i) {
        InstalledApp::Leftover leftover;
        leftover.path = QStringLiteral("%1/Library/Caches/%2 %3").arg(Environment::current().homeDirectory, name).arg(i);
        leftover.size = leftovers[i];
        value.leftovers.append(leftover);
    }
    value.isSelected = ticked;
    return value;
}

AppUpdateItem candidate(const QString& name, const QString& reason) {
    AppUpdateItem item;
    item.name = name;
    item.path = "/nowhere/" + name + ".app";
    item.installedVersion = "1.2";
    item.reason = reason;
    return item;
}

// The Apps screen over finders the test holds.
class AppsViewTest : public test::TwoListScreenTest<AppsView, InstalledApp, AppUpdateItem> {
protected:
    AppsViewTest()
        : TwoListScreenTest({&ModuleServices::appsScan, &AppState::isAppsScanning, QStringLiteral("Inspecting Editor\u2026")},
                            {&ModuleServices::updatesScan, &AppState::isUpdatesScanning,
                             QStringLiteral("Checking Homebrew\u2026")}) {}
    test::HeldFinders<InstalledApp>& appFinders = first;
    test::HeldFinders<AppUpdateItem>& updateFinders = second;
};

TEST_F(AppsViewTest, ShowingStartsBothScansAndEachTabFollowsItsOwn) {
    view->show();
    ASSERT_TRUE(appFinders.waitFor(0));
    ASSERT_TRUE(updateFinders.waitFor(0));
    EXPECT_EQ(body(), ModuleScreenFrame::Body::scanning);
    ASSERT_TRUE(test::waitUntil([&] { return view->frame()->progressLabel() == "Inspecting Editor\u2026"; }));
    EXPECT_TRUE(view->scanButton()->isEnabled()) << "Scan again stays available during a scan";
    EXPECT_FALSE(view->uninstallButton()->isEnabled());

    view->tabPicker()->activate(AppsView::updates);
    EXPECT_EQ(view->tab(), AppsView::updates);
    EXPECT_TRUE(view->uninstallButton()->isHidden());
    ASSERT_TRUE(test::waitUntil([&] { return view->frame()->progressLabel() == "Checking Homebrew\u2026"; }));
    EXPECT_EQ(status(), "Checking Homebrew\u2026");
    updateFinders.at(0)->release({candidate("Editor", "Newer installer in Downloads (Editor.dmg)")});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isUpdatesScanning(); }));
    EXPECT_EQ(body(), ModuleScreenFrame::Body::content);

    view->tabPicker()->activate(AppsView::uninstaller);
    EXPECT_EQ(body(), ModuleScreenFrame::Body::scanning) << "the apps scan still runs";
    appFinders.at(0)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isAppsScanning(); }));
    EXPECT_EQ(body(), ModuleScreenFrame::Body::empty);
    test::spin(20);
    EXPECT_EQ(appFinders.count(), 1u) << "an empty list starts no scan while the screen stays shown";
}

TEST_F(AppsViewTest, RowsShowTheBundleAndOpenTheLeftoversAnUninstallMoves) {
    showWith({app("Editor", env.home() + "/Applications/Editor.app", 100 * MB, {5 * MB, 1 * MB}, true),
              app("Viewer", env.root() + "/Applications/Viewer.app", 50 * MB)});
    ASSERT_EQ(view->appRows().size(), 2);
    InstalledAppRow* editor = view->appRows()[0];
    EXPECT_EQ(editor->findChild<QLabel*>("appSize")->text(), ByteCountFormatter::fileStyle(100 * MB))
        << "the bundle alone";
    auto* line = editor->findChild<PlainButton*>("appLeftovers");
    EXPECT_FALSE(editor->findChild<TaldoButton*>("appReset")->isHidden());
    EXPECT_TRUE(view->appRows()[1]->findChild<TaldoButton*>("appReset")->isHidden());
    EXPECT_TRUE(view->appRows()[1]->findChild<PlainButton*>("appLeftovers")->isHidden());
    EXPECT_EQ(view->uninstallButton()->text(), "Uninstall " + ByteCountFormatter::fileStyle(106 * MB))
        << "the header counts the leftovers too";
    EXPECT_TRUE(view->uninstallButton()->isEnabled());

    EXPECT_TRUE(editor->shownLeftoverPaths().isEmpty());
    line->click();
    EXPECT_EQ(editor->shownLeftoverPaths(), (QStringList{"~/Library/Caches/Editor 0", "~/Library/Caches/Editor 1"}));

    view->appRows()[1]->findChild<PlainButton*>("appCheck")->click();
    ASSERT_EQ(view->appRows()[0], editor) << "a tick updates the rows in place";
    EXPECT_TRUE(editor->isExpanded());
    EXPECT_EQ(view->uninstallButton()->text(), "Uninstall " + ByteCountFormatter::fileStyle(156 * MB));
    view->appRows()[0]->findChild<PlainButton*>("appCheck")->click();
    view->appRows()[1]->findChild<PlainButton*>("appCheck")->click();
    EXPECT_FALSE(view->uninstallButton()->isEnabled()) << "nothing ticked";

    QStringList revealed;
    RevealService::setHandler([&](const QString& path) { revealed.append(path); });
    editor->findChild<PlainButton*>("appReveal")->click();
    RevealService::setHandler({});
    EXPECT_EQ(revealed, QStringList{env.home() + "/Applications/Editor.app"});
}

TEST_F(AppsViewTest, FlatpakRowsSayHowTheyGoAndASystemAppCannotBeTicked) {
    InstalledApp user = app("Paint", env.home() + "/.local/share/flatpak/app/org.example.Paint", 40 * MB);
    user.kind = InstalledApp::Kind::flatpak;
    InstalledApp system = app("Viewer", "/var/lib/flatpak/app/org.example.Viewer", 30 * MB, {MB});
    system.kind = InstalledApp::Kind::systemFlatpak;
    InstalledApp image = app("Krita", env.home() + "/Applications/krita.AppImage", 20 * MB);
    image.kind = InstalledApp::Kind::appImage;
    AppUpdateItem updating = candidate("Editor", "Flatpak update on its remote — Update runs flatpak update");
    updating.userFlatpakId = "org.example.Editor";
    updating.isUpdating = true;
    AppUpdateItem idle = candidate("Paint", "Flatpak update on its remote — Update runs flatpak update");
    idle.userFlatpakId = "org.example.Paint";
    showWith({user, system, image}, {updating, idle, candidate("Viewer", "Newer installer in Downloads")});
    ASSERT_EQ(view->appRows().size(), 3);
    auto note = [&](int row) { return view->appRows()[row]->findChild<QLabel*>("appNote"); };
    EXPECT_TRUE(note(0)->text().contains("comes back from its remote, not from the Safe Bin"));
    EXPECT_FALSE(note(0)->isHidden());
    EXPECT_TRUE(note(1)->text().contains("administrator rights"));
    EXPECT_TRUE(note(2)->isHidden());
    EXPECT_TRUE(view->appRows()[0]->findChild<PlainButton*>("appCheck")->isEnabled());
    EXPECT_FALSE(view->appRows()[1]->findChild<PlainButton*>("appCheck")->isEnabled());
    EXPECT_FALSE(view->appRows()[1]->findChild<TaldoButton*>("appReset")->isHidden()) << "its data may still go";

    // A Flatpak row's button runs its update, so it says "Update", not "Open".
    ASSERT_EQ(view->updateRows().size(), 3);
    EXPECT_FALSE(view->updateRows()[0]->openButton()->isEnabled());
    EXPECT_EQ(view->updateRows()[0]->openButton()->text(), "Updating…");
    EXPECT_EQ(view->updateRows()[1]->openButton()->text(), "Update");
    EXPECT_TRUE(view->updateRows()[1]->openButton()->isEnabled());
    EXPECT_EQ(view->updateRows()[2]->openButton()->text(), "Open") << "an installer or app is opened";
}

TEST_F(AppsViewTest, ResetGoesThroughTheSafeBinAndHoldsUninstallMeanwhile) {
    showWith({app("Editor", "/nowhere/Editor.app", 10 * MB, {1 * MB}, true), app("Viewer", "/nowhere/Viewer.app", MB)});
    view->appRows()[0]->findChild<TaldoButton*>("appReset")->click();
    EXPECT_FALSE(view->uninstallButton()->isEnabled()) << "not while the Safe Bin moves";
    ASSERT_TRUE(test::safeBinSettled(*state));
    ASSERT_EQ(view->appRows().size(), 2);
    EXPECT_TRUE(view->appRows()[0]->app().leftovers.isEmpty()) << "what is gone leaves the row";
    EXPECT_TRUE(view->appRows()[0]->findChild<TaldoButton*>("appReset")->isHidden());

    // Uninstalling from the screen is driven in AppsFlowTest.
}

TEST_F(AppsViewTest, EveryUpdateRowOpensAndAMissingOneSaysSo) {
    const QString longReason = "Supports Sparkle updates \u2014 open app to check (" + QString(300, 'x') + ")";
    showWith({}, {candidate("Alpha", "Homebrew reports this cask as outdated \u2014 run: brew upgrade --cask alpha"),
                  candidate("Beta", longReason)});
    view->setTab(AppsView::updates);
    ASSERT_EQ(view->updateRows().size(), 2);
    for (UpdateCandidateRow* row : view->updateRows()) EXPECT_TRUE(row->openButton()->isEnabled());
    EXPECT_EQ(view->updateRows()[1]->findChild<ClampedText*>("updateReason")->text(), longReason);

    view->updateRows()[0]->openButton()->click();
    ASSERT_TRUE(state->errorMessage());
    EXPECT_EQ(*state->errorMessage(), "Could not open \u201C/nowhere/Alpha.app\u201D: it is no longer there.");
}

TEST_F(AppsViewTest, ScanAgainRescansTheShownTabAndShowingAgainRefillsEmptyLists) {
    showWith({app("Editor", "/nowhere/Editor.app", MB)});
    view->scanButton()->click();
    ASSERT_TRUE(appFinders.waitFor(1));
    EXPECT_EQ(updateFinders.count(), 1u);
    appFinders.at(1)->release({app("Editor", "/nowhere/Editor.app", MB)});
    view->setTab(AppsView::updates);
    EXPECT_EQ(body(), ModuleScreenFrame::Body::empty);
    view->scanButton()->click();
    ASSERT_TRUE(updateFinders.waitFor(1));
    updateFinders.at(1)->release({});
    ASSERT_TRUE(test::waitUntil([&] { return !state->isUpdatesScanning() && !state->isAppsScanning(); }));

    view->hide();
    view->show();
    ASSERT_TRUE(updateFinders.waitFor(2)) << "the empty updates list is scanned again";
    updateFinders.at(2)->release({});
    test::spin(20);
    EXPECT_EQ(appFinders.count(), 2u) << "the listed apps are not";
    EXPECT_EQ(view->tab(), AppsView::updates) << "the tab survives";
}

}  // namespace
