#include "views/map/MapColors.h"

#include "design/TaldoTheme.h"
#include "models/ScanNode.h"

#include <QHash>
#include <QHashSeed>

namespace tarnwick::MapColors {

const QColor& palette(quint64 index) {
    static_assert(kPaletteLength == TaldoTheme::folderPaletteSize);
    return TaldoTheme::folderPalette()[index % kPaletteLength];
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
    case NodeKind::file: return &TaldoTheme::fileColor();
    case NodeKind::smallGroup: return &TaldoTheme::smallGroupColor();
    case NodeKind::restricted: return &TaldoTheme::restrictedColor();
    case NodeKind::virtual_: return &TaldoTheme::virtualColor();
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
