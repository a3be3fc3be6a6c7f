// Every screen's main buttons are drawn where they sit: a button that is
// laid out and enabled but painted over, faded out or left out of a nested
// effect leaves the user with an empty card (as the home screen's run button
// once did).
#include "design/TaldoButton.h"
#include "design/TaldoGlowButton.h"
#include "state/AppState.h"
#include "views/cleanup/CleanupView.h"
#include "views/cleanup/ClutterView.h"
#include "views/health/MaintenanceRow.h"
#include "views/health/PerformanceView.h"
#include "views/health/ProtectionView.h"
#include "views/map/VolumeChooserView.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"
#include "views/PaintCheck.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

constexpr double kPainted = 0.3;

class PrimaryActionsTest : public ::testing::Test {
protected:
    PrimaryActionsTest() : state(test::testServices(), test::quietModules()) {}

    template <class View>
    std::unique_ptr<View> shown() {
        auto view = std::make_unique<View>(state);
        view->resize(1000, 700);
        view->show();
        return view;
    }

    test::FakeEnvironment env;
    AppState state;
};

CleanupItem junk() {
    CleanupItem item;
    item.title = QStringLiteral("cache");
    item.path = QStringLiteral("/nowhere/cache");
    item.size = 4000;
    item.isSelected = true;
    return item;
}

ClutterItem clutter() {
    ClutterItem item;
    item.title = QStringLiteral("old.iso");
    item.path = QStringLiteral("/nowhere/old.iso");
    item.size = 4000;
    item.isSelected = true;
    return item;
}

}  // namespace

TEST_F(PrimaryActionsTest, FindingScreensPaintTheirCleanAndScanButtons) {
    AppStateTesting::setCleanupItems(state, {junk()});
    auto junkView = shown<CleanupView>();
    ASSERT_TRUE(junkView->cleanButton()->isEnabled());
    EXPECT_GT(test::paintedShare(junkView.get(), junkView->cleanButton()), kPainted) << "Junk: Clean";
    EXPECT_GT(test::paintedShare(junkView.get(), junkView->scanButton()), kPainted) << "Junk: Scan again";

    AppStateTesting::setClutterItems(state, {clutter()});
    auto clutterView = shown<ClutterView>();
    EXPECT_GT(test::paintedShare(clutterView.get(), clutterView->cleanButton()), kPainted) << "Clutter: Clean";

    ProtectionFinding threat;
    threat.title = QStringLiteral("agent");
    threat.path = QStringLiteral("/nowhere/agent.desktop");
    threat.isSelected = true;
    AppStateTesting::setProtectionFindings(state, {threat});
    auto protection = shown<ProtectionView>();
    ASSERT_TRUE(test::waitUntil([&] { return !state.isPrivacyScanning(); }));
    EXPECT_GT(test::paintedShare(protection.get(), protection->cleanButton()), kPainted) << "Protection: Clean";
}

TEST_F(PrimaryActionsTest, EmptyStatesAndMaintenancePaintTheirButtons) {
    auto junkView = shown<CleanupView>();
    ASSERT_TRUE(test::waitUntil([&] { return !state.isCleanupScanning(); }));
    EXPECT_GT(test::paintedShare(junkView.get(), junkView->emptyButton()), kPainted) << "Start Junk Scan";

    PerformanceItem process;
    process.title = QStringLiteral("builder");
    process.pid = 4242;
    AppStateTesting::setPerformanceItems(state, {process});
    auto performance = shown<PerformanceView>();
    ASSERT_FALSE(performance->maintenanceRows().isEmpty());
    TaldoButton* run = performance->maintenanceRows().front()->runButton();
    EXPECT_GT(test::paintedShare(performance.get(), run), kPainted) << "Maintenance: Run";
}

TEST_F(PrimaryActionsTest, TheVolumeChooserPaintsItsScanButtons) {
    MapServices services = test::testServices();
    services.listVolumes = [] {
        return std::vector<VolumeInfo>{VolumeInfo{"/", "Disk", "/", "/", 2000, 500, true, std::nullopt}};
    };
    AppState withVolume(services, test::quietModules());
    withVolume.start();
    ASSERT_TRUE(test::waitUntil([&] { return !withVolume.volumes().empty(); }));
    VolumeChooserView chooser(withVolume);
    chooser.resize(1000, 700);
    chooser.show();
    ASSERT_NE(chooser.scanButton(0), nullptr);
    EXPECT_GT(test::paintedShare(&chooser, chooser.scanButton(0)), kPainted);
}
