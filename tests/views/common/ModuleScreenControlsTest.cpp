// The module screens' controls as the user meets them: the main buttons are
// drawn where they sit (a button laid out but painted over, faded out or left
// out of a nested effect leaves an empty card, as the home screen's run
// button once did), and the ticks of the findings are reached and flipped
// from the keyboard.
#include "design/TaldoButton.h"
#include "state/AppState.h"
#include "views/cleanup/CleanupView.h"
#include "views/cleanup/ClutterView.h"
#include "views/health/MaintenanceRow.h"
#include "views/health/PerformanceView.h"
#include "views/health/ProtectionView.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"
#include "views/KeyboardSupport.h"
#include "views/PaintCheck.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

template <class Item>
Item finding(const QString& title, bool selected) {
    Item item;
    item.title = title;
    item.path = QStringLiteral("/nowhere/") + title;
    item.size = 4000;
    item.isSelected = selected;
    return item;
}

class ModuleScreenControls : public ::testing::Test {
protected:
    template <class View>
    std::unique_ptr<View> shown() {
        auto view = std::make_unique<View>(state);
        view->resize(1000, 700);
        view->show();
        return view;
    }

    test::FakeEnvironment env;
    AppState state{test::testServices(), test::quietModules()};
};

}  // namespace

TEST_F(ModuleScreenControls, MainButtonsArePainted) {
    auto empty = shown<CleanupView>();
    ASSERT_TRUE(test::waitUntil([&] { return !state.isCleanupScanning(); }));
    EXPECT_GT(test::paintedShare(empty.get(), empty->emptyButton()), 0.3) << "Start Junk Scan";

    AppStateTesting::setCleanupItems(state, {finding<CleanupItem>("cache", true)});
    AppStateTesting::setClutterItems(state, {finding<ClutterItem>("old.iso", true)});
    ProtectionFinding threat;
    threat.path = QStringLiteral("/nowhere/agent.desktop");
    threat.isSelected = true;
    AppStateTesting::setProtectionFindings(state, {threat});
    PerformanceItem process;
    process.pid = 4242;
    AppStateTesting::setPerformanceItems(state, {process});
    auto junk = shown<CleanupView>();
    auto clutter = shown<ClutterView>();
    auto protection = shown<ProtectionView>();
    auto performance = shown<PerformanceView>();
    ASSERT_TRUE(test::waitUntil([&] { return !state.isPrivacyScanning(); }));
    const std::pair<QWidget*, QWidget*> buttons[] = {
        {junk.get(), junk->cleanButton()},
        {junk.get(), junk->scanButton()},
        {clutter.get(), clutter->cleanButton()},
        {protection.get(), protection->cleanButton()},
        {performance.get(), performance->maintenanceRows().front()->runButton()},
    };
    for (const auto& [screen, button] : buttons) {
        EXPECT_GT(test::paintedShare(screen, button), 0.3) << static_cast<QAbstractButton*>(button)->text().toStdString();
    }
}

TEST_F(ModuleScreenControls, TabReachesEveryTickWithAVisibleFocusAndSpaceFlipsIt) {
    AppStateTesting::setCleanupItems(state, {finding<CleanupItem>("first", true), finding<CleanupItem>("second", false)});
    CleanupView view(state);
    view.resize(900, 700);
    QList<QWidget*> ticks = test::tabStops(&view);
    ticks.removeIf([](QWidget* stop) { return stop->objectName() != QLatin1String("findingCheck"); });
    ASSERT_EQ(ticks.size(), 2);

    ticks[1]->clearFocus();
    const QImage unfocused = ticks[1]->grab().toImage();
    ticks[1]->setFocus(Qt::TabFocusReason);
    EXPECT_NE(ticks[1]->grab().toImage(), unfocused) << "the focus shows";
    test::pressKey(Qt::Key_Space);
    EXPECT_TRUE(state.cleanupItems()[1].isSelected);
    test::pressKey(Qt::Key_Space);  // the tick keeps the focus to flip it back
    EXPECT_FALSE(state.cleanupItems()[1].isSelected);
}
