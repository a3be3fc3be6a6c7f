#pragma once

#include <QColor>

#include <array>

namespace tarnwick {

// The program's fixed set of named colours (sRGB). Every colour is built once, on first use, and
// shared afterwards; callers get references and never build a theme colour while drawing.
// Only QtGui is used here so pure layout code can take colours from it.
class TaldoTheme {
public:
    TaldoTheme() = delete;

    static constexpr int folderPaletteSize = 10;

    static const QColor& background();      // darkest background colour
    static const QColor& panel();           // translucent panel fill
    static const QColor& panelSolid();      // opaque panel fill, base tint of untinted glass and ghost buttons
    static const QColor& panelBorder();     // hairline borders and dividers
    static const QColor& textPrimary();
    static const QColor& textSecondary();
    static const QColor& accent();          // warm amber; primary buttons
    static const QColor& accentTeal();      // main accent: window tint, selection, default glow
    static const QColor& accentLime();      // brand-mark glow
    static const QColor& danger();
    static const QColor& warning();
    static const QColor& fileColor();       // map nodes of kind file
    static const QColor& smallGroupColor(); // map nodes of kind smallGroup
    static const QColor& restrictedColor(); // map nodes of kind restricted
    static const QColor& virtualColor();    // map nodes of kind virtual

    // The ten folder colours in their fixed order.
    static const std::array<QColor, folderPaletteSize>& folderPalette();
    // Palette entry for any index, taken modulo the palette size (negative indexes wrap too).
    static const QColor& folderColor(long long index);

    // An sRGB colour from unit components; `opacity` is the alpha.
    static QColor rgb(double red, double green, double blue, double opacity = 1.0);
    // `color` with its alpha replaced by `opacity` (0...1).
    static QColor withOpacity(const QColor& color, double opacity);
};

} // namespace tarnwick
