#include "views/MapColors.h"

#include "models/ScanNode.h"

#include <QHash>
#include <QHashSeed>

#include <array>

namespace tarnwick::MapColors {

namespace {

QColor rgb(double r, double g, double b, double a = 1.0) {
    return QColor::fromRgbF(float(r), float(g), float(b), float(a));
}

const std::array<QColor, 12>& themeColours() {
    static const std::array<QColor, 12> colours = {
        rgb(0.06, 0.07, 0.085),      // background
        rgb(0.13, 0.145, 0.165, 0.72),  // panel
        rgb(1, 1, 1, 0.10),          // panelBorder
        rgb(1, 1, 1, 0.96),          // textPrimary
        rgb(1, 1, 1, 0.55),          // textSecondary
        rgb(1.0, 0.84, 0.25),        // accent
        rgb(0.22, 0.92, 0.68),       // accentTeal
        rgb(0.95, 0.62, 0.28),       // warning
        rgb(0.55, 0.56, 0.58),       // fileColor
        rgb(0.42, 0.43, 0.45, 0.65), // smallGroupColor
        rgb(0.62, 0.42, 0.85),       // restrictedColor
        rgb(0.55, 0.48, 0.72),       // virtualColor
    };
    return colours;
}

const std::array<QColor, kPaletteLength>& folderPalette() {
    static const std::array<QColor, kPaletteLength> colours = {
        rgb(0.98, 0.78, 0.22), rgb(0.98, 0.55, 0.20), rgb(0.95, 0.35, 0.32), rgb(0.55, 0.82, 0.35),
        rgb(0.30, 0.75, 0.55), rgb(0.25, 0.70, 0.85), rgb(0.45, 0.55, 0.95), rgb(0.75, 0.45, 0.90),
        rgb(0.90, 0.45, 0.65), rgb(0.70, 0.85, 0.30),
    };
    return colours;
}

}  // namespace

const QColor& theme(Theme colour) {
    return themeColours()[static_cast<size_t>(colour)];
}

const QColor& palette(quint64 index) {
    return folderPalette()[index % kPaletteLength];
}

quint64 magnitude(qint64 value) {
    return value < 0 ? quint64(0) - quint64(value) : quint64(value);
}

quint64 nameHash(const QString& name) {
    // Taken once, so later changes of the global seed cannot recolour folders.
    static const size_t seed = QHashSeed::globalSeed();
    return quint64(qHash(name, seed));
}

const QColor* kindColor(NodeKind kind) {
    switch (kind) {
    case NodeKind::file: return &theme(Theme::fileColor);
    case NodeKind::smallGroup: return &theme(Theme::smallGroupColor);
    case NodeKind::restricted: return &theme(Theme::restrictedColor);
    case NodeKind::virtual_: return &theme(Theme::virtualColor);
    case NodeKind::dir: break;
    }
    return nullptr;
}

const QColor& forIndex(const ScanNode& node, qint64 colorIndex) {
    if (const QColor* colour = kindColor(node.kind)) return *colour;
    return palette(magnitude(colorIndex));
}

const QColor& forRank(const ScanNode& node, quint64 rank) {
    if (const QColor* colour = kindColor(node.kind)) return *colour;
    return palette(rank);
}

const QColor& forName(const ScanNode& node) {
    if (const QColor* colour = kindColor(node.kind)) return *colour;
    return palette(nameHash(node.name));
}

QColor withOpacity(const QColor& colour, double opacity) {
    QColor result = colour;
    result.setAlphaF(float(colour.alphaF() * opacity));
    return result;
}

}  // namespace tarnwick::MapColors
