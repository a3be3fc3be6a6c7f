#include "app/TaldoButtonStyle.h"
#include "app/TaldoEffects.h"
#include "app/TaldoGlassStyle.h"
#include "app/TaldoShapes.h"
#include "app/TaldoTheme.h"

#include <QFontMetricsF>
#include <QPainter>
#include <gtest/gtest.h>

using namespace tarnwick;
using T = TaldoTheme;

namespace {

// `actual` is `base`'s hue at opacity `alpha`.
::testing::AssertionResult isColor(const QColor& actual, const QColor& base, double alpha) {
    const bool hue = std::abs(actual.redF() - base.redF()) < 0.002 && std::abs(actual.greenF() - base.greenF()) < 0.002 &&
                     std::abs(actual.blueF() - base.blueF()) < 0.002;
    if ((alpha == 0.0 || hue) && std::abs(actual.alphaF() - alpha) < 0.002)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.name(QColor::HexArgb).toStdString() << " is not "
                                         << base.name(QColor::HexRgb).toStdString() << " at " << alpha;
}

void expectShadow(const TaldoShadow& shadow, const QColor& base, double alpha, double radius, QPointF offset) {
    EXPECT_TRUE(isColor(shadow.color, base, alpha));
    EXPECT_DOUBLE_EQ(shadow.radius, radius);
    EXPECT_EQ(shadow.offset, offset);
}

} // namespace

TEST(TaldoTheme, ColoursAndFolderPaletteWrapAround) {
    EXPECT_TRUE(isColor(T::accent(), T::rgb(1.0, 0.84, 0.25), 1.0));
    EXPECT_TRUE(isColor(T::panel(), T::rgb(0.13, 0.145, 0.165), 0.72));
    EXPECT_TRUE(isColor(T::smallGroupColor(), T::rgb(0.42, 0.43, 0.45), 0.65));
    EXPECT_EQ(&T::accentTeal(), &T::accentTeal()); // built once and shared
    ASSERT_EQ(T::folderPalette().size(), 10u);
    EXPECT_TRUE(isColor(T::folderPalette()[9], T::rgb(0.70, 0.85, 0.30), 1.0));
    EXPECT_EQ(T::folderColor(10), T::folderPalette()[0]);
    EXPECT_EQ(T::folderColor(23), T::folderPalette()[3]);
    EXPECT_EQ(T::folderColor(-1), T::folderPalette()[9]);
    EXPECT_EQ(T::folderColor(std::numeric_limits<long long>::min()), T::folderPalette()[2]);
}

TEST(TaldoGlassStyle, CardWithoutGlowNeverLightsUp) {
    const TaldoGlassParameters unlit = TaldoGlassStyle::parameters(std::nullopt, false, false);
    EXPECT_EQ(TaldoGlassStyle::parameters(std::nullopt, false, true), unlit);
    expectShadow(unlit.shadows[0], T::accentTeal(), 0.04, 6, QPointF(0, 2));
    expectShadow(unlit.shadows[1], T::accentTeal(), 0.0, 0, QPointF(0, 0));
    EXPECT_TRUE(isColor(unlit.base, Qt::black, 0.28));
    EXPECT_TRUE(isColor(unlit.fill[0], Qt::white, 0.05));
    EXPECT_TRUE(isColor(unlit.fill[1], T::panelSolid(), 0.22));
    EXPECT_TRUE(isColor(unlit.fill[2], Qt::black, 0.15));
    EXPECT_TRUE(isColor(unlit.border[0], Qt::white, 0.12));
    EXPECT_EQ(unlit.border[1], T::panelBorder());
    EXPECT_TRUE(isColor(unlit.border[2], Qt::white, 0.06));
    EXPECT_EQ(unlit.halo.alpha(), 0);
}

