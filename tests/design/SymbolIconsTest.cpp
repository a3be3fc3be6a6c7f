#include "design/SymbolIcons.h"

#include <QFile>
#include <QPixmap>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

// Every system symbol name the screens use.
const QStringList kSymbols = {
    "app.badge.checkmark", "arrow.clockwise", "arrow.down.circle", "battery.100", "brain",
    "camera.viewfinder", "chart.bar.fill", "checkmark.circle.fill", "chevron.right", "circle",
    "circle.grid.cross", "circle.hexagongrid.fill", "clock.arrow.circlepath", "cpu", "doc",
    "doc.on.doc", "doc.text", "ellipsis.circle", "envelope", "eye",
    "folder", "folder.fill", "gauge.medium", "gearshape", "globe",
    "hammer", "heart.fill", "heart.text.square.fill", "hourglass", "internaldrive",
    "internaldrive.fill", "iphone", "lock.fill", "magnifyingglass", "memorychip",
    "photo", "photo.on.rectangle.angled", "power", "shield.lefthalf.filled", "shippingbox",
    "shippingbox.and.arrow.backward", "sparkles", "square.grid.2x2", "square.stack.3d.up", "trash",
    "tray.and.arrow.down", "tray.full.fill", "wrench.and.screwdriver", "xmark.circle.fill",
};

int opaquePixels(const QImage& image) {
    int count = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            count += qAlpha(argb.pixel(x, y)) > 0;
    return count;
}

} // namespace

TEST(SymbolIcons, EverySymbolMapsToAThemeIconAndDrawsInItsTint) {
    EXPECT_EQ(SymbolIcons::knownSymbols(), kSymbols);
    const QColor tint(56, 235, 173);
    for (const QString& symbol : kSymbols) {
        SCOPED_TRACE(symbol.toStdString());
        const QString name = SymbolIcons::themeName(symbol);
        ASSERT_FALSE(name.isEmpty());
        EXPECT_TRUE(SymbolIcons::hasThemeIcon(symbol)) << name.toStdString();
        const QImage image = SymbolIcons::image(symbol, tint, 24);
        ASSERT_EQ(image.size(), QSize(24, 24));
        EXPECT_GT(opaquePixels(image), 20);
        EXPECT_NE(image, SymbolIcons::fallbackImage(symbol, tint, 24)); // the theme's drawing, not the stand-in
        // Opaque pixels carry the tint.
        bool tinted = false;
        for (int y = 0; y < 24 && !tinted; ++y)
            for (int x = 0; x < 24 && !tinted; ++x) {
                const QColor c = QColor::fromRgba(image.convertToFormat(QImage::Format_ARGB32).pixel(x, y));
                tinted = c.alpha() == 255 && c.rgb() == tint.rgb();
            }
        EXPECT_TRUE(tinted);
        const QPixmap pixmap = SymbolIcons::icon(symbol, tint, 16).pixmap(32, 32);
        EXPECT_EQ(pixmap.size(), QSize(32, 32));
        EXPECT_GT(opaquePixels(pixmap.toImage()), 20);
    }
}

TEST(SymbolIcons, UnknownNamesGetADrawnStandIn) {
    EXPECT_TRUE(SymbolIcons::themeName(QStringLiteral("no.such.symbol")).isEmpty());
    EXPECT_FALSE(SymbolIcons::hasThemeIcon(QStringLiteral("no.such.symbol")));
    const QImage image = SymbolIcons::image(QStringLiteral("no.such.symbol"), Qt::white, 20);
    EXPECT_GT(opaquePixels(image), 20);
    EXPECT_EQ(image, SymbolIcons::fallbackImage(QStringLiteral("no.such.symbol"), Qt::white, 20));
    EXPECT_GT(opaquePixels(SymbolIcons::image(QString(), Qt::white, 1)), 0);
    EXPECT_FALSE(SymbolIcons::icon(QStringLiteral("no.such.symbol"), Qt::white).isNull());
    EXPECT_GT(opaquePixels(SymbolIcons::icon(QStringLiteral("no.such.symbol"), Qt::white).pixmap(16).toImage()), 10);
}
