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

#include <QLabel>

using namespace tarnwick;

namespace {

QString chipText(QWidget* chip, const char* name) {
    if (auto* elided = chip->findChild<ElidedLabel*>(name)) return elided->text();
    auto* label = chip->findChild<QLabel*>(name);
    return label ? label->text() : QString();
}

}  // namespace

TEST(CollectorTray, EmptyHintChipsAndRemoval) {
    test::FakeEnvironment environment;
    const test::DemoTree tree = test::makeDemoTree(environment.home() + "/Stuff");
    AppState state(test::servicesWithTree(tree.root));
    ASSERT_TRUE(test::startAndRestore(state));
    CollectorTrayView tray(state);
    tray.resize(900, 80);
    tray.show();

    EXPECT_EQ(tray.subtitle(),
              QStringLiteral("Drag items here or press Delete \u2014 deletes go to Safe Bin (30-day restore)"));
    EXPECT_FALSE(tray.chipsShown());
    EXPECT_TRUE(tray.deleteButton()->isVisible());
    EXPECT_FALSE(tray.deleteButton()->isEnabled());
    EXPECT_FALSE(tray.cancelButton()->isVisible());

    tree.aMov->size = 1'500'000;  // one item of 1,500,000 bytes
    state.addToCollector(tree.aMov);
    EXPECT_EQ(tray.subtitle(), QStringLiteral("1 item(s) \u00B7 ") + ByteCountFormatter::fileStyle(1'500'000));
    ASSERT_EQ(tray.chips().size(), 1);
    EXPECT_EQ(chipText(tray.chips()[0], "chipName"), QStringLiteral("a.mov"));
    EXPECT_EQ(chipText(tray.chips()[0], "chipSize"), ByteCountFormatter::fileStyle(1'500'000));
    EXPECT_TRUE(tray.chipsShown());
    EXPECT_TRUE(tray.deleteButton()->isEnabled());
    test::spin(30);
    EXPECT_TRUE(tray.chips()[0]->isVisible());
    EXPECT_GT(tray.chips()[0]->visibleRegion().boundingRect().width(), 40);

    // Chips keep the order of collection; "(s)" stays as written.
    state.addToCollector(tree.notes);
    state.addToCollector(tree.docs);
    ASSERT_EQ(tray.chips().size(), 3);
    EXPECT_EQ(chipText(tray.chips()[2], "chipName"), QStringLiteral("Docs"));
    EXPECT_TRUE(tray.subtitle().startsWith(QStringLiteral("3 item(s) \u00B7 ")));

    // Each chip's button takes its item out; the last one brings the hint back.
    for (int i = 0; i < 3; ++i) tray.chips()[0]->findChild<PlainButton*>("chipRemove")->click();
    EXPECT_TRUE(state.collector().isEmpty());
    EXPECT_TRUE(tray.chips().isEmpty());
    EXPECT_FALSE(tray.chipsShown());
    EXPECT_TRUE(tray.subtitle().startsWith(QStringLiteral("Drag items here")));
    EXPECT_FALSE(tray.deleteButton()->isEnabled());
}

// What a cancelled countdown leaves on disk is checked in AppStateDeleteTest.
TEST(CollectorTray, CountdownShowsCancelAndCancelRestoresDelete) {
    test::FakeEnvironment environment;
    const test::DemoTree tree = test::makeDemoTree(environment.home() + "/Stuff");
    AppState state(test::servicesWithTree(tree.root));
    ASSERT_TRUE(test::startAndRestore(state));
    state.setCountdownInterval(40);
    CollectorTrayView tray(state);
    tray.show();
    state.addToCollector(tree.notes);

    tray.deleteButton()->click();
    EXPECT_TRUE(tray.cancelButton()->isVisible());
    EXPECT_FALSE(tray.deleteButton()->isVisible());
    EXPECT_EQ(tray.cancelButton()->text(), QStringLiteral("Cancel (5)"));
    ASSERT_TRUE(test::waitUntil([&] { return state.deleteCountdown() == 4; }, 2000));
    EXPECT_EQ(tray.cancelButton()->text(), QStringLiteral("Cancel (4)"));

    tray.cancelButton()->click();
    EXPECT_FALSE(state.isDeleting());
    EXPECT_EQ(state.deleteCountdown(), 0);
    EXPECT_TRUE(tray.deleteButton()->isVisible());
    EXPECT_TRUE(tray.deleteButton()->isEnabled());
    EXPECT_FALSE(tray.cancelButton()->isVisible());
    EXPECT_EQ(state.collector().size(), 1);
}