TEST(TaldoGlassStyle, GlowColourShowsFaintlyUnlitAndFullyLit) {
    const QColor amber = T::accent();
    const TaldoGlassParameters faint = TaldoGlassStyle::parameters(amber, false, false);
    EXPECT_TRUE(isColor(faint.fill[1], amber, 0.06));
    EXPECT_TRUE(isColor(faint.border[0], amber, 0.16));
    EXPECT_TRUE(isColor(faint.border[2], amber, 0.06));
    expectShadow(faint.shadows[0], amber, 0.04, 6, QPointF(0, 2));
    EXPECT_EQ(faint.halo.alpha(), 0);

    const TaldoGlassParameters lit = TaldoGlassStyle::parameters(amber, false, true);
    EXPECT_TRUE(isColor(lit.fill[0], Qt::white, 0.09));
    EXPECT_TRUE(isColor(lit.fill[1], amber, 0.14));
    EXPECT_TRUE(isColor(lit.halo, amber, 0.55));
    EXPECT_DOUBLE_EQ(lit.haloBlur, 4);
    EXPECT_TRUE(isColor(lit.border[0], amber, 0.55));
    EXPECT_TRUE(isColor(lit.border[2], amber, 0.28));
    expectShadow(lit.shadows[0], amber, 0.22, 14, QPointF(0, 3));
    expectShadow(lit.shadows[1], amber, 0.12, 22, QPointF(0, 0));
}

TEST(TaldoGlassStyle, IntenseChangesOnlyTheFirstFillStop) {
    const QColor teal = T::accentTeal();
    TaldoGlassParameters intense = TaldoGlassStyle::parameters(teal, true, false);
    const TaldoGlassParameters plain = TaldoGlassStyle::parameters(teal, false, false);
    EXPECT_TRUE(isColor(intense.fill[0], Qt::white, 0.09));
    intense.fill[0] = plain.fill[0];
    EXPECT_EQ(intense, plain);
    EXPECT_EQ(TaldoGlassStyle::parameters(teal, true, true), TaldoGlassStyle::parameters(teal, false, true));
    EXPECT_EQ(TaldoGlassStyle::parameters(std::nullopt, true, true).fill[0],
              TaldoGlassStyle::parameters(std::nullopt, true, false).fill[0]);
}

TEST(TaldoGlassStyle, HoverAmountBlendsFromUnlitToLit) {
    const QColor teal = T::accentTeal();
    EXPECT_EQ(TaldoGlassStyle::hoverParameters(teal, false, 0.0), TaldoGlassStyle::parameters(teal, false, false));
    EXPECT_EQ(TaldoGlassStyle::hoverParameters(teal, false, 1.0), TaldoGlassStyle::parameters(teal, false, true));
    const TaldoGlassParameters half = TaldoGlassStyle::hoverParameters(teal, false, 0.5);
    EXPECT_DOUBLE_EQ(half.shadows[0].radius, 10.0);
    EXPECT_NEAR(half.halo.alphaF(), 0.275, 0.005);
    EXPECT_NEAR(half.halo.greenF(), teal.greenF(), 0.005); // fading in keeps the hue, not black
    EXPECT_EQ(TaldoGlassStyle::hoverParameters(std::nullopt, false, 0.7),
              TaldoGlassStyle::parameters(std::nullopt, false, false));
}

