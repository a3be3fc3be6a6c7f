// The ticks of a findings screen are reached and flipped from the keyboard.
#include "state/AppState.h"
#include "views/cleanup/CleanupView.h"
#include "views/common/PlainButton.h"

#include "TestSupport.h"
#include "state/StateTestSupport.h"
#include "views/KeyboardSupport.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

CleanupItem finding(const QString& title, bool selected) {
    CleanupItem item;
    item.title = title;
    item.path = QStringLiteral("/nowhere/") + title;
    item.size = 1000;
    item.isSelected = selected;
    return item;
}

}  // namespace

TEST(FindingRowKeyboard, TabReachesEveryTickWithAVisibleFocusAndSpaceFlipsIt) {
    test::FakeEnvironment env;
    AppState state(test::testServices(), test::quietModules());
    AppStateTesting::setCleanupItems(state, {finding("first", true), finding("second", false)});
    CleanupView view(state);
    view.resize(900, 700);

    const QList<QWidget*> stops = test::tabStops(&view);
    QList<PlainButton*> ticks;
    for (QWidget* stop : stops) {
        if (stop->objectName() == QLatin1String("findingCheck")) ticks << static_cast<PlainButton*>(stop);
    }
    ASSERT_EQ(ticks.size(), 2) << "each finding's tick is a stop";

    ticks[1]->clearFocus();
    const QImage unfocused = ticks[1]->grab().toImage();
    ticks[1]->setFocus(Qt::TabFocusReason);
    EXPECT_NE(ticks[1]->grab().toImage(), unfocused) << "the focus shows";

    test::pressKey(Qt::Key_Space);
    EXPECT_TRUE(state.cleanupItems()[1].isSelected);
    EXPECT_EQ(QApplication::focusWidget(), ticks[1]) << "the tick keeps the focus to flip it back";
    test::pressKey(Qt::Key_Space);
    EXPECT_FALSE(state.cleanupItems()[1].isSelected);
    EXPECT_TRUE(state.cleanupItems()[0].isSelected);
}
