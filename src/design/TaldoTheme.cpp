#include "design/TaldoTheme.h"

#include <algorithm>

namespace tarnwick {

// Function-local statics: built once on first use, thread-safe by the language.
#define TALDO_COLOR(name, r, g, b, a)                   \
    const QColor& TaldoTheme::name() {                  \
        static const QColor color = rgb(r, g, b, a);    \
        return color;                                   \
    }

TALDO_COLOR(background, 0.06, 0.07, 0.085, 1)
TALDO_COLOR(panel, 0.13, 0.145, 0.165, 0.72)
TALDO_COLOR(panelSolid, 0.12, 0.13, 0.145, 1)
TALDO_COLOR(panelBorder, 1, 1, 1, 0.10)
TALDO_COLOR(textPrimary, 1, 1, 1, 0.96)
TALDO_COLOR(textSecondary, 1, 1, 1, 0.55)
TALDO_COLOR(accent, 1.0, 0.84, 0.25, 1)
TALDO_COLOR(accentTeal, 0.22, 0.92, 0.68, 1)
TALDO_COLOR(accentLime, 0.55, 0.95, 0.45, 1)
TALDO_COLOR(danger, 0.92, 0.35, 0.38, 1)
TALDO_COLOR(warning, 0.95, 0.62, 0.28, 1)
TALDO_COLOR(fileColor, 0.55, 0.56, 0.58, 1)
TALDO_COLOR(smallGroupColor, 0.42, 0.43, 0.45, 0.65)
TALDO_COLOR(restrictedColor, 0.62, 0.42, 0.85, 1)
TALDO_COLOR(virtualColor, 0.55, 0.48, 0.72, 1)

#undef TALDO_COLOR

const std::array<QColor, TaldoTheme::folderPaletteSize>& TaldoTheme::folderPalette() {
    static const std::array<QColor, folderPaletteSize> palette = {
        rgb(0.98, 0.78, 0.22), rgb(0.98, 0.55, 0.20), rgb(0.95, 0.35, 0.32), rgb(0.55, 0.82, 0.35),
        rgb(0.30, 0.75, 0.55), rgb(0.25, 0.70, 0.85), rgb(0.45, 0.55, 0.95), rgb(0.75, 0.45, 0.90),
        rgb(0.90, 0.45, 0.65), rgb(0.70, 0.85, 0.30),
    };
    return palette;
}

const QColor& TaldoTheme::folderColor(long long index) {
    long long slot = index % folderPaletteSize;
    if (slot < 0)
        slot += folderPaletteSize;
    return folderPalette()[static_cast<size_t>(slot)];
}

QColor TaldoTheme::rgb(double red, double green, double blue, double opacity) {
    return QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue),
                            static_cast<float>(std::clamp(opacity, 0.0, 1.0)));
}

QColor TaldoTheme::withOpacity(const QColor& color, double opacity) {
    QColor result = color;
    result.setAlphaF(static_cast<float>(std::clamp(opacity, 0.0, 1.0)));
    return result;
}

} // namespace tarnwick