TEST(TaldoButtonStyle, GlowButtonStates) {
    const QColor tint = T::accent();
    const TaldoButtonParameters rest = TaldoButtonStyle::glow(tint, false, false);
    EXPECT_TRUE(isColor(rest.halo, tint, 0.12));
    EXPECT_DOUBLE_EQ(rest.haloBlur, 3);
    EXPECT_DOUBLE_EQ(rest.haloScale, 1.01);
    EXPECT_TRUE(isColor(rest.fill[0], Qt::white, 0.16));
    EXPECT_TRUE(isColor(rest.fill[1], tint, 0.86));
    EXPECT_TRUE(isColor(rest.fill[2], tint, 0.78));
    EXPECT_TRUE(isColor(rest.outline, Qt::white, 0.18));
    expectShadow(rest.shadows[0], tint, 0.14, 4, QPointF(0, 2));
    EXPECT_EQ(rest.shadows[1].color.alpha(), 0);
    EXPECT_TRUE(isColor(rest.text, Qt::black, 0.82));
    EXPECT_DOUBLE_EQ(rest.scale, 1.0);
    EXPECT_EQ(rest.fontPixelSize, 14);
    EXPECT_EQ(rest.fontWeight, QFont::Bold);
    EXPECT_EQ(QPointF(rest.insetX, rest.insetY), QPointF(22, 14));

    const TaldoButtonParameters hover = TaldoButtonStyle::glow(tint, true, false);
    EXPECT_TRUE(isColor(hover.halo, tint, 0.35));
    EXPECT_DOUBLE_EQ(hover.haloBlur, 9);
    EXPECT_DOUBLE_EQ(hover.haloScale, 1.05);
    EXPECT_TRUE(isColor(hover.fill[0], Qt::white, 0.28));
    EXPECT_TRUE(isColor(hover.fill[1], tint, 0.95));
    EXPECT_TRUE(isColor(hover.outline, Qt::white, 0.35));
    expectShadow(hover.shadows[0], tint, 0.55, 14, QPointF(0, 2));
    expectShadow(hover.shadows[1], tint, 0.25, 8, QPointF(0, 0));

    // Pressed from the keyboard, pointer elsewhere: still active.
    const TaldoButtonParameters pressed = TaldoButtonStyle::glow(tint, false, true);
    EXPECT_TRUE(isColor(pressed.halo, tint, 0.35));
    EXPECT_DOUBLE_EQ(pressed.haloBlur, 4);
    EXPECT_TRUE(isColor(pressed.fill[1], tint, 0.8));
    EXPECT_TRUE(isColor(pressed.fill[2], tint, 0.65));
    EXPECT_DOUBLE_EQ(pressed.shadows[0].radius, 6);
    EXPECT_DOUBLE_EQ(pressed.scale, 0.97);
    EXPECT_EQ(TaldoButtonStyle::glow(tint, true, true), pressed);

    const TaldoButtonParameters disabled = TaldoButtonStyle::glow(tint, true, true, false);
    EXPECT_DOUBLE_EQ(disabled.opacity, TaldoButtonStyle::disabledOpacity);
    TaldoButtonParameters undimmed = disabled;
    undimmed.opacity = 1.0;
    EXPECT_EQ(undimmed, rest);
}

TEST(TaldoButtonStyle, PlainStylesAndTheirPressedFill) {
    const TaldoButtonParameters primary = TaldoButtonStyle::primary(false);
    EXPECT_TRUE(primary.capsule);
    EXPECT_TRUE(isColor(primary.fill[1], T::accent(), 1.0));
    EXPECT_TRUE(isColor(TaldoButtonStyle::primary(true).fill[1], T::accent(), 0.75));
    expectShadow(primary.shadows[0], T::accent(), 0.35, 8, QPointF(0, 1));
    EXPECT_DOUBLE_EQ(TaldoButtonStyle::primary(true).shadows[0].radius, 2);
    EXPECT_TRUE(isColor(primary.text, Qt::black, 0.85));
    EXPECT_EQ(primary.fontWeight, QFont::DemiBold);
    EXPECT_EQ(QPointF(primary.insetX, primary.insetY), QPointF(14, 8));

    const TaldoButtonParameters ghost = TaldoButtonStyle::ghost(false);
    EXPECT_TRUE(isColor(ghost.fill[0], T::panelSolid(), 0.9));
    EXPECT_TRUE(isColor(TaldoButtonStyle::ghost(true).fill[0], T::panelSolid(), 0.7));
    EXPECT_EQ(ghost.outline, T::panelBorder());
    EXPECT_EQ(ghost.text, T::textPrimary());
    EXPECT_EQ(ghost.fontWeight, QFont::Medium);
    EXPECT_EQ(QPointF(ghost.insetX, ghost.insetY), QPointF(12, 8));
    EXPECT_FALSE(ghost.shadows[0].isVisible());

    const TaldoButtonParameters danger = TaldoButtonStyle::danger(false);
    EXPECT_FALSE(danger.capsule);
    EXPECT_DOUBLE_EQ(danger.cornerRadius, 8);
    EXPECT_TRUE(isColor(danger.fill[2], T::danger(), 1.0));
    EXPECT_TRUE(isColor(TaldoButtonStyle::danger(true).fill[2], T::danger(), 0.75));
    EXPECT_EQ(danger.text, QColor(Qt::white));

    // The plain styles ignore hover; disabled ones ignore the press and are dimmed.
    for (TaldoButtonKind kind : {TaldoButtonKind::primary, TaldoButtonKind::ghost, TaldoButtonKind::danger}) {
        EXPECT_EQ(TaldoButtonStyle::parameters(kind, Qt::red, true, false),
                  TaldoButtonStyle::parameters(kind, Qt::red, false, false));
        TaldoButtonParameters disabled = TaldoButtonStyle::parameters(kind, Qt::red, false, true, false);
        EXPECT_DOUBLE_EQ(disabled.opacity, TaldoButtonStyle::disabledOpacity);
        disabled.opacity = 1.0;
        EXPECT_EQ(disabled, TaldoButtonStyle::parameters(kind, Qt::red, false, false));
    }
}

