#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>
#include <QStringList>

namespace tarnwick {

// Turns the system symbol names the screens use ("internaldrive.fill", "sparkles", ...) into
// icons: each name maps to a symbolic icon of the Adwaita theme, drawn in a tint colour. When the
// theme or the icon is missing (or renders empty), a drawn stand-in takes its place: the name's
// first letter in a rounded square of the tint, so no icon is ever blank.
class SymbolIcons {
public:
    SymbolIcons() = delete;

    // The Adwaita icon name for a symbol; empty for a symbol the table does not know.
    static QString themeName(const QString& symbolName);
    // Every symbol name the table knows, sorted.
    static QStringList knownSymbols();
    // True when the icon theme provides the symbol's icon.
    static bool hasThemeIcon(const QString& symbolName);

    // The symbol as an icon in `tint`; `size` is the side the icon is usually drawn at (any size
    // can be asked of it). Disabled-mode pixmaps are drawn at 40 % opacity.
    static QIcon icon(const QString& symbolName, const QColor& tint, int size = 16);
    // The symbol drawn into a square image of `pixelSide` device pixels.
    static QImage image(const QString& symbolName, const QColor& tint, int pixelSide);
    // The drawn stand-in used when no theme icon is available.
    static QImage fallbackImage(const QString& symbolName, const QColor& tint, int pixelSide);

    // Points the icon lookup at the Adwaita theme (and the system's icon folders). Idempotent;
    // the functions above call it themselves.
    static void useIconTheme();
};

} // namespace tarnwick
