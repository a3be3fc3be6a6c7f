#include "views/map/CollectorTrayView.h"

#include "design/TaldoDangerButton.h"
#include "design/TaldoGhostButton.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "views/common/ElidedLabel.h"
#include "views/common/PlainButton.h"

#include "MapViewsTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

struct TrayFixture {
    test::FakeEnvironment environment;
    test::DemoTree tree = test::makeDemoTree(environment.home() + "/Stuff");
    AppState state{test::servicesWithTree(tree.root)};
    std::unique_ptr<CollectorTrayView> tray;

    TrayFixture() {
        EXPECT_TRUE(test::startAndRestore(state));
        tray = std::make_unique<CollectorTrayView>(state);
        tray->resize(900, 80);
        tray->show();
    }
};

}  // namespace

TEST(CollectorTray, ChipsFollowTheCollectorAndRemoveTheirOwnItem) {
    TrayFixture f;
    CollectorTrayView& tray = *f.tray;
    EXPECT_FALSE(tray.chipsShown() || tray.deleteButton()->isEnabled() || tray.cancelButton()->isVisible());

    f.tree.aMov->size = 1'500'000;
    f.state.addToCollector(f.tree.aMov);
    EXPECT_EQ(tray.subtitle(), QStringLiteral("1 item(s) \u00B7 ") + ByteCountFormatter::fileStyle(1'500'000));
    ASSERT_EQ(tray.chips().size(), 1);
    EXPECT_EQ(tray.chips()[0]->findChild<ElidedLabel*>("chipName")->text(), QStringLiteral("a.mov"));
    EXPECT_TRUE(tray.deleteButton()->isEnabled());
    test::spin(30);
    EXPECT_GT(tray.chips()[0]->visibleRegion().boundingRect().width(), 40);

    // Chips keep the order of collection; each chip's button takes its item out.
    f.state.addToCollector(f.tree.notes);
    f.state.addToCollector(f.tree.docs);
    ASSERT_EQ(tray.chips().size(), 3);
    EXPECT_EQ(tray.chips()[2]->findChild<ElidedLabel*>("chipName")->text(), QStringLiteral("Docs"));
    tray.chips()[1]->findChild<PlainButton*>("chipRemove")->click();
    ASSERT_EQ(f.state.collector().size(), 2);
    EXPECT_EQ(f.state.collector()[1].path, f.tree.docs->path());
    for (int i = 0; i < 2; ++i) tray.chips()[0]->findChild<PlainButton*>("chipRemove")->click();
    EXPECT_TRUE(tray.chips().isEmpty());
    EXPECT_FALSE(tray.chipsShown() || tray.deleteButton()->isEnabled());
}

// What a cancelled countdown leaves on disk is checked in AppStateDeleteTest.
TEST(CollectorTray, CountdownShowsCancelAndCancelRestoresDelete) {
    TrayFixture f;
    f.state.setCountdownInterval(40);
    f.state.addToCollector(f.tree.notes);
    f.tray->deleteButton()->click();
    EXPECT_FALSE(f.tray->deleteButton()->isVisible());
    EXPECT_EQ(f.tray->cancelButton()->text(), QStringLiteral("Cancel (5)"));
    ASSERT_TRUE(test::waitUntil([&] { return f.state.deleteCountdown() == 4; }, 2000));
    EXPECT_EQ(f.tray->cancelButton()->text(), QStringLiteral("Cancel (4)"));

    f.tray->cancelButton()->click();
    EXPECT_FALSE(f.state.isDeleting());
    EXPECT_TRUE(f.tray->deleteButton()->isVisible());
    EXPECT_TRUE(f.tray->deleteButton()->isEnabled());
    EXPECT_FALSE(f.tray->cancelButton()->isVisible());
    EXPECT_EQ(f.state.collector().size(), 1);
}
