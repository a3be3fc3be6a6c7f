#include "design/TaldoButtonStyle.h"
#include "design/TaldoEffects.h"
#include "design/TaldoGlassStyle.h"
#include "design/TaldoShapes.h"
#include "design/TaldoTheme.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace tarnwick;
using T = TaldoTheme;

namespace {

// Same hue as `base`, whatever the opacity.
bool sameHue(const QColor& actual, const QColor& base) {
    return std::abs(actual.redF() - base.redF()) < 0.005 && std::abs(actual.greenF() - base.greenF()) < 0.005 &&
           std::abs(actual.blueF() - base.blueF()) < 0.005;
}

} // namespace

TEST(TaldoTheme, FolderPaletteWrapsForAnyIndex) {
    ASSERT_EQ(T::folderPalette().size(), 10u);
    EXPECT_EQ(T::folderColor(23), T::folderPalette()[3]);
    EXPECT_EQ(T::folderColor(-1), T::folderPalette()[9]);
    EXPECT_EQ(T::folderColor(std::numeric_limits<long long>::min()), T::folderPalette()[2]);
}

TEST(TaldoGlassStyle, LightingIntensityAndHoverBlend) {
    // A card without a glow colour never lights up.
    const TaldoGlassParameters unlit = TaldoGlassStyle::parameters(std::nullopt, false, false);
    EXPECT_EQ(TaldoGlassStyle::parameters(std::nullopt, false, true), unlit);
    EXPECT_EQ(unlit.halo.alpha(), 0);
    EXPECT_EQ(TaldoGlassStyle::hoverParameters(std::nullopt, false, 0.7), unlit);

    // A glow colour tints the card faintly unlit (no halo) and lights it with a halo of its hue.
    const QColor teal = T::accentTeal();
    const TaldoGlassParameters plain = TaldoGlassStyle::parameters(teal, false, false);
    const TaldoGlassParameters lit = TaldoGlassStyle::parameters(teal, false, true);
    EXPECT_EQ(plain.halo.alpha(), 0);
    EXPECT_TRUE(sameHue(lit.halo, teal));

    // Intense changes only the first fill stop, and only while unlit.
    TaldoGlassParameters intense = TaldoGlassStyle::parameters(teal, true, false);
    EXPECT_NE(intense.fill[0], plain.fill[0]);
    intense.fill[0] = plain.fill[0];
    EXPECT_EQ(intense, plain);
    EXPECT_EQ(TaldoGlassStyle::parameters(teal, true, true), lit);

    // The hover amount blends from unlit to lit; fading in keeps the hue, not black.
    EXPECT_EQ(TaldoGlassStyle::hoverParameters(teal, false, 0.0), plain);
    EXPECT_EQ(TaldoGlassStyle::hoverParameters(teal, false, 1.0), lit);
    const TaldoGlassParameters half = TaldoGlassStyle::hoverParameters(teal, false, 0.5);
    EXPECT_NEAR(half.halo.alphaF(), lit.halo.alphaF() / 2, 0.005);
    EXPECT_NEAR(half.halo.greenF(), teal.greenF(), 0.005);
}

TEST(TaldoButtonStyle, StatesDisabledDimmingAndAnimationEnds) {
    const QColor tint = T::accent();
    // Pressed from the keyboard, pointer elsewhere: as active as hovering, and pressing wins over hover.
    const TaldoButtonParameters rest = TaldoButtonStyle::glow(tint, false, false);
    const TaldoButtonParameters pressed = TaldoButtonStyle::glow(tint, false, true);
    EXPECT_GT(TaldoButtonStyle::glow(tint, true, false).halo.alpha(), rest.halo.alpha());
    EXPECT_EQ(pressed.halo, TaldoButtonStyle::glow(tint, true, false).halo);
    EXPECT_LT(pressed.scale, 1.0);
    EXPECT_EQ(TaldoButtonStyle::glow(tint, true, true), pressed);

    // Every style: disabled means the resting look at lower opacity, whatever the pointer does;
    // the plain styles ignore hover but show a press.
    for (TaldoButtonKind kind :
         {TaldoButtonKind::glow, TaldoButtonKind::primary, TaldoButtonKind::ghost, TaldoButtonKind::danger}) {
        SCOPED_TRACE(int(kind));
        const TaldoButtonParameters resting = TaldoButtonStyle::parameters(kind, tint, false, false);
        TaldoButtonParameters disabled = TaldoButtonStyle::parameters(kind, tint, true, true, false);
        EXPECT_LT(disabled.opacity, 1.0);
        disabled.opacity = 1.0;
        EXPECT_EQ(disabled, resting);
        EXPECT_NE(TaldoButtonStyle::parameters(kind, tint, false, true), resting);
        if (kind != TaldoButtonKind::glow) {
            EXPECT_EQ(TaldoButtonStyle::parameters(kind, tint, true, false), resting);
        }
        // Animation ends are the states themselves.
        EXPECT_EQ(TaldoButtonStyle::animated(kind, tint, 0, 0), resting);
        EXPECT_EQ(TaldoButtonStyle::animated(kind, tint, 0, 1), TaldoButtonStyle::parameters(kind, tint, false, true));
    }
    EXPECT_EQ(TaldoButtonStyle::animated(TaldoButtonKind::glow, tint, 1, 0), TaldoButtonStyle::glow(tint, true, false));
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
    EXPECT_NE(plain.pixel(120, 65), backdrop.rgb());
    const QColor below = lit.pixel(120, 108); // the lit card's teal glow reaches outside the card
    EXPECT_GT(below.green(), backdrop.green() + 4);
    EXPECT_GT(below.green(), below.red());
    EXPECT_EQ(plain.pixel(120, 125), backdrop.rgb()); // the faint unlit shadow ends close to the card

    QImage button = canvas();
    {
        QPainter p(&button);
        TaldoButtonStyle::paint(p, rect, TaldoButtonStyle::primary(false), QStringLiteral("Clean"));
    }
    const QColor fill = button.pixel(static_cast<int>(rect.left()) + 40, static_cast<int>(rect.top()) + 6);
    EXPECT_NEAR(fill.hue(), T::accent().hue(), 3);
    EXPECT_NEAR(fill.value(), T::accent().value(), 3);
    EXPECT_NE(button.pixel(120, 104), backdrop.rgb()); // amber shadow under the capsule
    EXPECT_EQ(button.pixel(41, 31), backdrop.rgb());   // outside the capsule's round end, above its shadow
}
