#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>

#include <optional>

namespace tarnwick {

// How the space map draws the tree.
enum class MapStyle {
    sunburst,  // "Sunburst"
    treemap,   // "Treemap"
    bars,      // "Bars"
    rings,     // "Rings"
};

// The style's title and identity.
QString rawValue(MapStyle style);
// Exactly one of the four titles (case-sensitive); anything else gives nothing.
std::optional<MapStyle> mapStyleFromRawValue(const QString& text);
// The four styles in picker order.
const QList<MapStyle>& allMapStyles();

size_t qHash(MapStyle style, size_t seed = 0) noexcept;

}  // namespace tarnwick
