#include "design/SymbolIcons.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

int opaquePixels(const QImage& image) {
    int count = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            count += qAlpha(argb.pixel(x, y)) > 0;
    return count;
}

} // namespace

TEST(SymbolIcons, EverySymbolMapsToAThemeIconDrawnInItsTintAndOthersGetAStandIn) {
    const QColor tint(56, 235, 173);
    ASSERT_GT(SymbolIcons::knownSymbols().size(), 40);
    for (const QString& symbol : SymbolIcons::knownSymbols()) {
        SCOPED_TRACE(symbol.toStdString());
        EXPECT_TRUE(SymbolIcons::hasThemeIcon(symbol)) << SymbolIcons::themeName(symbol).toStdString();
        const QImage image = SymbolIcons::image(symbol, tint, 24);
        ASSERT_EQ(image.size(), QSize(24, 24));
        EXPECT_GT(opaquePixels(image), 20);
        EXPECT_NE(image, SymbolIcons::fallbackImage(symbol, tint, 24)); // the theme's drawing, not the stand-in
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        bool tinted = false;
        for (int y = 0; y < 24 && !tinted; ++y)
            for (int x = 0; x < 24 && !tinted; ++x) tinted = argb.pixel(x, y) == tint.rgb();
        EXPECT_TRUE(tinted);
        EXPECT_GT(opaquePixels(SymbolIcons::icon(symbol, tint, 16).pixmap(32, 32).toImage()), 20);
    }
    // An unknown name is never blank.
    EXPECT_FALSE(SymbolIcons::hasThemeIcon(QStringLiteral("no.such.symbol")));
    const QImage image = SymbolIcons::image(QStringLiteral("no.such.symbol"), Qt::white, 20);
    EXPECT_GT(opaquePixels(image), 20);
    EXPECT_EQ(image, SymbolIcons::fallbackImage(QStringLiteral("no.such.symbol"), Qt::white, 20));
    EXPECT_GT(opaquePixels(SymbolIcons::image(QString(), Qt::white, 1)), 0);
    EXPECT_GT(opaquePixels(SymbolIcons::icon(QStringLiteral("no.such.symbol"), Qt::white).pixmap(16).toImage()), 10);
}