TEST(TaldoButtonStyle, AnimationEndsMatchTheStatesAndSizeFollowsTheLabel) {
    const QColor tint = T::accentTeal();
    const auto kind = TaldoButtonKind::glow;
    EXPECT_EQ(TaldoButtonStyle::animated(kind, tint, 0, 0), TaldoButtonStyle::glow(tint, false, false));
    EXPECT_EQ(TaldoButtonStyle::animated(kind, tint, 1, 0), TaldoButtonStyle::glow(tint, true, false));
    EXPECT_EQ(TaldoButtonStyle::animated(kind, tint, 0, 1), TaldoButtonStyle::glow(tint, false, true));
    const TaldoButtonParameters half = TaldoButtonStyle::animated(kind, tint, 0.5, 0);
    EXPECT_DOUBLE_EQ(half.haloBlur, 6.0);
    EXPECT_DOUBLE_EQ(half.shadows[0].radius, 9.0);

    const TaldoButtonParameters ghost = TaldoButtonStyle::ghost(false);
    const QFontMetricsF metrics(TaldoButtonStyle::font(ghost));
    const QSizeF bare = TaldoButtonStyle::sizeFor(ghost, QFont(), QStringLiteral("Rescan"), false);
    EXPECT_DOUBLE_EQ(bare.height(), std::ceil(metrics.height() + 16));
    EXPECT_DOUBLE_EQ(bare.width(), std::ceil(metrics.horizontalAdvance(QStringLiteral("Rescan")) + 24));
    const QSizeF withSymbol = TaldoButtonStyle::sizeFor(ghost, QFont(), QStringLiteral("Rescan"), true);
    EXPECT_NEAR(withSymbol.width() - bare.width(), TaldoButtonStyle::symbolSize(ghost) + 6, 1.0);
}

TEST(TaldoShapes, ContinuousCornersStayInsideTheirRectangle) {
    const QRectF rect(10, 20, 200, 100);
    const QPainterPath card = TaldoShapes::roundedRect(rect, 14);
    EXPECT_NEAR(card.boundingRect().left(), rect.left(), 0.01);
    EXPECT_NEAR(card.boundingRect().bottom(), rect.bottom(), 0.01);
    EXPECT_NEAR(card.boundingRect().width(), rect.width(), 0.01);
    EXPECT_TRUE(card.contains(rect.center()));
    EXPECT_FALSE(card.contains(rect.topLeft() + QPointF(1, 1)));
    EXPECT_TRUE(card.contains(QPointF(rect.left() + 40, rect.top() + 1)));
    // Too small for the smooth corner: still a closed shape within bounds.
    const QPainterPath tiny = TaldoShapes::roundedRect(QRectF(0, 0, 20, 10), 8);
    EXPECT_LE(tiny.boundingRect().width(), 20.01);
    EXPECT_TRUE(tiny.contains(QPointF(10, 5)));
    EXPECT_TRUE(TaldoShapes::roundedRect(QRectF(), 8).boundingRect().isEmpty());
    const QPainterPath pill = TaldoShapes::capsule(QRectF(0, 0, 80, 20));
    EXPECT_FALSE(pill.contains(QPointF(0.5, 0.5)));
    EXPECT_TRUE(pill.contains(QPointF(40, 10)));
}

