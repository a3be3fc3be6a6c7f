#include "design/BrandMark.h"
#include "design/TaldoGhostButton.h"
#include "design/TaldoGlowButton.h"
#include "design/TaldoHoverGlass.h"
#include "design/TaldoTheme.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

void waitMs(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

void enter(QWidget& widget) {
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&widget, &event);
}

void mouse(QWidget& widget, QEvent::Type type) {
    QMouseEvent event(type, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

TEST(DesignWidgets, GlowButtonFollowsHoverAndPressWithEasedAnimations) {
    TaldoGlowButton button(TaldoTheme::accent(), QStringLiteral("Run"));
    button.resize(button.sizeHint());
    EXPECT_EQ(button.currentParameters(), TaldoButtonStyle::glow(TaldoTheme::accent(), false, false));
    enter(button);
    EXPECT_TRUE(button.isHovering());
    waitMs(TaldoButtonStyle::hoverAnimationMs + 80);
    EXPECT_EQ(button.currentParameters(), TaldoButtonStyle::glow(TaldoTheme::accent(), true, false));
    mouse(button, QEvent::MouseButtonPress);
    waitMs(TaldoButtonStyle::pressAnimationMs + 80);
    EXPECT_EQ(button.currentParameters(), TaldoButtonStyle::glow(TaldoTheme::accent(), true, true));
    mouse(button, QEvent::MouseButtonRelease);
    button.setEnabled(false);
    EXPECT_EQ(button.currentParameters(), TaldoButtonStyle::glow(TaldoTheme::accent(), false, false, false));
}

TEST(DesignWidgets, PlainButtonPressesAtOnceAndHoverCardLightsUp) {
    TaldoGhostButton ghost(QStringLiteral("Rescan"));
    ghost.resize(ghost.sizeHint());
    enter(ghost);
    EXPECT_EQ(ghost.currentParameters(), TaldoButtonStyle::ghost(false));
    mouse(ghost, QEvent::MouseButtonPress);
    EXPECT_EQ(ghost.currentParameters(), TaldoButtonStyle::ghost(true));
    mouse(ghost, QEvent::MouseButtonRelease);
    EXPECT_EQ(ghost.currentParameters(), TaldoButtonStyle::ghost(false));

    TaldoHoverGlass card(14, TaldoTheme::accentTeal(), false);
    EXPECT_EQ(card.parameters(), TaldoGlassStyle::parameters(TaldoTheme::accentTeal(), false, false));
    enter(card);
    waitMs(TaldoGlassStyle::hoverAnimationMs + 80);
    EXPECT_DOUBLE_EQ(card.hoverAmount(), 1.0);
    EXPECT_EQ(card.parameters(), TaldoGlassStyle::parameters(TaldoTheme::accentTeal(), false, true));

    const QImage mark = BrandMark::markImage(30);
    EXPECT_EQ(qAlpha(mark.pixel(0, 0)), 0);  // outside the circle
    EXPECT_GT(qAlpha(mark.pixel(15, 15)), 0); // the picture
    // The application icon: a solid dark disc at every size, so the mark
    // reads on light menus too; corners stay clear.
    for (int side : {16, 48, 256}) {
        const QImage icon = BrandMark::appIcon(side);
        EXPECT_EQ(icon.size(), QSize(side, side));
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << side;
        const QColor edge = icon.pixelColor(side / 2, side / 8);  // between the ring and the mark
        EXPECT_EQ(edge.alpha(), 255) << side;
        EXPECT_LT(edge.lightness(), 80) << side;
    }
}