TEST(TaldoEffects, BlurSpreadsWithoutLosingCoverageAndShadowsShift) {
    QImage dot(41, 41, QImage::Format_ARGB32_Premultiplied);
    dot.fill(Qt::transparent);
    {
        QPainter p(&dot);
        p.fillRect(QRect(16, 16, 9, 9), Qt::black);
    }
    auto alphaSum = [](const QImage& image) {
        long long sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                sum += qAlpha(image.pixel(x, y));
        return sum;
    };
    const long long before = alphaSum(dot);
    QImage blurred = dot;
    TaldoEffects::blur(blurred, 3.0);
    EXPECT_NEAR(static_cast<double>(alphaSum(blurred)), static_cast<double>(before), before * 0.05);
    EXPECT_GT(qAlpha(blurred.pixel(12, 20)), 0);   // spread beyond the square
    EXPECT_LT(qAlpha(blurred.pixel(20, 20)), 255); // softened inside
    EXPECT_EQ(qAlpha(blurred.pixel(0, 0)), 0);

    const QImage shadow = TaldoEffects::shadowOf(dot, TaldoShadow{QColor(255, 0, 0, 128), 0.0, QPointF(0, 10)});
    EXPECT_EQ(qAlpha(shadow.pixel(20, 18)), 0);
    EXPECT_EQ(qAlpha(shadow.pixel(20, 30)), 128);
    EXPECT_EQ(qRed(shadow.pixel(20, 30)), 128); // premultiplied red
}

TEST(DesignPainters, CardsAndButtonsDrawTheirLayersAndShadows) {
    const QColor backdrop(20, 22, 26);
    auto canvas = [&] {
        QImage image(240, 140, QImage::Format_ARGB32_Premultiplied);
        image.fill(backdrop);
        return image;
    };
    const QRectF rect(40, 30, 160, 70);

    QImage lit = canvas();
    {
        QPainter p(&lit);
        taldoGlass(p, rect, 14, T::accentTeal(), false, true);
    }
    QImage plain = canvas();
    {
        QPainter p(&plain);
        taldoGlass(p, rect, 14);
    }
    EXPECT_NE(lit.pixel(120, 65), backdrop.rgb());
    EXPECT_NE(plain.pixel(120, 65), backdrop.rgb());
    const QColor below = lit.pixel(120, 108); // in the lit card's teal glow, outside the card
    EXPECT_GT(below.green(), backdrop.green() + 4);
    EXPECT_GT(below.green(), below.red());
    EXPECT_EQ(plain.pixel(120, 125), backdrop.rgb()); // the faint unlit shadow ends close to the card
    EXPECT_EQ(lit.pixel(2, 2), backdrop.rgb());

    QImage button = canvas();
    {
        QPainter p(&button);
        TaldoButtonStyle::paint(p, rect, TaldoButtonStyle::primary(false), QStringLiteral("Clean"));
    }
    const QColor fill = button.pixel(static_cast<int>(rect.left()) + 40, static_cast<int>(rect.top()) + 6);
    EXPECT_NEAR(fill.red(), T::accent().red(), 3);
    EXPECT_NEAR(fill.green(), T::accent().green(), 3);
    EXPECT_NEAR(fill.blue(), T::accent().blue(), 3);
    EXPECT_NE(button.pixel(120, 104), backdrop.rgb()); // amber shadow under the capsule
    EXPECT_EQ(button.pixel(41, 31), backdrop.rgb());   // outside the capsule's round end, above its shadow
}
